#pragma once

#include "core/platform/IDialogs.h"

#include <deque>
#include <mutex>
#include <optional>
#include <vector>

namespace kiv::pf::mem {

// Dialogs that show nothing: each call is recorded (texts as a dialog would show them) and
// answered from what the test scripted for its kind, first in first out. Without a scripted
// answer a dialog is cancelled (a box with only OK answers Ok). Thread-safe; events of the
// file dialog run on the calling thread.
class TMemoryDialogs final : public IDialogs
{
public:
    struct TShown
    {
        // "message", "task", "input", "connect", "disconnect", "browse", "file", "authenticate"
        QString Kind;
        QString Title;
        QString Text;
        TMsgIcon Icon = TMsgIcon::None;
        // What the call was given: the input's preset, the connection's remote path, the file
        // dialog's default folder, the location to authenticate.
        QString Value;
    };

    TMsgButton MessageBox(WindowRef pOwner, const QString& pTitle, const QString& pText,
                          TMsgIcon pIcon, TMsgButtons pButtons) override;
    void TaskDialog(WindowRef pOwner, const QString& pTitle, const QString& pText,
                    TMsgIcon pIcon) override;
    bool InputQuery(WindowRef pOwner, const QString& pTitle, const QString& pPrompt,
                    QString& pValue) override;
    std::uint32_t ConnectDialog(TConnectDialogArgs& pArgs) override;
    std::uint32_t DisconnectDialog(WindowRef pOwner, std::function<void()> pOnClosed) override;
    HResult BrowseForFolder(TBrowseArgs& pArgs, const TBrowseCallbacks& pCallbacks,
                            IdListBytes& pChosen) override;
    HResult FileOpenDialog(TFileDialogArgs& pArgs, const TFileDialogEvents& pEvents) override;
    bool Authenticate(const QString& pPath, bool pInteractive) override;

    void PushMessageAnswer(TMsgButton pButton);
    // nullopt: the user cancels.
    void PushInputAnswer(std::optional<QString> pText);
    void PushConnectAnswer(std::uint32_t pResult, const QString& pMountPath = {});
    void PushDisconnectAnswer(std::uint32_t pResult);
    // The list chosen, or nullopt to cancel.
    void PushBrowseAnswer(std::optional<IdListBytes> pChosen);
    // The items chosen (each fires the selection change, then the OK event; a vetoed answer
    // moves on to the next one, as a user choosing again), or an empty list to cancel.
    void PushFileAnswer(const QStringList& pChosen);
    void SetAuthenticateResult(bool pResult);

    std::vector<TShown> Shown() const;

private:
    void Record(TShown pShown);

    mutable std::mutex fLock;
    // All guarded by fLock.
    std::vector<TShown> fShown;
    std::deque<TMsgButton> fMessageAnswers;
    std::deque<std::optional<QString>> fInputAnswers;
    std::deque<std::pair<std::uint32_t, QString>> fConnectAnswers;
    std::deque<std::uint32_t> fDisconnectAnswers;
    std::deque<std::optional<IdListBytes>> fBrowseAnswers;
    std::deque<QStringList> fFileAnswers;
    bool fAuthenticateResult = false;
};

} // namespace kiv::pf::mem
