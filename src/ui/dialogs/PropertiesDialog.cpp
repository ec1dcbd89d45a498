#include "PropertiesDialog.h"

#include "core/platform/INamespace.h"
#include "core/platform/IPlatform.h"
#include "core/platform/IShellItem.h"
#include "core/platform/PropertySystem.h"
#include "core/platform/ShellConstants.h"
#include "core/platform/UiDispatcher.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLocale>
#include <QMimeDatabase>
#include <QPointer>
#include <QVBoxLayout>

#include <atomic>
#include <chrono>
#include <stop_token>
#include <thread>

namespace kiv {

namespace {

std::atomic<int> gRunningWalks{0};

// 250 ms between updates of the totals while a tree is walked: the figures visibly move, and the
// user-interface thread gets a handful of deliveries a second however fast the walk goes.
constexpr auto kUpdateInterval = std::chrono::milliseconds(250);

const char* const kFields[] = {"name",     "type",    "location", "size",
                               "contains", "created", "modified", "accessed"};

QString ParentOf(const QString& pPath)
{
    const qsizetype slash = pPath.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : pPath.left(slash);
}

QString DateText(pf::FileTime pTime)
{
    return pTime.Ticks == 0 ? QStringLiteral("Unknown") : pf::FormatDateTime(pTime);
}

void Add(pf::TreeTotals& pTo, const pf::TreeTotals& pPart)
{
    pTo.Size += pPart.Size;
    pTo.Files += pPart.Files;
    pTo.Folders += pPart.Folders;
}

} // namespace

// What the first look at the items tells (everything but the walk of folders).
struct TPropertiesDialog::TFacts
{
    int Count = 0;
    // One item: its display name.
    QString Name;
    // The folder all items are in; empty when they are in several (or have no path).
    QString Location;
    // The names of the items that are not folders (their types come from the names).
    QStringList FileNames;
    int Folders = 0;
    int Others = 0;
    // One item with a path: what the disk says of it.
    bool HaveData = false;
    pf::FindData Data;
    bool HaveAccess = false;
    pf::FileAccess Access;
};

// Shared by the dialog and its worker: how the dialog tells the worker to stop.
struct TPropertiesDialog::TWalk
{
    std::stop_source Stop;
};

TPropertiesDialog::TPropertiesDialog(std::vector<pf::IdListBytes> pItems, QWidget* pParent,
                                     TTreeSum pTreeSum)
    : QDialog(pParent)
    , fWalk(std::make_shared<TWalk>())
    , fItemCount(static_cast<int>(pItems.size()))
{
    BuildWidgets();
    if (!pTreeSum) {
        pTreeSum = [](const QString& pFolder, const std::function<bool()>& pStopped,
                      pf::TreeTotals& pTotals) {
            return pf::Platform().FileSystem().SumTree(pFolder, pf::TreeWalkOptions{}, pStopped,
                                                       pTotals);
        };
    }
    // The worker is detached: a walk stuck on a dead mount must not hold up the dialog, nor the
    // application when it quits (the thread ends with the process). It touches the dialog only
    // through deliveries that check the stop token and the dialog's pointer on this thread.
    ++gRunningWalks;
    std::thread(&TPropertiesDialog::Gather, std::move(pItems), std::move(pTreeSum),
                fWalk->Stop.get_token(), QPointer<TPropertiesDialog>(this))
        .detach();
}

TPropertiesDialog::~TPropertiesDialog()
{
    Stop();
}

void TPropertiesDialog::done(int pResult)
{
    Stop();
    QDialog::done(pResult);
}

void TPropertiesDialog::Stop() noexcept
{
    fWalk->Stop.request_stop();
}

int TPropertiesDialog::RunningWalks()
{
    return gRunningWalks.load();
}

void TPropertiesDialog::Gather(std::vector<pf::IdListBytes> pItems, TTreeSum pTreeSum,
                               std::stop_token pStop, QPointer<TPropertiesDialog> pDialog)
{
    struct TCount
    {
        ~TCount() { --gRunningWalks; }
    } count;
    auto deliver = [&](std::function<void(TPropertiesDialog&)> pApply) {
        pf::Ui().Post([pApply = std::move(pApply), pStop, pDialog] {
            if (!pStop.stop_requested() && pDialog)
                pApply(*pDialog);
        });
    };

    // Nothing may escape a thread: without a platform (it went at exit) there is nothing to ask.
    if (!pf::HasPlatform())
        return;
    pf::IPlatform& platform = pf::Platform();
    pf::IFileSystem& fs = platform.FileSystem();
    TFacts facts;
    facts.Count = static_cast<int>(pItems.size());
    pf::TreeTotals totals;
    QStringList folders;
    bool sameLocation = true;
    for (const pf::IdListBytes& item : pItems) {
        if (pStop.stop_requested())
            return;
        QString path;
        const bool hasPath = platform.Namespace().GetPathFromIdList(pf::IdSpan(item), path);
        if (facts.Count == 1) {
            pf::IShellItemPtr shellItem;
            if (pf::Succeeded(platform.Namespace().CreateShellItem(pf::IdSpan(item), shellItem)))
                shellItem->GetDisplayName(pf::sigdn::NORMALDISPLAY, facts.Name);
        }
        const QString location = hasPath ? ParentOf(path) : QString();
        if (&item == &pItems.front())
            facts.Location = location;
        else if (location != facts.Location)
            sameLocation = false;
        pf::FindData data;
        if (!hasPath || pf::Failed(fs.GetFindData(path, data))) {
            ++facts.Others;
            continue;
        }
        // A link is counted as itself, never followed: its target is elsewhere (or a loop).
        const bool folder = (data.Attributes & pf::fileattr::DIRECTORY) &&
                            !(data.Attributes & pf::fileattr::REPARSE_POINT);
        if (folder) {
            ++facts.Folders;
            folders.push_back(path);
            if (facts.Count > 1)
                ++totals.Folders;
        } else {
            facts.FileNames.push_back(path.mid(path.lastIndexOf(u'/') + 1));
            ++totals.Files;
            totals.Size += data.Size;
        }
        if (facts.Count == 1) {
            facts.HaveData = true;
            facts.Data = data;
            facts.HaveAccess = pf::Succeeded(fs.GetAccess(path, facts.Access));
        }
    }
    if (!sameLocation)
        facts.Location.clear();
    deliver([facts, totals, more = !folders.isEmpty()](TPropertiesDialog& pTarget) {
        pTarget.ApplyFacts(facts);
        pTarget.ApplyTotals(totals, !more);
    });

    for (const QString& folder : folders) {
        pf::TreeTotals part;
        auto last = std::chrono::steady_clock::now();
        const std::function<bool()> stopped = [&] {
            if (pStop.stop_requested())
                return true;
            const auto now = std::chrono::steady_clock::now();
            if (now - last >= kUpdateInterval) {
                last = now;
                pf::TreeTotals sofar = totals;
                Add(sofar, part);
                deliver([sofar](TPropertiesDialog& pTarget) { pTarget.ApplyTotals(sofar, false); });
            }
            return false;
        };
        // A folder that cannot be read counts as empty; the others still count.
        pTreeSum(folder, stopped, part);
        if (pStop.stop_requested())
            return;
        Add(totals, part);
    }
    if (!folders.isEmpty())
        deliver([totals](TPropertiesDialog& pTarget) { pTarget.ApplyTotals(totals, true); });
}

void TPropertiesDialog::BuildWidgets()
{
    setWindowTitle(QStringLiteral("Properties"));
    auto* layout = new QVBoxLayout(this);
    auto* form = fForm = new QFormLayout;
    const QString labels[] = {QStringLiteral("Name:"),     QStringLiteral("Type:"),
                              QStringLiteral("Location:"), QStringLiteral("Size:"),
                              QStringLiteral("Contains:"), QStringLiteral("Created:"),
                              QStringLiteral("Modified:"), QStringLiteral("Accessed:")};
    for (int i = 0; i < 8; ++i) {
        auto* value = new QLabel(QStringLiteral("…"), this);
        value->setObjectName(QLatin1String(kFields[i]));
        value->setTextFormat(Qt::PlainText);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        form->addRow(labels[i], value);
    }
    fSizeStatus = new QLabel(QStringLiteral("Calculating…"), this);
    form->addRow(QString(), fSizeStatus);
    layout->addLayout(form);

    auto* permissions = new QGroupBox(QStringLiteral("Permissions"), this);
    permissions->setObjectName(QStringLiteral("permissionsBox"));
    auto* grid = new QGridLayout(permissions);
    const QString columns[] = {QStringLiteral("Read"), QStringLiteral("Write"),
                               QStringLiteral("Execute")};
    for (int c = 0; c < 3; ++c)
        grid->addWidget(new QLabel(columns[c], permissions), 0, c + 1);
    const char* const rows[] = {"owner", "group", "others"};
    for (int r = 0; r < 3; ++r) {
        auto* who = new QLabel(permissions);
        who->setObjectName(QLatin1String(rows[r]));
        who->setTextFormat(Qt::PlainText);
        grid->addWidget(who, r + 1, 0);
        for (int c = 0; c < 3; ++c) {
            fBits[r * 3 + c] = new QCheckBox(permissions);
            // Shown, not changed here.
            fBits[r * 3 + c]->setEnabled(false);
            grid->addWidget(fBits[r * 3 + c], r + 1, c + 1);
        }
    }
    permissions->hide();
    layout->addWidget(permissions);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void TPropertiesDialog::ApplyFacts(const TFacts& pFacts)
{
    const QLocale locale;
    auto field = [this](const char* pName) { return findChild<QLabel*>(QLatin1String(pName)); };
    const bool single = pFacts.Count == 1;
    field("name")->setText(single ? pFacts.Name
                                  : QStringLiteral("%1 items").arg(locale.toString(pFacts.Count)));
    QString type;
    if (pFacts.Others == 0 && pFacts.FileNames.isEmpty() && pFacts.Folders > 0) {
        type = QStringLiteral("Folder");
    } else if (pFacts.Others == 0 && pFacts.Folders == 0) {
        // The same type for all, named from the file names (no file is read for it).
        const QMimeDatabase database;
        for (const QString& name : pFacts.FileNames) {
            const QMimeType mime = database.mimeTypeForFile(name, QMimeDatabase::MatchExtension);
            const QString comment = mime.isValid() ? mime.comment() : QStringLiteral("File");
            if (!type.isEmpty() && type != comment) {
                type = QStringLiteral("Multiple types");
                break;
            }
            type = comment;
        }
    } else {
        type = single ? QString() : QStringLiteral("Multiple types");
    }
    field("type")->setText(type);
    field("location")
        ->setText(pFacts.Location.isEmpty() && !single ? QStringLiteral("Various folders")
                                                       : pFacts.Location);
    const bool dates = single && pFacts.HaveData;
    for (const char* name : {"created", "modified", "accessed"})
        fForm->setRowVisible(field(name), dates);
    fForm->setRowVisible(field("contains"), pFacts.Folders > 0);
    if (dates) {
        field("created")->setText(DateText(pFacts.Data.CreationTime));
        field("modified")->setText(DateText(pFacts.Data.LastWriteTime));
        field("accessed")->setText(DateText(pFacts.Data.LastAccessTime));
    }
    if (single && pFacts.HaveAccess) {
        const std::uint32_t mode = pFacts.Access.Mode;
        for (int bit = 0; bit < 9; ++bit)
            fBits[bit]->setChecked(mode & (0400u >> bit));
        field("owner")->setText(QStringLiteral("Owner (%1)").arg(pFacts.Access.Owner));
        field("group")->setText(QStringLiteral("Group (%1)").arg(pFacts.Access.Group));
        field("others")->setText(QStringLiteral("Others"));
        findChild<QGroupBox*>(QStringLiteral("permissionsBox"))->show();
    }
}

void TPropertiesDialog::ApplyTotals(const pf::TreeTotals& pTotals, bool pDone)
{
    fTotals = pTotals;
    const QLocale locale;
    findChild<QLabel*>(QStringLiteral("size"))
        ->setText(QStringLiteral("%1 (%2 bytes)")
                      .arg(pf::FormatByteSize(pTotals.Size),
                           locale.toString(static_cast<qulonglong>(pTotals.Size))));
    findChild<QLabel*>(QStringLiteral("contains"))
        ->setText(QStringLiteral("%1 files, %2 folders")
                      .arg(locale.toString(static_cast<qulonglong>(pTotals.Files)),
                           locale.toString(static_cast<qulonglong>(pTotals.Folders))));
    if (!pDone)
        return;
    fCalculating = false;
    fSizeStatus->hide();
    emit TotalsDone();
}

QString TPropertiesDialog::FieldText(const QString& pField) const
{
    if (pField == QLatin1String("permissions")) {
        QString text;
        for (int bit = 0; bit < 9; ++bit)
            text += fBits[bit]->isChecked() ? QLatin1Char("rwx"[bit % 3]) : QLatin1Char('-');
        return text;
    }
    const auto* label = findChild<QLabel*>(pField);
    return label ? label->text() : QString();
}

} // namespace kiv
