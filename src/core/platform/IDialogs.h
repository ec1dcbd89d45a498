#pragma once

#include "core/platform/HResult.h"
#include "core/platform/IdList.h"
#include "core/platform/WindowRef.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>

// Dialogs the family raises: message boxes, task dialogs, a text prompt, the network connection
// and disconnection dialogs, the folder pickers and the authentication prompt of a location.
//
// Every call may be made from any thread: the dialog opens on the user-interface thread and the
// caller waits for it (on the user-interface thread itself the wait keeps the event loop running,
// so the call returns after the dialog closed, as a modal dialog does). Events and callbacks of
// the dialogs run on the user-interface thread.

namespace kiv::pf {

enum class TMsgIcon
{
    None,
    Information,
    Question,
    Warning,
    Error,
};

// The buttons a message box offers.
enum class TMsgButtons
{
    Ok,
    OkCancel,
    YesNo,
    YesCancel,
    YesNoCancel,
};

// The button chosen. Escape and closing the window answer Cancel where the box has a Cancel
// button (No where it has No but no Cancel, Ok for a lone Ok); a box that could not be shown
// answers Cancel.
enum class TMsgButton
{
    Ok,
    Cancel,
    Yes,
    No,
};

// The text as dialogs show it: CR LF and LF CR pairs (texts written for other hosts) and lone CRs
// become one "\n".
QString NormalizeDialogText(const QString& pText);

// The result of the connection dialogs for a cancelled dialog (the classic −1).
inline constexpr std::uint32_t kDialogCancelled = 0xFFFFFFFFu;

// Flags of the connection dialog (the classic values).
namespace conndlg {
// The remote path is given and cannot be edited (needs RemoteName; excludes USE_MRU).
inline constexpr std::uint32_t CONNDLG_RO_PATH = 0x1;
// The recently used remote paths are offered.
inline constexpr std::uint32_t CONNDLG_USE_MRU = 0x4;
// "Reconnect at sign-in" starts checked.
inline constexpr std::uint32_t CONNDLG_PERSIST = 0x10;
} // namespace conndlg

struct TConnectDialogArgs
{
    WindowRef Owner = nullptr;
    // The remote path shown first: "\\server\share", "smb://server/share", "sftp://host/path".
    QString RemoteName;
    std::uint32_t Flags = 0;
    // Out, on success: the device number (letters do not exist here: always 0) and where the
    // share is mounted.
    std::uint32_t DevNum = 0;
    QString MountPath;
};

// Flags of the classic folder browser (the classic values).
namespace bif {
inline constexpr std::uint32_t BIF_RETURNONLYFSDIRS = 0x1;
inline constexpr std::uint32_t BIF_EDITBOX = 0x10;
inline constexpr std::uint32_t BIF_VALIDATE = 0x20;
inline constexpr std::uint32_t BIF_NEWDIALOGSTYLE = 0x40;
inline constexpr std::uint32_t BIF_BROWSEFORCOMPUTER = 0x1000;
inline constexpr std::uint32_t BIF_BROWSEINCLUDEFILES = 0x4000;
} // namespace bif

struct TBrowseArgs
{
    WindowRef Owner = nullptr;
    // The root of the tree (the desktop when empty).
    IdListBytes Root;
    // The text above the tree.
    QString Title;
    std::uint32_t Flags = 0;
};

// Events of the classic folder browser, on the user-interface thread. pDialog is the dialog's
// window while it is open.
struct TBrowseCallbacks
{
    std::function<void(WindowRef pDialog)> OnInitialized;
    std::function<void(WindowRef pDialog, IdSpan pSelected)> OnSelectionChanged;
    // The text typed into the edit box did not name a folder (BIF_VALIDATE).
    std::function<void(WindowRef pDialog, const QString& pTyped)> OnValidateFailed;
};

// The file-open dialog in folder mode.
struct TFileDialogArgs
{
    WindowRef Owner = nullptr;
    bool PickFolders = true;
    bool ForceFileSystem = true;
    bool PathMustExist = true;
    bool FileMustExist = true;
    bool ShowHidden = false;
    bool MultiSelect = false;
    QString Title;
    // The caption of the OK button; empty: the dialog's own.
    QString OkLabel;
    QString DefaultFolder;
    // Out, on success: the chosen paths (at least one).
    QStringList Chosen;
};

// Events of the file-open dialog, on the user-interface thread.
struct TFileDialogEvents
{
    // The current item changed (its path; "" when nothing is current).
    std::function<void(const QString& pCurrent)> OnSelectionChange;
    // OK was pressed with these items; clearing pCanClose keeps the dialog open.
    std::function<void(const QStringList& pChosen, bool& pCanClose)> OnFileOk;
};

class IDialogs
{
public:
    virtual ~IDialogs() = default;

    virtual TMsgButton MessageBox(WindowRef pOwner, const QString& pTitle, const QString& pText,
                                  TMsgIcon pIcon, TMsgButtons pButtons) = 0;

    // A message with one OK button; returns once it is closed.
    virtual void TaskDialog(WindowRef pOwner, const QString& pTitle, const QString& pText,
                            TMsgIcon pIcon) = 0;

    // Asks for a text, starting with pValue. True and the text in pValue on OK; false on cancel,
    // pValue unchanged.
    virtual bool InputQuery(WindowRef pOwner, const QString& pTitle, const QString& pPrompt,
                            QString& pValue) = 0;

    // 0 on success (DevNum and MountPath set), kDialogCancelled when cancelled, else a system
    // error code.
    virtual std::uint32_t ConnectDialog(TConnectDialogArgs& pArgs) = 0;

    // Lets the user disconnect network shares. pOnClosed runs on the user-interface thread when
    // the dialog window has closed (before the call returns). 0 when a share was disconnected,
    // kDialogCancelled when cancelled, else a system error code.
    virtual std::uint32_t DisconnectDialog(WindowRef pOwner, std::function<void()> pOnClosed) = 0;

    // The classic folder browser: S_OK with the chosen list; HResultFromWin32(1223) when
    // cancelled; E_NOTIMPL where the host has none.
    virtual HResult BrowseForFolder(TBrowseArgs& pArgs, const TBrowseCallbacks& pCallbacks,
                                    IdListBytes& pChosen) = 0;

    // The file-open dialog in folder mode: S_OK with pArgs.Chosen; HResultFromWin32(1223) when
    // cancelled.
    virtual HResult FileOpenDialog(TFileDialogArgs& pArgs, const TFileDialogEvents& pEvents) = 0;

    // Asks for credentials of a location (pInteractive: a prompt may be shown) and connects it.
    // True when the location is now available.
    virtual bool Authenticate(const QString& pPath, bool pInteractive) = 0;
};

} // namespace kiv::pf
