#pragma once

#include "core/platform/IDialogs.h"

#include <memory>

class QWidget;

namespace kiv {

namespace pf {
class INetwork;
}

// The platform's dialogs as Qt dialogs: message boxes, the text prompt, the file-open dialog in
// folder mode (Qt's own, not the desktop's, so that its selection and OK events reach the
// caller), and the network connection and disconnection dialogs over the platform's network
// service.
//
// Installed into the platform at start-up (IPlatform::SetDialogs) and removed before the
// application object goes. Callable from any thread: each dialog is opened with open() on the
// user-interface thread through the platform dispatcher and the caller waits for its answer (on
// the user-interface thread the wait runs the event loop). Widgets live on the user-interface
// thread and delete themselves when closed.
//
// The classic folder browser needs the family's shell tree, which this layer does not have: it
// answers E_NOTIMPL (callers use the file-open dialog). Authenticate answers false: there is no
// credential prompt for a location yet.
class TShellDialogs final : public pf::IDialogs
{
public:
    // pNetwork: the service the connection dialogs use (not owned; it outlives this object);
    // null: the installed platform's at the time of each call.
    static std::shared_ptr<TShellDialogs> Create(pf::INetwork* pNetwork = nullptr);

    pf::TMsgButton MessageBox(pf::WindowRef pOwner, const QString& pTitle, const QString& pText,
                              pf::TMsgIcon pIcon, pf::TMsgButtons pButtons) override;
    void TaskDialog(pf::WindowRef pOwner, const QString& pTitle, const QString& pText,
                    pf::TMsgIcon pIcon) override;
    bool InputQuery(pf::WindowRef pOwner, const QString& pTitle, const QString& pPrompt,
                    QString& pValue) override;
    std::uint32_t ConnectDialog(pf::TConnectDialogArgs& pArgs) override;
    std::uint32_t DisconnectDialog(pf::WindowRef pOwner, std::function<void()> pOnClosed) override;
    pf::HResult BrowseForFolder(pf::TBrowseArgs& pArgs, const pf::TBrowseCallbacks& pCallbacks,
                                pf::IdListBytes& pChosen) override;
    pf::HResult FileOpenDialog(pf::TFileDialogArgs& pArgs,
                               const pf::TFileDialogEvents& pEvents) override;
    bool Authenticate(const QString& pPath, bool pInteractive) override;

    // The widget a WindowRef from this host stands for (null for none).
    static QWidget* OwnerWidget(pf::WindowRef pOwner);

private:
    explicit TShellDialogs(pf::INetwork* pNetwork);
    pf::INetwork* Network() const;

    pf::INetwork* const fNetwork;
};

} // namespace kiv
