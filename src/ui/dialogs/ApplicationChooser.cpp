#include "ApplicationChooser.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <set>

namespace kiv {

namespace {

// Item data: the application's id; headers have none and cannot be chosen.
constexpr int kIdRole = Qt::UserRole;

QIcon IconOf(const QString& pIcon)
{
    if (pIcon.isEmpty())
        return QIcon::fromTheme(QStringLiteral("application-x-executable"));
    // An absolute Icon= value is a file; anything else a name in the icon theme.
    if (pIcon.startsWith(u'/'))
        return QFileInfo(pIcon).isFile() ? QIcon(pIcon) : QIcon();
    return QIcon::fromTheme(pIcon);
}

} // namespace

TApplicationChooser::TApplicationChooser(const QString& pSubject,
                                         std::vector<TApplicationChoice> pRecommended,
                                         std::vector<TApplicationChoice> pOthers, QWidget* pParent)
    : QDialog(pParent)
{
    setWindowTitle(QStringLiteral("Choose Another Application"));
    auto* layout = new QVBoxLayout(this);
    auto* prompt = new QLabel(QStringLiteral("Open %1 with:").arg(pSubject), this);
    prompt->setTextFormat(Qt::PlainText);
    layout->addWidget(prompt);
    fFilter = new QLineEdit(this);
    fFilter->setPlaceholderText(QStringLiteral("Filter"));
    fFilter->setClearButtonEnabled(true);
    layout->addWidget(fFilter);
    fList = new QListWidget(this);
    fList->setMinimumSize(360, 300);
    layout->addWidget(fList);

    std::set<QString> listed;
    auto addGroup = [&](const QString& pHeader, const std::vector<TApplicationChoice>& pApps) {
        std::vector<const TApplicationChoice*> apps;
        for (const TApplicationChoice& app : pApps)
            if (listed.insert(app.Id).second)
                apps.push_back(&app);
        if (apps.empty())
            return;
        auto* header = new QListWidgetItem(pHeader, fList);
        QFont bold = header->font();
        bold.setBold(true);
        header->setFont(bold);
        header->setFlags(Qt::NoItemFlags);
        for (const TApplicationChoice* app : apps) {
            auto* item = new QListWidgetItem(IconOf(app->Icon), app->Name, fList);
            item->setData(kIdRole, app->Id);
        }
    };
    addGroup(QStringLiteral("Recommended Applications"), pRecommended);
    addGroup(QStringLiteral("Other Applications"), pOthers);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, this);
    QPushButton* open = buttons->button(QDialogButtonBox::Open);
    open->setEnabled(false);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(fList, &QListWidget::currentItemChanged, this, [open](QListWidgetItem* pItem) {
        open->setEnabled(pItem && !pItem->data(kIdRole).toString().isEmpty());
    });
    connect(fList, &QListWidget::itemActivated, this, [this](QListWidgetItem* pItem) {
        if (!pItem->data(kIdRole).toString().isEmpty())
            accept();
    });
    connect(fFilter, &QLineEdit::textChanged, this, &TApplicationChooser::ApplyFilter);
}

void TApplicationChooser::ApplyFilter(const QString& pText)
{
    const QString text = pText.trimmed();
    QListWidgetItem* header = nullptr;
    bool headerNeeded = false;
    auto closeGroup = [&] {
        if (header)
            header->setHidden(!headerNeeded);
    };
    for (int row = 0; row < fList->count(); ++row) {
        QListWidgetItem* item = fList->item(row);
        if (item->data(kIdRole).toString().isEmpty()) {
            closeGroup();
            header = item;
            headerNeeded = false;
            continue;
        }
        const bool shown = text.isEmpty() || item->text().contains(text, Qt::CaseInsensitive);
        item->setHidden(!shown);
        headerNeeded = headerNeeded || shown;
    }
    closeGroup();
    if (fList->currentItem() && fList->currentItem()->isHidden())
        fList->setCurrentItem(nullptr);
}

QStringList TApplicationChooser::ShownIds() const
{
    QStringList ids;
    for (int row = 0; row < fList->count(); ++row) {
        const QListWidgetItem* item = fList->item(row);
        const QString id = item->data(kIdRole).toString();
        if (!id.isEmpty() && !item->isHidden())
            ids.push_back(id);
    }
    return ids;
}

bool TApplicationChooser::Select(const QString& pId)
{
    for (int row = 0; row < fList->count(); ++row) {
        QListWidgetItem* item = fList->item(row);
        if (!item->isHidden() && item->data(kIdRole).toString() == pId) {
            fList->setCurrentItem(item);
            return true;
        }
    }
    return false;
}

void TApplicationChooser::accept()
{
    const QListWidgetItem* item = fList->currentItem();
    const QString id = item ? item->data(kIdRole).toString() : QString();
    if (id.isEmpty())
        return;
    QDialog::accept();
    if (OnChosen)
        OnChosen(*this, id);
}

} // namespace kiv
