#include "PlatformHooks.h"

#include "core/platform/IFileOperation.h"
#include "core/platform/IPlatform.h"
#include "core/platform/SystemErrorTexts.h"
#include "core/platform/UiDispatcher.h"
#include "platform/linux/LinuxMenus.h"
#include "platform/linux/MimeApps.h"
#include "ui/dialogs/ApplicationChooser.h"
#include "ui/dialogs/PropertiesDialog.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>

#include <functional>
#include <set>

namespace {

namespace pf = kiv::pf;
namespace lnx = kiv::pf::lnx;

// Runs pShow on the user-interface thread: now when called there, else queued (a verb invoked
// from a worker never makes widgets on its own thread).
void OnUiThread(std::function<void()> pShow)
{
    if (pf::Ui().IsUiThread())
        pShow();
    else
        pf::Ui().Post(std::move(pShow));
}

QMessageBox* OpenErrorBox(const QString& pText)
{
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Error"), pText,
                                QMessageBox::Ok, QApplication::activeWindow());
    box->setTextFormat(Qt::PlainText);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
    return box;
}

kiv::TApplicationChoice ChoiceOf(const lnx::TDesktopEntry& pApp)
{
    return {QString::fromStdString(pApp.Id), pApp.Name, pApp.Icon};
}

pf::HResult ChooseApplication(const QStringList& pPaths, const QString& pMimeType)
{
    // The index was read at start-up on the menus' worker; these only look it up.
    std::vector<kiv::TApplicationChoice> recommended;
    std::set<std::string> listed;
    if (!pMimeType.isEmpty()) {
        for (const lnx::TDesktopEntry& app : lnx::ApplicationsFor(pMimeType)) {
            recommended.push_back(ChoiceOf(app));
            listed.insert(app.Id);
        }
    }
    std::vector<kiv::TApplicationChoice> others;
    for (const lnx::TDesktopEntry& app : lnx::AllApplications())
        if (!listed.count(app.Id))
            others.push_back(ChoiceOf(app));
    const QString subject = pPaths.size() == 1 ? QFileInfo(pPaths.front()).fileName()
                                               : QStringLiteral("%1 items").arg(pPaths.size());
    OnUiThread([subject, recommended, others, pPaths] {
        auto* chooser = new kiv::TApplicationChooser(subject, recommended, others,
                                                     QApplication::activeWindow());
        chooser->setAttribute(Qt::WA_DeleteOnClose);
        chooser->OnChosen = [pPaths](kiv::TApplicationChooser&, const QString& pId) {
            const pf::HResult result = lnx::OpenWithApplication(pId.toStdString(), pPaths);
            if (pf::Failed(result))
                OpenErrorBox(pf::SystemErrorText(static_cast<std::uint32_t>(result)));
        };
        chooser->open();
    });
    return pf::S_OK;
}

pf::HResult ShowProperties(const std::vector<pf::IdListBytes>& pItems)
{
    OnUiThread([pItems] {
        auto* dialog = new kiv::TPropertiesDialog(pItems, QApplication::activeWindow());
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->show();
    });
    return pf::S_OK;
}

// The file operation engine's own question, so deleting asks the same way wherever it starts.
// Only what cannot be undone is asked about (Shift+Delete, Delete Permanently in the trash,
// Empty Trash); moving to the trash is undone by Restore. Empty Trash passes no paths: the
// question then speaks of everything in the trash.
bool ConfirmDelete(const QStringList& pPaths, bool pForGood)
{
    if (!pForGood)
        return true;
    pf::IFileOps* fileOps = pf::Platform().FileOps();
    const pf::IFileOperationUiPtr ui = fileOps ? fileOps->DefaultUi() : nullptr;
    if (!ui)
        return true;
    return ui->ConfirmDelete(static_cast<int>(pPaths.size()), !pForGood);
}

void ReportError(const QString&, pf::HResult pResult)
{
    // The user said no to a question: nothing to tell.
    if (pResult == pf::HResultFromWin32(pf::win32::ERROR_CANCELLED))
        return;
    const QString text = pf::SystemErrorText(static_cast<std::uint32_t>(pResult));
    pf::Ui().Post([text] { OpenErrorBox(text); });
}

} // namespace

TPlatformHooks::TPlatformHooks()
{
    lnx::TMenuHooks hooks;
    hooks.ChooseApplication = ChooseApplication;
    hooks.ShowProperties = ShowProperties;
    hooks.ConfirmDelete = ConfirmDelete;
    hooks.ReportError = ReportError;
    lnx::SetMenuHooks(std::move(hooks));
    lnx::StartWarmingMenus();
}

TPlatformHooks::~TPlatformHooks()
{
    lnx::WaitForMenuWork();
    lnx::SetMenuHooks({});
}
