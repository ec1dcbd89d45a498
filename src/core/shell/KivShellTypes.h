#pragma once

// The value types the shell components share: special folders, comparison and name forms of item
// identifier lists, shell actions and commands, file-operation options, column ids and property
// values. All are plain values that any thread may copy; the one piece of process-wide state is
// the default option set of new commands (DefaultOperationOptions), which is atomic.

#include "core/shell/KivSet.h"

#include <QString>
#include <QUuid>
#include <QVariant>

#include <cstdint>
#include <memory>
#include <optional>

namespace kiv {

class IItemIdList;
using IItemIdListPtr = std::shared_ptr<const IItemIdList>;

// The special folders of the namespace. The order is part of the contract: code walks the values
// 1..56 (SF_BITBUCKET .. SF_QUICKLAUNCH) when it identifies a folder, and the first value wins.
enum class TKivShellFolder
{
    SF_FILESYSTEMFOLDER, // an ordinary file-system folder
    SF_BITBUCKET,
    SF_CONTROLS,
    SF_DESKTOP,
    SF_DESKTOPDIRECTORY,
    SF_DRIVES,
    SF_FONTS,
    SF_NETHOOD,
    SF_NETWORK,
    SF_PERSONAL,
    SF_PRINTERS,
    SF_PROGRAMS,
    SF_RECENT,
    SF_SENDTO,
    SF_STARTMENU,
    SF_STARTUP,
    SF_TEMPLATES,
    SF_FAVORITES,
    SF_COMMON_STARTMENU,
    SF_COMMON_STARTUP,
    SF_COMMON_DESKTOPDIRECTORY,
    SF_APPDATA,
    SF_PRINTHOOD,
    SF_COMMON_FAVORITES,
    SF_INTERNET_CACHE,
    SF_COOKIES,
    SF_HISTORY,
    SF_COMMON_PROGRAMS,
    SF_ALTSTARTUP,
    SF_COMMON_APPDATA,
    SF_COMMON_DOCUMENTS,
    SF_INTERNET,
    SF_LOCAL_APPDATA,
    SF_MYPICTURES,
    SF_PROGRAM_FILES,
    SF_SYSTEM,
    SF_PROGRAM_FILES_COMMON,
    SF_WINDOWS,
    SF_PROGRAM_FILESX86,
    SF_PROGRAM_FILES_COMMONX86,
    SF_SYSTEMX86,
    SF_MY_MUSIC,
    SF_MY_VIDEOS,
    SF_LIBRARIES,
    SF_LIBRARY_DOCUMENTS,
    SF_LIBRARY_PICTURES,
    SF_LIBRARY_MUSIC,
    SF_LIBRARY_VIDEOS,
    SF_LIBRARY_PUBLIC,
    SF_PROFILE,
    SF_HOME_GROUP,
    SF_LINKS,
    SF_QUICKACCESS,
    SF_DOWNLOADS,
    SF_ONEDRIVE,
    SF_QUICKLAUNCH,
    SF_UNKNOWN, // an item that is not special and has no file-system path
    SF_INVALID, // not determined yet, or no item at all
};

inline constexpr int kKivShellFolderCount = 58;

// The value's identifier as written above ("SF_DRIVES"), as the debug texts show it; an
// out-of-range value gives its ordinal.
QString KivShellFolderName(TKivShellFolder pFolder);

// How two item identifier lists are compared.
enum class TItemIdListComparison
{
    ilcDisplay, // equal when the user would see the same place: file-system paths compared as text
    ilcExact,   // binary namespace comparison by the owning folders
};

// The platform's comparison hint for a mode: 0 for ilcDisplay, SICHINT_CANONICAL for ilcExact.
inline constexpr std::uint32_t SICHINT_CANONICAL = 0x10000000u;
constexpr std::uint32_t ShellCompareHint(TItemIdListComparison pComparison)
{
    return pComparison == TItemIdListComparison::ilcExact ? SICHINT_CANONICAL : 0u;
}

// The name forms a list answers. All but the last two map to one platform form; dnfForExplorer
// and dnfPreferPhysical are composed by the list itself from the others.
enum class TItemIdListDisplayNameFormat
{
    dnfNormal,
    dnfInFolder,
    dnfPath,
    dnfPhysicalPath,
    dnfRelativeForAddressBar,
    dnfRelativeParsing,
    dnfAbsoluteParsing,
    dnfForExplorer,
    dnfPreferPhysical,
};

// The platform's item name forms (SIGDN) and folder name flags (SHGDN). A SIGDN value carries in
// its low 16 bits the SHGDN flags a folder is asked with for the same name.
inline constexpr std::uint32_t SIGDN_NORMALDISPLAY = 0x00000000u;
inline constexpr std::uint32_t SIGDN_PARENTRELATIVEPARSING = 0x80018001u;
inline constexpr std::uint32_t SIGDN_DESKTOPABSOLUTEPARSING = 0x80028000u;
inline constexpr std::uint32_t SIGDN_DESKTOPABSOLUTEEDITING = 0x8004C000u;
inline constexpr std::uint32_t SIGDN_FILESYSPATH = 0x80058000u;
inline constexpr std::uint32_t SIGDN_PARENTRELATIVEFORADDRESSBAR = 0x8007C001u;
inline constexpr std::uint32_t SIGDN_PARENTRELATIVE = 0x80080001u;
inline constexpr std::uint32_t SHGDN_NORMAL = 0x0000u;
inline constexpr std::uint32_t SHGDN_INFOLDER = 0x0001u;
inline constexpr std::uint32_t SHGDN_FORADDRESSBAR = 0x4000u;
inline constexpr std::uint32_t SHGDN_FORPARSING = 0x8000u;

// The platform form of a name format; empty for the two composed formats.
std::optional<std::uint32_t> DisplayNameSigdn(TItemIdListDisplayNameFormat pFormat);
// The folder flags of the same form (the low 16 bits of its SIGDN value).
std::optional<std::uint32_t> DisplayNameShgdn(TItemIdListDisplayNameFormat pFormat);

// How much a debug text tells.
enum class TItemIdListInfoLevel
{
    Normal,
    Verbose,
};

// Implemented by objects that can describe themselves for error messages and the debug log (an
// item identifier list gives its path, special folder and resolution state).
class IHasDebugInfo
{
public:
    virtual ~IHasDebugInfo() = default;
    virtual QString GetInfo(TItemIdListInfoLevel pLevel) const = 0;
};

// What a shell command does. Each action has a platform verb and a menu caption.
enum class TShellAction
{
    saDefault, // the item's default verb (what a double click does)
    saOpen,
    saExplore,
    saCopy,
    saCut,
    saPaste,
    saDelete,
    saRename, // never invoked as a verb: renaming goes through Rename()
    saProperties,
    saCopyPath,
    saPinToHome,
    saCreateNewFolder,
    saOpenCommandPrompt,
    saDeleteNoUndo, // the "DELETE" verb without the undo option (permanent delete)
    saBdeUnlock,
    saOpenWith,
    saGoUp,
    saUnknown, // a verb with no action of its own; the command carries the verb text
};

// The platform verb of an action ("OPEN", "copypath"); saUnknown (and any value outside the
// enumeration) raises EInvalidOperation.
QString ShellActionVerb(TShellAction pAction);
// The action of a verb, compared ignoring case as the platform compares verbs; the first action
// with that verb wins ("DELETE" is saDelete); an unknown verb gives saUnknown.
TShellAction ShellActionFromVerb(const QString& pVerb);
// The menu caption of an action ("&Open"), with its "&" hot-key markers or without them ("&&"
// stands for a literal "&" and becomes "&"). saUnknown raises EInvalidOperation.
QString ShellActionCaption(TShellAction pAction, bool pStripHotKey = false);

// Options of file operations started by a shell command or the file operation component.
enum class TOperationOption
{
    soAllowUndo,
    soFilesOnly,
    soNoConfirmation,
    soNoConfirmMkDir,
    soNoErrorUI,
    soRenameCollision,
    soSilent,
    soSimpleProgress,
    soAsync,
    soKeepNewer,
};
using TOperationOptions = TSet<TOperationOption>;

// The options a command made for an action starts with. Process-wide; [soAllowUndo,
// soNoConfirmMkDir] until set, the same start as a new file operation component.
TOperationOptions DefaultOperationOptions();
void SetDefaultOperationOptions(TOperationOptions pOptions);

// One command for an item or a selection: an action, or a verb the action could not name.
struct TShellCommand
{
    // An empty command: saDefault, no verb of its own, no options (a record not yet filled in).
    TShellCommand() = default;
    // A command for an action: its verb, the default options (without soAllowUndo for
    // saDeleteNoUndo) and the given destination.
    explicit TShellCommand(TShellAction pAction, const QString& pDestination = {});
    // A command for a verb: the action is looked up from it (unknown → saUnknown, verb kept).
    explicit TShellCommand(const QString& pVerb);

    TShellAction Command() const { return fCommand; }
    // The verb: the one the command was made with, else the action's (raises for saUnknown).
    QString Verb() const;
    // The verb, or empty for an unknown action made without one (never raises).
    QString VerbOrEmpty() const;
    void SetVerb(const QString& pVerb) { fVerb = pVerb; }

    QString Destination;
    TOperationOptions OperationOptions;

private:
    TShellAction fCommand = TShellAction::saDefault;
    QString fVerb;
};

// Raises ENotSupportedException for a verb this host has no counterpart for: the system's share
// sheet ("Windows.ModernShare"). Items and collections check it before anything else.
void RejectUnavailableVerb(const TShellCommand& pCommand);

// Something a shell command can be invoked on (an item identifier list, a collection of them).
class ICommandInvokable
{
public:
    virtual ~ICommandInvokable() = default;
    virtual void InvokeCommand(const TShellCommand& pCommand) const = 0;
};

// A control whose selection a command can be invoked on (the shell list and the shell tree). The
// shell-command action is enabled while SelectedCount() is above 0.
class IUICommandInvokable
{
public:
    virtual ~IUICommandInvokable() = default;
    virtual void InvokeCommandOnSelected(const TShellCommand& pCommand) = 0;
    virtual int SelectedCount() const = 0;
};

// A property key: the property set's format id and the property id within it.
struct TPropertyKey
{
    QUuid FormatId;
    std::uint32_t PropertyId = 0;

    friend bool operator==(const TPropertyKey&, const TPropertyKey&) = default;
};

// A column of the details view, named by the property it shows.
struct TShellColumnId
{
    TPropertyKey Column;

    friend bool operator==(const TShellColumnId&, const TShellColumnId&) = default;
};

// A property value as read from or written to an item. An invalid QVariant is the null value
// (nothing stored for the property); dates are QDateTime in UTC.
struct TShellPropertyValue
{
    QVariant FPropertyVariant;
};

} // namespace kiv
