#include "core/shell/ShellControlHelper.h"

#include "core/platform/IClipboard.h"
#include "core/platform/IIcons.h"
#include "core/platform/IPlatform.h"
#include "core/platform/PropertySystem.h"
#include "core/shell/ClipboardFiles.h"
#include "core/shell/ItemIdListCollection.h"
#include "core/shell/ItemIdListHelper.h"
#include "core/shell/ItemsDataObject.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"
#include "core/shell/KivSystemImageList.h"
#include "core/shell/ScreenScale.h"
#include "core/shell/ShellColumns.h"

#include <QDateTime>
#include <QHash>

#include <mutex>

namespace kiv {

namespace {

using pf::RegistryRoot;

const QString kAdvanced =
    QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced\\");
const QString kLibrariesPin = QStringLiteral("Software\\Classes\\CLSID\\{031E4825-7B94-4dc3-B131-"
                                             "E946B44C8DD5}\\System.IsPinnedToNameSpaceTree");
const QString kOneDrive = QStringLiteral("{018D5C66-4533-4307-9B53-224DE2ED1FE6}");

// SHAutoComplete flags.
constexpr std::uint32_t SHACF_FILESYSTEM = 0x1;
constexpr std::uint32_t SHACF_URLALL = 0x2 | 0x4;
constexpr std::uint32_t SHACF_USETAB = 0x8;
constexpr std::uint32_t SHACF_FILESYS_DIRS = 0x20;
constexpr std::uint32_t SHACF_VIRTUAL_NAMESPACE = 0x40;
constexpr std::uint32_t SHACF_AUTOSUGGEST_FORCE_OFF = 0x20000000;
constexpr std::uint32_t SHACF_AUTOAPPEND_FORCE_OFF = 0x80000000;

std::mutex& SettingsLock()
{
    static std::mutex lock;
    return lock;
}

TExplorerSettingsPtr& SettingsSlot() // guarded by SettingsLock()
{
    static TExplorerSettingsPtr settings;
    return settings;
}

TExplorerSettingsPtr CurrentSettings()
{
    std::lock_guard lock(SettingsLock());
    if (!SettingsSlot()) {
        static const TExplorerSettingsPtr defaults = std::make_shared<const TExplorerSettings>();
        return defaults;
    }
    return SettingsSlot();
}

// A missing value never equals 1.
bool Equals(const QVariant& pValue, qint64 pNumber)
{
    if (!pValue.isValid())
        return false;
    bool ok = false;
    const qint64 number = pValue.toLongLong(&ok);
    return ok && number == pNumber;
}

pf::ShellStateFlags ShellState()
{
    if (!pf::HasPlatform())
        return {};
    return pf::Platform().Registry().ShellState();
}

// The name without the extension (".bashrc" and "name" stay as they are).
QString WithoutExtension(const QString& pName)
{
    const QString extension = TShellControlHelper::ExtractExtension(pName);
    return extension.isEmpty() ? pName : pName.left(pName.size() - extension.size());
}

bool IsPlainFolder(const IItemIdListPtr& pList)
{
    return pList->IsFolder() && !TItemIdListHelper::IsFileAndFolder(pList);
}

bool IsDateColumn(const TShellColumnId& pId)
{
    using C = TShellColumns;
    return C::IsEqualShellColumnId(pId, C::WriteTime()) ||
           C::IsEqualShellColumnId(pId, C::CreateTime()) ||
           C::IsEqualShellColumnId(pId, C::AccessTime()) ||
           C::IsEqualShellColumnId(pId, C::ItemDate());
}

} // namespace

bool TExplorerSettings::ShellShowAllFolders() const
{
    return Equals(
        TShellControlHelper::GetRegistryValue(kAdvanced + QStringLiteral("NavPaneShowAllFolders"),
                                              RegistryRoot::CurrentUser),
        1);
}

void TShellControlHelper::SetExplorerSettings(TExplorerSettingsPtr pExplorerSettings)
{
    std::lock_guard lock(SettingsLock());
    SettingsSlot() = std::move(pExplorerSettings);
}

bool TShellControlHelper::ShellShowAllFolders()
{
    return CurrentSettings()->ShellShowAllFolders();
}

bool TShellControlHelper::ShellShowInfoTip()
{
    return ShellState().ShowInfoTip;
}

bool TShellControlHelper::ShellSingleClickActivate()
{
    return !ShellState().DoubleClickInWebView;
}

bool TShellControlHelper::ShellShowExtensions()
{
    return ShellState().ShowExtensions;
}

bool TShellControlHelper::ShellShowLibraries()
{
    return VarNotNull(GetRegistryValue(kLibrariesPin, RegistryRoot::CurrentUser));
}

bool TShellControlHelper::ShellShowOneDrive()
{
    return ShellShowNamespace(kOneDrive);
}

bool TShellControlHelper::ShellShowFavorites()
{
    return !Equals(
        GetRegistryValue(
            QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\HubMode"),
            RegistryRoot::LocalMachine),
        1);
}

bool TShellControlHelper::ShellExpandToCurrentFolder()
{
    return Equals(GetRegistryValue(kAdvanced + QStringLiteral("NavPaneExpandToCurrentFolder"),
                                   RegistryRoot::CurrentUser),
                  1);
}

bool TShellControlHelper::ShellShowNamespace(const QString& pFolderClassGuid)
{
    const QVariant pinned =
        GetRegistryValue(QStringLiteral("SOFTWARE\\Classes\\CLSID\\") + pFolderClassGuid +
                             QStringLiteral("\\System.IsPinnedToNameSpaceTree"),
                         RegistryRoot::CurrentUser);
    const QVariant hidden = GetRegistryValue(
        QStringLiteral("Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\NonEnum\\") +
            pFolderClassGuid,
        RegistryRoot::CurrentUser);
    return Equals(pinned, 1) && !Equals(hidden, 1);
}

QVariant TShellControlHelper::GetRegistryValue(const QString& pRegistryPath,
                                               pf::RegistryRoot pRootKey)
{
    if (!pf::HasPlatform())
        return {};
    const qsizetype split = pRegistryPath.lastIndexOf(u'\\');
    const QString key = split < 0 ? QString() : pRegistryPath.left(split);
    const QString name = split < 0 ? pRegistryPath : pRegistryPath.mid(split + 1);
    const pf::RegValue value = pf::Platform().Registry().GetValue(pRootKey, key, name);
    if (const auto* text = std::get_if<QString>(&value))
        return *text;
    if (const auto* number = std::get_if<std::int64_t>(&value))
        return QVariant(static_cast<qlonglong>(*number));
    return {};
}

QString TShellControlHelper::ExtractExtension(const QString& pName)
{
    const qsizetype dot = pName.lastIndexOf(u'.');
    // A leading dot marks a hidden file, not an extension; "name." has none either.
    if (dot <= 0 || dot == pName.size() - 1)
        return {};
    return pName.mid(dot);
}

bool TShellControlHelper::IsKnownFileType(const QString& pExtension)
{
    if (pExtension.size() < 2 || !pf::HasPlatform())
        return false;
    // Lists ask for every item they name: the answers are kept per extension for as long as the
    // platform stays (types are learnt when the program starts, as the icons are).
    static std::mutex lock;
    static QHash<QString, bool> known;   // guarded by lock
    static std::uint64_t generation = 0; // guarded by lock
    const QString key = pExtension.toLower();
    {
        std::lock_guard guard(lock);
        if (generation != pf::PlatformGeneration()) {
            known.clear();
            generation = pf::PlatformGeneration();
        }
        if (const auto found = known.constFind(key); found != known.constEnd())
            return *found;
    }
    // Asked outside the lock: the registry may read the disk.
    const pf::RegValue type =
        pf::Platform().Registry().GetValue(RegistryRoot::ClassesRoot, key, QString());
    const auto* text = std::get_if<QString>(&type);
    const bool isKnown = text && !text->isEmpty();
    std::lock_guard guard(lock);
    known.insert(key, isKnown);
    return isKnown;
}

QString TShellControlHelper::GetDisplayName(const IItemIdListPtr& pItemIdList,
                                            TKivFileNameFormat pFileNameFormat, bool pShellNames)
{
    if (!pShellNames) {
        if (!pItemIdList)
            return {};
        const QString name = pItemIdList->Name();
        return name.isEmpty() ? pItemIdList->DisplayName(TItemIdListDisplayNameFormat::dnfInFolder)
                              : name;
    }
    if (TItemIdListHelper::IsNullOrInvalid(pItemIdList))
        throw EInvalidArgument(QStringLiteral("pItemIdList is nil or invalid"));
    if (pFileNameFormat == TKivFileNameFormat::Auto) {
        const QString name = pItemIdList->DisplayName(TItemIdListDisplayNameFormat::dnfInFolder);
        // The namespace here never hides extensions itself: the user's setting is applied here,
        // to known types only, so that a file nobody can open by type keeps its full name.
        if (ShellShowExtensions() || IsPlainFolder(pItemIdList) ||
            !IsKnownFileType(ExtractExtension(name)))
            return name;
        return WithoutExtension(name);
    }
    if (IsPlainFolder(pItemIdList))
        return pItemIdList->DisplayName(TItemIdListDisplayNameFormat::dnfInFolder);
    const QString name =
        pItemIdList->DisplayName(TItemIdListDisplayNameFormat::dnfRelativeForAddressBar);
    return pFileNameFormat == TKivFileNameFormat::ExcludeExtensions ? WithoutExtension(name) : name;
}

bool TShellControlHelper::ControlShowsExtensions(TKivFileNameFormat pFileNameFormat)
{
    switch (pFileNameFormat) {
    case TKivFileNameFormat::IncludeExtensions:
        return true;
    case TKivFileNameFormat::ExcludeExtensions:
        return false;
    case TKivFileNameFormat::Auto:
        break;
    }
    return ShellShowExtensions();
}

bool TShellControlHelper::ControlShowsExtensions(const IKivFileNameFormatControl* pControl)
{
    return ControlShowsExtensions(pControl ? pControl->FileNameFormat() : TKivFileNameFormat::Auto);
}

QString TShellControlHelper::PrepareForRename(const QString& pOldName, const QString& pNewName,
                                              const IKivFileNameFormatControl* pControl)
{
    return PrepareForRename(pOldName, pNewName,
                            pControl ? pControl->FileNameFormat() : TKivFileNameFormat::Auto);
}

QString TShellControlHelper::PrepareForRename(const QString& pOldName, const QString& pNewName,
                                              TKivFileNameFormat pFileNameFormat)
{
    QString name = pNewName;
    const QString oldExtension = ExtractExtension(pOldName);
    // Auto hides only the extensions of known types: one the user saw and deleted stays deleted.
    const bool hidden =
        !oldExtension.isEmpty() && !ControlShowsExtensions(pFileNameFormat) &&
        (pFileNameFormat != TKivFileNameFormat::Auto || IsKnownFileType(oldExtension));
    if (hidden && ExtractExtension(name).isEmpty())
        name += oldExtension;
    if (oldExtension.compare(QLatin1String(".lnk"), Qt::CaseInsensitive) == 0 &&
        ExtractExtension(name).compare(QLatin1String(".lnk"), Qt::CaseInsensitive) != 0)
        name += oldExtension;
    return name;
}

int TShellControlHelper::ScaledPixels(int pPixels)
{
    return TScreenScale::ScaledPixels(pPixels);
}

std::uint32_t TShellControlHelper::AutoCompleteFlags(TKivShellAutoCompleteOptions pOptions)
{
    using O = TKivShellAutoCompleteOption;
    if (pOptions.IsEmpty())
        return SHACF_FILESYSTEM | SHACF_URLALL | SHACF_VIRTUAL_NAMESPACE |
               SHACF_AUTOSUGGEST_FORCE_OFF | SHACF_AUTOAPPEND_FORCE_OFF;
    std::uint32_t flags = SHACF_USETAB;
    if (pOptions.Contains(O::acoFileSystem))
        flags |= SHACF_FILESYSTEM;
    if (pOptions.Contains(O::acoFolderOnly))
        flags |= SHACF_FILESYS_DIRS;
    if (pOptions.Contains(O::acoURL))
        flags |= SHACF_URLALL;
    if (pOptions.Contains(O::acoVirtualNameSpace))
        flags |= SHACF_VIRTUAL_NAMESPACE;
    return flags;
}

QStringList TShellControlHelper::GetFilenamesFromClipboard()
{
    pf::IDataObjectPtr data;
    if (!pf::HasPlatform() || pf::Failed(pf::Platform().Clipboard().GetDataObject(data)) || !data)
        return {};
    QByteArray bytes;
    if (pf::Failed(data->GetData(pf::ClipFormat::HDrop, bytes)))
        return {};
    return TClipboardFiles::ParseDropFiles(bytes);
}

pf::IDataObjectPtr TShellControlHelper::GetDataObjectForMultiFiles(const QStringList& pFiles)
{
    try {
        std::vector<IItemIdListPtr> items;
        items.reserve(static_cast<std::size_t>(pFiles.size()));
        for (const QString& file : pFiles) {
            IItemIdListPtr item = TKivItemIdList::Create(file);
            if (TItemIdListHelper::IsNullOrInvalid(item))
                return nullptr;
            items.push_back(std::move(item));
        }
        return CreateItemsDataObject(items);
    } catch (const std::exception&) {
        return nullptr;
    }
}

void TShellControlHelper::CreateDragHelper(const pf::IDataObjectPtr&) {}

int TShellControlHelper::AssociateIconWithExtension(const QString& pFileExtension,
                                                    const QString& pIconFile, int pIconIndex)
{
    if (pFileExtension.isEmpty() || !pf::HasPlatform())
        return -1;
    const QString extension =
        pFileExtension.startsWith(u'.') ? pFileExtension : u'.' + pFileExtension;
    pf::IIcons& icons = pf::Platform().Icons();
    if (pf::Failed(icons.SetExtensionIcon(extension, pIconFile, pIconIndex)))
        return -1;
    icons.Reinitialize();
    // The caches answer with the old icon otherwise: the new association would show only after
    // a restart.
    TKivSystemImageList::ClearCaches();
    return TKivSystemImageList::GetIndexFromExtension(extension, TKivImageListSize::si_Small,
                                                      false);
}

QString TShellControlHelper::VariantToString(const QVariant& pValue, const TShellColumnId& pId)
{
    if (!pValue.isValid() || pValue.isNull())
        return {};
    if (pValue.typeId() == QMetaType::QDateTime || IsDateColumn(pId)) {
        const QDateTime time = pValue.toDateTime();
        return time.isValid() ? pf::FormatDateTime(time) : QString();
    }
    pf::PropVariant value;
    if (!pf::VariantToPropVariant(pValue, value))
        return {};
    return pf::PropertySystem::FormatForDisplay(TShellColumns::ToPropertyKey(pId), value);
}

QString TShellControlHelper::AttributesToString(qint64 pAttributes)
{
    if (pAttributes == -1)
        return {};
    return pf::FileAttributesText(static_cast<std::uint32_t>(pAttributes));
}

bool TShellControlHelper::VarNotNull(const QVariant& pValue)
{
    if (!pValue.isValid() || pValue.isNull())
        return false;
    if (pValue.typeId() == QMetaType::QString)
        return !pValue.toString().isEmpty();
    bool numeric = false;
    const double number = pValue.toDouble(&numeric);
    if (numeric && pValue.typeId() != QMetaType::QString)
        return number != 0;
    return true;
}

// ---- commands -------------------------------------------------------------------------------

bool TShellControlHelper::DoBeforeShellCommand(const TBeforeCommandFunc& pBeforeCommand,
                                               const TShellCommand& pCommand,
                                               TCommandSource pSource,
                                               const IItemIdListCollectionPtr& pItems)
{
    if (!pBeforeCommand)
        return true;
    TBeforeCommandEventArgs args;
    args.Command = pCommand;
    args.Items = pItems;
    args.CommandSource = pSource;
    // The application sees where the items are, not names relative to a folder it never saw.
    if (const auto* collection = dynamic_cast<const TItemIdListCollection*>(pItems.get());
        collection && collection->Count() > 0 && collection->BaseFolder() &&
        collection->IsRelative(collection->Items().front()))
        args.Items = collection->WithAbsoluteItems();
    pBeforeCommand(args);
    return !args.Cancel;
}

bool TShellControlHelper::DoBeforeShellCommand(const TBeforeCommandFunc& pBeforeCommand,
                                               const QString& pVerb, TCommandSource pSource,
                                               const IItemIdListCollectionPtr& pItems)
{
    return DoBeforeShellCommand(pBeforeCommand, TShellCommand(pVerb), pSource, pItems);
}

bool TShellControlHelper::DoBeforeShellCommand(const TBeforeCommandFunc& pBeforeCommand,
                                               const TShellCommand& pCommand,
                                               TCommandSource pSource, const IItemIdListPtr& pItem)
{
    const std::shared_ptr<TItemIdListCollection> one = TItemIdListCollection::Create();
    if (pItem)
        one->Add(pItem);
    return DoBeforeShellCommand(pBeforeCommand, pCommand, pSource, one);
}

} // namespace kiv
