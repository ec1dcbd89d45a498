#pragma once

// The small services every shell control of the family shares: the user's explorer settings,
// the names shown for items, the renaming rule for hidden extensions, pixel scaling, the flags of
// auto-completion, clipboard and drag helpers, the icon association writer, and the texts of
// property values and file attributes. Class operations only.
//
// The settings are read anew on every call (nothing is cached), from the platform's registry:
// reading never raises, a missing key or value gives the default documented with each setting.
// Every operation may be called from any thread except the clipboard ones, which belong to the
// user-interface thread like the clipboard itself.

#include "core/platform/IDataObject.h"
#include "core/platform/IRegistry.h"
#include "core/shell/KivSet.h"
#include "core/shell/KivShellTypes.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>

namespace kiv {

class IItemIdListCollection;
using IItemIdListCollectionPtr = std::shared_ptr<IItemIdListCollection>;

// Where a command comes from.
enum class TCommandSource
{
    // A program call (InvokeCommand, InvokeContextMenuCommand).
    Call,
    Keyboard,
    // An entry of a context menu.
    ContextMenu,
};

// What the application is asked before a shell command runs: the command, the items it runs on
// (absolute lists) and where it comes from. Setting Cancel stops the command.
struct TBeforeCommandEventArgs
{
    TShellCommand Command;
    IItemIdListCollectionPtr Items;
    TCommandSource CommandSource = TCommandSource::Call;
    bool Cancel = false;
};
using TBeforeCommandFunc = std::function<void(TBeforeCommandEventArgs& pArgs)>;

// How a list or a tree names files (their FileNameFormat).
enum class TKivFileNameFormat
{
    // As the user's setting says: extensions of known types hidden while it hides them.
    Auto,
    IncludeExtensions,
    ExcludeExtensions,
};

enum class TKivShellAutoCompleteOption
{
    acoFileSystem,
    acoFolderOnly,
    acoURL,
    acoVirtualNameSpace,
};
using TKivShellAutoCompleteOptions = TSet<TKivShellAutoCompleteOption>;

// Implemented by the controls that have a FileNameFormat (the shell list and the shell tree).
class IKivFileNameFormatControl
{
public:
    virtual ~IKivFileNameFormatControl() = default;
    virtual TKivFileNameFormat FileNameFormat() const = 0;
};

// The one explorer setting an application may want to answer itself: derive, override and
// install an instance with TShellControlHelper::SetExplorerSettings. Must be thread-safe (it is
// asked from any thread).
class TExplorerSettings
{
public:
    virtual ~TExplorerSettings() = default;
    // Whether the navigation tree shows all folders (the user's NavPaneShowAllFolders = 1).
    virtual bool ShellShowAllFolders() const;
};
using TExplorerSettingsPtr = std::shared_ptr<const TExplorerSettings>;

class TShellControlHelper
{
public:
    TShellControlHelper() = delete;

    // --- Explorer settings ---
    // Replaces the settings object; null restores the default one.
    static void SetExplorerSettings(TExplorerSettingsPtr pExplorerSettings);
    static bool ShellShowAllFolders();
    // [ShellState] ShowInfoTip; default true.
    static bool ShellShowInfoTip();
    // [ShellState] DoubleClickInWebView = 0; default false.
    static bool ShellSingleClickActivate();
    // [ShellState] ShowExtensions; default true.
    static bool ShellShowExtensions();
    // The libraries' pin value is present and not 0 or ""; default false.
    static bool ShellShowLibraries();
    static bool ShellShowOneDrive();
    // HKLM ...\Explorer\HubMode is not 1; default true.
    static bool ShellShowFavorites();
    // NavPaneExpandToCurrentFolder = 1; default false.
    static bool ShellExpandToCurrentFolder();
    // A class object ("{guid}") is pinned to the navigation tree (pin value 1) and not hidden by
    // the NonEnum policy (value 1); default false.
    static bool ShellShowNamespace(const QString& pFolderClassGuid);
    // One value, read-only: the path is split at its last "\" into key and value name. Text for
    // text values, a number for numbers, an invalid QVariant when missing or of another type.
    static QVariant GetRegistryValue(const QString& pRegistryPath, pf::RegistryRoot pRootKey);

    // --- Names ---
    // The name a control shows for an item. Without shell names: the list's Name (its in-folder
    // name when that is empty). With them: raises EInvalidArgument for a null or invalid list;
    // Auto gives the in-folder name (the extension of a known type hidden while the user's
    // setting hides extensions); a plain folder its in-folder name; otherwise the address-bar
    // name, without its extension for ExcludeExtensions. A name that only starts with a dot
    // (".bashrc") has no extension and is never shortened.
    static QString GetDisplayName(const IItemIdListPtr& pItemIdList,
                                  TKivFileNameFormat pFileNameFormat, bool pShellNames);
    // Whether a control with the format shows extensions (Auto: the user's setting).
    static bool ControlShowsExtensions(TKivFileNameFormat pFileNameFormat);
    // A control without a format counts as Auto.
    static bool ControlShowsExtensions(const IKivFileNameFormatControl* pControl);
    // The name to rename to: when the control hid the old name's extension and the new name has
    // none, the old extension is put back; a shortcut (".lnk") keeps its extension even when
    // the user typed another one.
    static QString PrepareForRename(const QString& pOldName, const QString& pNewName,
                                    const IKivFileNameFormatControl* pControl);
    static QString PrepareForRename(const QString& pOldName, const QString& pNewName,
                                    TKivFileNameFormat pFileNameFormat);
    // The extension of a file name with its dot (".gz" of "a.tar.gz"); "" for ".bashrc".
    static QString ExtractExtension(const QString& pName);
    // Whether files with the extension (".txt") have a registered type.
    static bool IsKnownFileType(const QString& pExtension);

    // --- Look ---
    // Pixels at the current scale (never fewer than pPixels).
    static int ScaledPixels(int pPixels);

    // --- Edits, clipboard, drag ---
    // The auto-completion flags (SHACF bits) of a set of options: an empty set means every
    // source with suggestions and appending off.
    static std::uint32_t AutoCompleteFlags(TKivShellAutoCompleteOptions pOptions);
    // The file names of the clipboard's dropped-files format, in order; none without one.
    static QStringList GetFilenamesFromClipboard();
    // One data object for several paths; null when any path cannot be made an item.
    static pf::IDataObjectPtr GetDataObjectForMultiFiles(const QStringList& pFiles);
    // Drag images are drawn by the toolkit here: there is nothing to prepare.
    static void CreateDragHelper(const pf::IDataObjectPtr& pForDataObject);
    // Gives files with the extension the icon pIconFile (index pIconIndex inside it when >= 0)
    // in the program's own icon association store; the new icon index of the extension, or -1.
    static int AssociateIconWithExtension(const QString& pFileExtension, const QString& pIconFile,
                                          int pIconIndex);

    // --- Values ---
    // "" for an invalid or null value; dates (WriteTime, CreateTime, AccessTime, ItemDate, and
    // any date value) as the locale's date and time; other values formatted by the property's
    // description. A value that cannot be converted gives "".
    static QString VariantToString(const QVariant& pValue, const TShellColumnId& pId);
    // Letters for the set attribute bits in the order R H S D A C L O I; -1 gives "".
    static QString AttributesToString(qint64 pAttributes);
    // False for invalid, null, numeric 0 and the empty text.
    static bool VarNotNull(const QVariant& pValue);

    // --- Commands ---
    // Asks pBeforeCommand whether pCommand may run on pItems (which may be null or empty): the
    // items are handed over as absolute lists (elements relative to the collection's base folder
    // are joined to it, in a new collection). Without a function the command may run; otherwise
    // the answer is that the function left Cancel clear.
    static bool DoBeforeShellCommand(const TBeforeCommandFunc& pBeforeCommand,
                                     const TShellCommand& pCommand, TCommandSource pSource,
                                     const IItemIdListCollectionPtr& pItems);
    // The same for a verb (its action looked up) or for one list (a one-element collection).
    static bool DoBeforeShellCommand(const TBeforeCommandFunc& pBeforeCommand, const QString& pVerb,
                                     TCommandSource pSource,
                                     const IItemIdListCollectionPtr& pItems);
    static bool DoBeforeShellCommand(const TBeforeCommandFunc& pBeforeCommand,
                                     const TShellCommand& pCommand, TCommandSource pSource,
                                     const IItemIdListPtr& pItem);
};

} // namespace kiv
