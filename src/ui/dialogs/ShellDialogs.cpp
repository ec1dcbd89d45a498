#include "ShellDialogs.h"

#include "NetworkDialogs.h"
#include "core/platform/INetwork.h"
#include "core/platform/IPlatform.h"
#include "core/platform/UiDispatcher.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

#include <chrono>
#include <future>
#include <optional>

namespace kiv {

namespace {

constexpr pf::HResult kCancelled = pf::HResultFromWin32(1223);
// Answered when there is no network service to connect with.
constexpr std::uint32_t kNotSupported = 50;

// Opens the dialog that pOpen makes on the user-interface thread and waits for the answer it
// hands to its argument. A dialog that closes without answering, or cannot be opened at all,
// answers pUnanswered. Any thread; on the user-interface thread the wait runs the event loop.
template <class T>
T AskOnUi(T pUnanswered, const std::function<QDialog*(std::function<void(T)>)>& pOpen)
{
    struct TPending
    {
        std::promise<T> Promise;
        bool Answered = false; // user-interface thread only
    };
    auto pending = std::make_shared<TPending>();
    std::future<T> future = pending->Promise.get_future();
    auto answer = [pending](T pValue) {
        if (pending->Answered)
            return;
        pending->Answered = true;
        pending->Promise.set_value(std::move(pValue));
    };
    const bool sent = pf::Ui().Send([&pOpen, answer, pUnanswered] {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance())) {
            answer(pUnanswered);
            return;
        }
        QDialog* dialog = pOpen(answer);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(dialog, &QObject::destroyed,
                         [answer, pUnanswered] { answer(pUnanswered); });
        dialog->open();
    });
    if (!sent)
        return pUnanswered;
    if (pf::Ui().IsUiThread()) {
        while (future.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return future.get();
}

QMessageBox::Icon BoxIcon(pf::TMsgIcon pIcon)
{
    switch (pIcon) {
    case pf::TMsgIcon::Information:
        return QMessageBox::Information;
    case pf::TMsgIcon::Question:
        return QMessageBox::Question;
    case pf::TMsgIcon::Warning:
        return QMessageBox::Warning;
    case pf::TMsgIcon::Error:
        return QMessageBox::Critical;
    case pf::TMsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons BoxButtons(pf::TMsgButtons pButtons)
{
    switch (pButtons) {
    case pf::TMsgButtons::Ok:
        return QMessageBox::Ok;
    case pf::TMsgButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case pf::TMsgButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case pf::TMsgButtons::YesCancel:
        return QMessageBox::Yes | QMessageBox::Cancel;
    case pf::TMsgButtons::YesNoCancel:
        break;
    }
    return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
}

pf::TMsgButton ButtonOf(int pStandard)
{
    switch (pStandard) {
    case QMessageBox::Ok:
        return pf::TMsgButton::Ok;
    case QMessageBox::Yes:
        return pf::TMsgButton::Yes;
    case QMessageBox::No:
        return pf::TMsgButton::No;
    default:
        return pf::TMsgButton::Cancel;
    }
}

QMessageBox* MakeBox(pf::WindowRef pOwner, const QString& pTitle, const QString& pText,
                     pf::TMsgIcon pIcon, pf::TMsgButtons pButtons)
{
    auto* box = new QMessageBox(BoxIcon(pIcon), pf::NormalizeDialogText(pTitle),
                                pf::NormalizeDialogText(pText), BoxButtons(pButtons),
                                TShellDialogs::OwnerWidget(pOwner));
    box->setTextFormat(Qt::PlainText);
    // Escape and the window's close button answer Cancel wherever there is one.
    if (QAbstractButton* cancel = box->button(QMessageBox::Cancel))
        box->setEscapeButton(cancel);
    return box;
}

// Qt's own file dialog, whose OK can be refused by the caller's event.
class TFolderPicker final : public QFileDialog
{
public:
    TFolderPicker(QWidget* pParent, const pf::TFileDialogEvents& pEvents)
        : QFileDialog(pParent)
        , fEvents(pEvents)
    {
    }

    // Once answered the caller has gone on: its events must not be called any more.
    void Detach() { fDetached = true; }

    void accept() override
    {
        if (fDetached || !fEvents.OnFileOk)
            return QFileDialog::accept();
        bool canClose = true;
        fEvents.OnFileOk(selectedFiles(), canClose);
        if (canClose)
            QFileDialog::accept();
    }

    void SelectionChanged(const QString& pCurrent)
    {
        if (!fDetached && fEvents.OnSelectionChange)
            fEvents.OnSelectionChange(pCurrent);
    }

private:
    const pf::TFileDialogEvents& fEvents;
    bool fDetached = false;
};

void ConfigurePicker(TFolderPicker& pPicker, const pf::TFileDialogArgs& pArgs)
{
    // Not the desktop's dialog: that one reports neither the current item nor OK before closing.
    pPicker.setOption(QFileDialog::DontUseNativeDialog);
    if (pArgs.PickFolders) {
        pPicker.setFileMode(QFileDialog::Directory);
        pPicker.setOption(QFileDialog::ShowDirsOnly);
    } else {
        pPicker.setFileMode(pArgs.MultiSelect     ? QFileDialog::ExistingFiles
                            : pArgs.FileMustExist ? QFileDialog::ExistingFile
                                                  : QFileDialog::AnyFile);
    }
    if (pArgs.ShowHidden)
        pPicker.setFilter(pPicker.filter() | QDir::Hidden);
    if (!pArgs.Title.isEmpty())
        pPicker.setWindowTitle(pArgs.Title);
    if (!pArgs.OkLabel.isEmpty())
        pPicker.setLabelText(QFileDialog::Accept, pArgs.OkLabel);
    if (!pArgs.DefaultFolder.isEmpty())
        pPicker.setDirectory(pArgs.DefaultFolder);
}

} // namespace

std::shared_ptr<TShellDialogs> TShellDialogs::Create(pf::INetwork* pNetwork)
{
    return std::shared_ptr<TShellDialogs>(new TShellDialogs(pNetwork));
}

TShellDialogs::TShellDialogs(pf::INetwork* pNetwork)
    : fNetwork(pNetwork)
{
}

pf::INetwork* TShellDialogs::Network() const
{
    if (fNetwork)
        return fNetwork;
    return pf::HasPlatform() ? pf::Platform().Network() : nullptr;
}

QWidget* TShellDialogs::OwnerWidget(pf::WindowRef pOwner)
{
    // On this host a window reference is the QWidget the user interface handed in.
    auto* owner = static_cast<QWidget*>(const_cast<void*>(pOwner));
    return owner ? owner->window() : QApplication::activeWindow();
}

pf::TMsgButton TShellDialogs::MessageBox(pf::WindowRef pOwner, const QString& pTitle,
                                         const QString& pText, pf::TMsgIcon pIcon,
                                         pf::TMsgButtons pButtons)
{
    return AskOnUi<pf::TMsgButton>(
        pf::TMsgButton::Cancel, [&](std::function<void(pf::TMsgButton)> pAnswer) -> QDialog* {
            QMessageBox* box = MakeBox(pOwner, pTitle, pText, pIcon, pButtons);
            QObject::connect(box, &QMessageBox::finished, box, [box, pAnswer] {
                pAnswer(ButtonOf(box->standardButton(box->clickedButton())));
            });
            return box;
        });
}

void TShellDialogs::TaskDialog(pf::WindowRef pOwner, const QString& pTitle, const QString& pText,
                               pf::TMsgIcon pIcon)
{
    MessageBox(pOwner, pTitle, pText, pIcon, pf::TMsgButtons::Ok);
}

bool TShellDialogs::InputQuery(pf::WindowRef pOwner, const QString& pTitle, const QString& pPrompt,
                               QString& pValue)
{
    using TText = std::optional<QString>;
    const TText text = AskOnUi<TText>(std::nullopt, [&](std::function<void(TText)> pAnswer) {
        auto* input = new QInputDialog(OwnerWidget(pOwner));
        input->setWindowTitle(pf::NormalizeDialogText(pTitle));
        input->setLabelText(pf::NormalizeDialogText(pPrompt));
        input->setTextValue(pValue);
        QObject::connect(input, &QDialog::finished, input, [input, pAnswer](int pResult) {
            pAnswer(pResult == QDialog::Accepted ? TText(input->textValue()) : std::nullopt);
        });
        return input;
    });
    if (!text)
        return false;
    pValue = *text;
    return true;
}

std::uint32_t TShellDialogs::ConnectDialog(pf::TConnectDialogArgs& pArgs)
{
    pf::INetwork* network = Network();
    if (!network)
        return kNotSupported;
    using TResult = std::pair<std::uint32_t, QString>;
    const TResult result =
        AskOnUi<TResult>({pf::kDialogCancelled, {}}, [&](std::function<void(TResult)> pAnswer) {
            auto* dialog = new TConnectDialog(*network, pArgs.RemoteName, pArgs.Flags,
                                              OwnerWidget(pArgs.Owner));
            QObject::connect(dialog, &QDialog::finished, dialog, [dialog, pAnswer](int pResult) {
                pAnswer(pResult == QDialog::Accepted ? TResult{0, dialog->MountPath()}
                                                     : TResult{pf::kDialogCancelled, {}});
            });
            return dialog;
        });
    if (result.first == 0) {
        pArgs.DevNum = 0;
        pArgs.MountPath = result.second;
    }
    return result.first;
}

std::uint32_t TShellDialogs::DisconnectDialog(pf::WindowRef pOwner, std::function<void()> pOnClosed)
{
    pf::INetwork* network = Network();
    if (!network)
        return kNotSupported;
    return AskOnUi<std::uint32_t>(
        pf::kDialogCancelled, [&](std::function<void(std::uint32_t)> pAnswer) {
            auto* dialog = new TDisconnectDialog(*network, OwnerWidget(pOwner));
            QObject::connect(dialog, &QDialog::finished, dialog, [pAnswer, pOnClosed](int pResult) {
                if (pOnClosed)
                    pOnClosed();
                pAnswer(pResult == QDialog::Accepted ? 0 : pf::kDialogCancelled);
            });
            return dialog;
        });
}

pf::HResult TShellDialogs::BrowseForFolder(pf::TBrowseArgs&, const pf::TBrowseCallbacks&,
                                           pf::IdListBytes&)
{
    return pf::E_NOTIMPL;
}

pf::HResult TShellDialogs::FileOpenDialog(pf::TFileDialogArgs& pArgs,
                                          const pf::TFileDialogEvents& pEvents)
{
    const QStringList chosen =
        AskOnUi<QStringList>({}, [&](std::function<void(QStringList)> pAnswer) {
            auto* picker = new TFolderPicker(OwnerWidget(pArgs.Owner), pEvents);
            ConfigurePicker(*picker, pArgs);
            QObject::connect(picker, &QFileDialog::currentChanged, picker,
                             [picker](const QString& pPath) { picker->SelectionChanged(pPath); });
            QObject::connect(picker, &QDialog::finished, picker, [picker, pAnswer](int pResult) {
                picker->Detach();
                pAnswer(pResult == QDialog::Accepted ? picker->selectedFiles() : QStringList());
            });
            return picker;
        });
    if (chosen.isEmpty())
        return kCancelled;
    pArgs.Chosen = chosen;
    return pf::S_OK;
}

bool TShellDialogs::Authenticate(const QString&, bool)
{
    return false;
}

} // namespace kiv
