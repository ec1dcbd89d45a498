#pragma once

#include "LinuxImageFactory.h"
#include "core/platform/IDebug.h"
#include "core/platform/IPreviewHandler.h"
#include "core/platform/IRegistry.h"
#include "core/platform/RegistryTree.h"

#include <QDateTime>
#include <QHash>

#include <chrono>
#include <mutex>
#include <optional>
#include <vector>

namespace kiv::pf::lnx {

// The registry on Linux: the user's settings file "registry.ini" in the configuration folder
// (keys in the style of exported registry files, plus a [ShellState] section) wins; behind it
// stand the keys this host derives:
// - file types: HKCR "\.ext" has the MIME type as its default value and as "Content Type", and
//   "PerceivedType"; "*" and "AllFilesystemObjects" exist;
// - previews and thumbnails: "\.ext\shellex\{8895B1C6-...}" (also under the MIME type, which
//   serves as the program id, and under "SystemFileAssociations\.ext" and "...\<perceived type>")
//   names the preview handler class that takes the type, "...\shellex\{e357fccd-...}" the
//   thumbnail provider when pictures of the type are decoded here or a thumbnailer program takes
//   it; "CLSID\{guid}" exists for those classes, and HKLM "...\CurrentVersion\PreviewHandlers"
//   lists the preview handlers ("{guid}" = name). The handler classes are the ones given to
//   SetPreviewHandlerClasses (none until then).
// - new-file templates: the files of the user's Templates folder (the first per extension) give
//   HKCR "\.ext\ShellNew" with "FileName" = the template's absolute path, ".txt" always has one
//   ("NullFile": an empty file), and HKCU "...\Discardable\PostSetup\ShellNew" lists them all in
//   "Classes".
// - the files last used: HKCU "...\ComDlg32\OpenSavePidlMRU" has the sub-key "*" (every file)
//   and one per extension ("txt"), whose values "0", "1"... are the item lists of the files of
//   the desktop's recently-used list, newest first.
// The settings file and the templates are read again when they change. A settings file that is
// not UTF-8 is ignored, and malformed lines are skipped; either is told in one debug line per
// version of the file.
class TLinuxRegistry final : public IRegistry
{
public:
    // pDebug (may be null) receives the lines about malformed settings files.
    explicit TLinuxRegistry(IDebug* pDebug = nullptr)
        : fDebug(pDebug)
    {
    }

    bool KeyExists(RegistryRoot pRoot, const QString& pKey) override;
    RegValue GetValue(RegistryRoot pRoot, const QString& pKey, const QString& pName) override;
    QStringList ValueNames(RegistryRoot pRoot, const QString& pKey) override;
    QStringList SubKeys(RegistryRoot pRoot, const QString& pKey) override;
    ShellStateFlags ShellState() override;

    // The preview handler classes to publish, in the order a type chooses between them (the
    // first that names the type, else the first that takes its perceived type).
    void SetPreviewHandlerClasses(std::vector<PreviewHandlerClass> pClasses);

private:
    struct TTemplate
    {
        QString Extension; // ".odt"
        QString Path;
    };
    struct TFileStamp
    {
        QString Path;
        QDateTime Modified;
        qint64 Size = -1;
        friend bool operator==(const TFileStamp&, const TFileStamp&) = default;
    };

    // Both under fLock.
    void RefreshSettings();
    void RefreshTemplates();
    // The keys derived for a query about pKey (what a lookup of pKey or its values needs).
    TRegistryTree Derived(RegistryRoot pRoot, const QString& pKey);
    // What the registry says about one file type, worked out once per type: the MIME database
    // and the thumbnailer list are not asked again for it on later lookups.
    struct TFileType
    {
        QString MimeType;
        QString Perceived;
        Guid Previewer; // null: none
        bool Thumbnails = false;
    };
    // Under fLock: the type of an extension (".txt") or of a MIME type name ("text/plain").
    const TFileType& FileType(const QString& pExtensionOrMime);
    // Under fLock: the preview and thumbnail keys of a type under pKey (".txt", "text/plain",
    // "SystemFileAssociations\.txt").
    void AddShellExtensions(TRegistryTree& pTree, const QString& pKey, const TFileType& pType);
    void DeriveClasses(TRegistryTree& pTree, const QString& pKey);
    // Under fLock: the open/save keys, made again when recently-used.xbel changes (a dialog
    // reads them value by value).
    const TRegistryTree& RecentFiles();

    IDebug* fDebug;
    std::mutex fLock;
    std::optional<TFileStamp> fSettingsStamp;
    TRegistryTree fSettings;
    ShellStateFlags fShellState;
    std::optional<TFileStamp> fTemplatesStamp;
    std::vector<TTemplate> fTemplates;
    std::optional<TFileStamp> fRecentStamp;
    TRegistryTree fRecent;
    std::vector<PreviewHandlerClass> fPreviewClasses;
    // File types by lower-case extension or MIME name, forgotten after a minute (programs that
    // make thumbnails may have been installed) and when the handler classes change.
    QHash<QString, TFileType> fFileTypes;
    std::chrono::steady_clock::time_point fFileTypesSince;
    std::vector<TThumbnailerEntry> fThumbnailers;
};

} // namespace kiv::pf::lnx
