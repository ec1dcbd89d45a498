#include "LinuxRegistry.h"

#include "LinuxLinks.h"
#include "LinuxNamespace.h"
#include "MimeDatabase.h"
#include "XdgDirs.h"
#include "core/platform/FileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>
#include <QStringDecoder>

#include <algorithm>

namespace kiv::pf::lnx {

namespace {

const QString kShellNewClassesKey = QStringLiteral(
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Discardable\\PostSetup\\ShellNew");
const QString kOpenSaveMruKey = QStringLiteral(
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\ComDlg32\\OpenSavePidlMRU");
// Entries per sub-key: what an open dialog's list shows, a little more than a screenful.
constexpr int kMruEntries = 100;
const QString kPreviewHandlersKey =
    QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PreviewHandlers");
const QString kSystemAssociations = QStringLiteral("SystemFileAssociations");
// How long what was worked out about a file type holds: thumbnailer programs installed meanwhile
// show up after this.
constexpr std::chrono::minutes kFileTypeLifetime{1};

QString SettingsPath()
{
    const TXdgDirs dirs = TXdgDirs::Load();
    return DecodeFileName(dirs.ConfigHome) + QStringLiteral("/tovaline/registry.ini");
}

bool SameName(const QString& pA, const QString& pB)
{
    return pA.compare(pB, Qt::CaseInsensitive) == 0;
}

bool IsTrue(const QString& pValue)
{
    return pValue == QLatin1String("1") || SameName(pValue, QStringLiteral("true"));
}

void AppendMissing(QStringList& pNames, const QStringList& pMore)
{
    for (const QString& name : pMore) {
        if (std::none_of(pNames.begin(), pNames.end(),
                         [&](const QString& pName) { return SameName(pName, name); }))
            pNames.push_back(name);
    }
}

} // namespace

void TLinuxRegistry::RefreshSettings()
{
    const QFileInfo info(SettingsPath());
    const TFileStamp stamp{info.absoluteFilePath(), info.lastModified(),
                           info.exists() ? info.size() : -1};
    if (fSettingsStamp == stamp)
        return;
    fSettingsStamp = stamp;
    fSettings.Clear();
    fShellState = {};
    QFile file(stamp.Path);
    if (!file.open(QIODevice::ReadOnly))
        return;
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(file.readAll());
    if (decoder.hasError()) {
        if (fDebug)
            fDebug->Write(stamp.Path + QStringLiteral(" is not UTF-8 text: the defaults apply"));
        return;
    }
    int firstBad = 0;
    const int bad = fSettings.LoadText(
        text,
        [this](const QString& pSection, const QString& pName, const QString& pValue) {
            if (!SameName(pSection, QStringLiteral("ShellState")))
                return;
            if (SameName(pName, QStringLiteral("ShowExtensions")))
                fShellState.ShowExtensions = IsTrue(pValue);
            else if (SameName(pName, QStringLiteral("ShowInfoTip")))
                fShellState.ShowInfoTip = IsTrue(pValue);
            else if (SameName(pName, QStringLiteral("DoubleClickInWebView")))
                fShellState.DoubleClickInWebView = IsTrue(pValue);
        },
        &firstBad);
    if (bad > 0 && fDebug)
        fDebug->Write(QStringLiteral("%1: %2 malformed line(s) skipped, the first is line %3")
                          .arg(stamp.Path)
                          .arg(bad)
                          .arg(firstBad));
}

void TLinuxRegistry::RefreshTemplates()
{
    const TXdgDirs dirs = TXdgDirs::Load();
    // A Templates folder that is the home folder itself means "no templates".
    const bool none = dirs.Templates.empty() || dirs.Templates == dirs.Home;
    const QFileInfo info(none ? QString() : DecodeFileName(dirs.Templates));
    const TFileStamp stamp{info.absoluteFilePath(), info.lastModified(), info.exists() ? 0 : -1};
    if (fTemplatesStamp == stamp)
        return;
    fTemplatesStamp = stamp;
    fTemplates.clear();
    if (none || !info.isDir())
        return;
    const QFileInfoList files =
        QDir(stamp.Path).entryInfoList(QDir::Files | QDir::Readable, QDir::Name);
    for (const QFileInfo& file : files) {
        const QString suffix = file.suffix();
        if (suffix.isEmpty())
            continue;
        const QString extension = u'.' + suffix.toLower();
        if (std::none_of(fTemplates.begin(), fTemplates.end(),
                         [&](const TTemplate& pT) { return pT.Extension == extension; }))
            fTemplates.push_back({extension, file.absoluteFilePath()});
    }
}

TRegistryTree TLinuxRegistry::Derived(RegistryRoot pRoot, const QString& pKey)
{
    TRegistryTree derived;
    const QString key = NormalizeRegistryKey(pKey);
    if (pRoot == RegistryRoot::CurrentUser) {
        const QString mru = NormalizeRegistryKey(kOpenSaveMruKey);
        if (key == mru || key.startsWith(mru + u'\\'))
            return RecentFiles();
        // Only the new-file key and the keys above it need the templates folder.
        const QString shellNew = NormalizeRegistryKey(kShellNewClassesKey);
        if (!(key.isEmpty() || shellNew == key || shellNew.startsWith(key + u'\\')))
            return derived;
        RefreshTemplates();
        QStringList classes;
        for (const TTemplate& entry : fTemplates)
            classes.push_back(entry.Extension);
        AppendMissing(classes, {QStringLiteral(".txt")});
        derived.SetValue(pRoot, kShellNewClassesKey, QStringLiteral("Classes"), classes);
        return derived;
    }
    if (pRoot == RegistryRoot::LocalMachine) {
        const QString handlers = NormalizeRegistryKey(kPreviewHandlersKey);
        if (key == handlers || handlers.startsWith(key + u'\\') || key.isEmpty()) {
            derived.AddKey(pRoot, kPreviewHandlersKey);
            for (const PreviewHandlerClass& entry : fPreviewClasses)
                derived.SetValue(pRoot, kPreviewHandlersKey, entry.Clsid.ToString(), entry.Name);
        }
        return derived;
    }
    if (pRoot != RegistryRoot::ClassesRoot)
        return derived;
    derived.AddKey(pRoot, QStringLiteral("*"));
    derived.AddKey(pRoot, QStringLiteral("AllFilesystemObjects"));
    DeriveClasses(derived, key);
    const QString first = key.section(u'\\', 0, 0);
    if (first == NormalizeRegistryKey(kSystemAssociations)) {
        const QString type = key.section(u'\\', 1, 1);
        const QString under = kSystemAssociations + u'\\' + type;
        if (type.startsWith(u'.')) {
            AddShellExtensions(derived, under, FileType(type));
            return derived;
        }
        // A perceived type ("text") names the class that takes every type of that kind.
        const auto taker = std::find_if(
            fPreviewClasses.begin(), fPreviewClasses.end(), [&](const PreviewHandlerClass& pC) {
                return pC.PerceivedTypes.contains(type, Qt::CaseInsensitive);
            });
        if (!type.isEmpty() && taker != fPreviewClasses.end())
            derived.SetValue(pRoot,
                             under + QStringLiteral("\\shellex\\") +
                                 previewids::IID_IPreviewHandler.ToString(),
                             QString(), taker->Clsid.ToString());
        return derived;
    }
    // The MIME type is the program id a file type names: its keys carry the same handlers.
    if (first.contains(u'/')) {
        const TFileType& type = FileType(first);
        if (!type.MimeType.isEmpty())
            AddShellExtensions(derived, type.MimeType, type);
        return derived;
    }
    if (!key.startsWith(u'.'))
        return derived;
    const QString extension = first;
    // Only the extension's own key and its ShellNew key look at the templates folder: the
    // preview lookups, made at every change of selection, stay off the disk.
    if (key == extension || key.startsWith(extension + QStringLiteral("\\shellnew"))) {
        RefreshTemplates();
        const auto found =
            std::find_if(fTemplates.begin(), fTemplates.end(),
                         [&](const TTemplate& pT) { return pT.Extension == extension; });
        const QString shellNew = extension + QStringLiteral("\\ShellNew");
        if (found != fTemplates.end())
            derived.SetValue(pRoot, shellNew, QStringLiteral("FileName"), found->Path);
        else if (extension == QLatin1String(".txt"))
            derived.SetValue(pRoot, shellNew, QStringLiteral("NullFile"), QString());
    }
    const TFileType& type = FileType(extension);
    if (!type.MimeType.isEmpty()) {
        derived.SetValue(pRoot, extension, QString(), type.MimeType);
        derived.SetValue(pRoot, extension, QStringLiteral("Content Type"), type.MimeType);
        if (!type.Perceived.isEmpty())
            derived.SetValue(pRoot, extension, QStringLiteral("PerceivedType"), type.Perceived);
    }
    AddShellExtensions(derived, extension, type);
    return derived;
}

void TLinuxRegistry::DeriveClasses(TRegistryTree& pTree, const QString& pKey)
{
    if (!pKey.startsWith(QLatin1String("clsid")))
        return;
    const RegistryRoot root = RegistryRoot::ClassesRoot;
    for (const PreviewHandlerClass& entry : fPreviewClasses)
        pTree.SetValue(root, QStringLiteral("CLSID\\") + entry.Clsid.ToString(), QString(),
                       entry.Name);
    pTree.SetValue(root, QStringLiteral("CLSID\\") + previewids::CLSID_ThumbnailProvider.ToString(),
                   QString(), QStringLiteral("Thumbnail Provider"));
}

void TLinuxRegistry::AddShellExtensions(TRegistryTree& pTree, const QString& pKey,
                                        const TFileType& pType)
{
    const RegistryRoot root = RegistryRoot::ClassesRoot;
    const QString shellex = pKey + QStringLiteral("\\shellex\\");
    if (!pType.Previewer.IsNull())
        pTree.SetValue(root, shellex + previewids::IID_IPreviewHandler.ToString(), QString(),
                       pType.Previewer.ToString());
    if (pType.Thumbnails)
        pTree.SetValue(root, shellex + previewids::IID_IThumbnailProvider.ToString(), QString(),
                       previewids::CLSID_ThumbnailProvider.ToString());
}

const TLinuxRegistry::TFileType& TLinuxRegistry::FileType(const QString& pExtensionOrMime)
{
    const QString name = pExtensionOrMime.toLower();
    const auto now = std::chrono::steady_clock::now();
    if (fFileTypes.isEmpty() || now - fFileTypesSince > kFileTypeLifetime) {
        fFileTypes.clear();
        fFileTypesSince = now;
        fThumbnailers = ReadThumbnailers();
    }
    if (const auto found = fFileTypes.constFind(name); found != fFileTypes.constEnd())
        return *found;

    TFileType type;
    type.MimeType = name.startsWith(u'.') ? MimeTypeOfExtension(name.mid(1)) : name;
    if (!type.MimeType.isEmpty())
        type.Perceived = PerceivedTypeOf(type.MimeType);
    QMimeType mime;
    if (!type.MimeType.isEmpty()) {
        std::lock_guard lock(MimeDatabaseLock());
        mime = QMimeDatabase().mimeTypeForName(type.MimeType);
    }
    if (!mime.isValid() || mime.isDefault()) {
        // Not a type the database knows (or application/octet-stream): no handlers.
        if (!name.startsWith(u'.'))
            type = {};
        return *fFileTypes.insert(name, type);
    }
    type.MimeType = mime.name();
    QStringList names;
    {
        std::lock_guard lock(MimeDatabaseLock());
        names = mime.aliases();
        type.Thumbnails =
            ReadsPicturesInProcess(mime) || std::any_of(fThumbnailers.begin(), fThumbnailers.end(),
                                                        [&](const TThumbnailerEntry& pEntry) {
                                                            return ThumbnailerServes(pEntry, mime);
                                                        });
    }
    names.prepend(mime.name());
    const auto named = std::find_if(
        fPreviewClasses.begin(), fPreviewClasses.end(), [&](const PreviewHandlerClass& pC) {
            return std::any_of(names.begin(), names.end(),
                               [&](const QString& pName) { return pC.MimeTypes.contains(pName); });
        });
    const auto perceived = std::find_if(
        fPreviewClasses.begin(), fPreviewClasses.end(), [&](const PreviewHandlerClass& pC) {
            return !type.Perceived.isEmpty() && pC.PerceivedTypes.contains(type.Perceived);
        });
    if (named != fPreviewClasses.end())
        type.Previewer = named->Clsid;
    else if (perceived != fPreviewClasses.end())
        type.Previewer = perceived->Clsid;
    return *fFileTypes.insert(name, type);
}

void TLinuxRegistry::SetPreviewHandlerClasses(std::vector<PreviewHandlerClass> pClasses)
{
    std::lock_guard lock(fLock);
    fPreviewClasses = std::move(pClasses);
    fFileTypes.clear();
}

const TRegistryTree& TLinuxRegistry::RecentFiles()
{
    const QFileInfo info(DecodeFileName(TXdgDirs::Load().DataHome) +
                         QStringLiteral("/recently-used.xbel"));
    const TFileStamp stamp{info.absoluteFilePath(), info.lastModified(),
                           info.exists() ? info.size() : -1};
    if (fRecentStamp == stamp)
        return fRecent;
    fRecentStamp = stamp;
    fRecent.Clear();
    const RegistryRoot user = RegistryRoot::CurrentUser;
    fRecent.AddKey(user, kOpenSaveMruKey + QStringLiteral("\\*"));
    QHash<QString, int> counts;
    for (const TLink& link : ReadRecentlyUsed()) {
        IdListBytes list;
        // Built from the path alone: the list must not wait for files on slow or gone mounts.
        if (ParseAbsolutePath(link.Target, list, true, false) != S_OK)
            continue;
        const QByteArray bytes(reinterpret_cast<const char*>(list.data()),
                               static_cast<qsizetype>(list.size()));
        const QString name = DecodeFileName(link.Target).section(u'/', -1);
        const qsizetype dot = name.lastIndexOf(u'.');
        QStringList subKeys{QStringLiteral("*")};
        if (dot > 0 && dot + 1 < name.size())
            subKeys << name.mid(dot + 1).toLower();
        for (const QString& subKey : subKeys) {
            int& count = counts[subKey];
            if (count >= kMruEntries)
                continue;
            fRecent.SetValue(user, kOpenSaveMruKey + u'\\' + subKey, QString::number(count++),
                             bytes);
        }
    }
    return fRecent;
}

bool TLinuxRegistry::KeyExists(RegistryRoot pRoot, const QString& pKey)
{
    std::lock_guard lock(fLock);
    RefreshSettings();
    return fSettings.KeyExists(pRoot, pKey) || Derived(pRoot, pKey).KeyExists(pRoot, pKey);
}

RegValue TLinuxRegistry::GetValue(RegistryRoot pRoot, const QString& pKey, const QString& pName)
{
    std::lock_guard lock(fLock);
    RefreshSettings();
    RegValue value = fSettings.GetValue(pRoot, pKey, pName);
    if (std::holds_alternative<std::monostate>(value))
        value = Derived(pRoot, pKey).GetValue(pRoot, pKey, pName);
    return value;
}

QStringList TLinuxRegistry::ValueNames(RegistryRoot pRoot, const QString& pKey)
{
    std::lock_guard lock(fLock);
    RefreshSettings();
    QStringList names = fSettings.ValueNames(pRoot, pKey);
    AppendMissing(names, Derived(pRoot, pKey).ValueNames(pRoot, pKey));
    return names;
}

QStringList TLinuxRegistry::SubKeys(RegistryRoot pRoot, const QString& pKey)
{
    std::lock_guard lock(fLock);
    RefreshSettings();
    QStringList names = fSettings.SubKeys(pRoot, pKey);
    AppendMissing(names, Derived(pRoot, pKey).SubKeys(pRoot, pKey));
    return names;
}

ShellStateFlags TLinuxRegistry::ShellState()
{
    std::lock_guard lock(fLock);
    RefreshSettings();
    return fShellState;
}

} // namespace kiv::pf::lnx
