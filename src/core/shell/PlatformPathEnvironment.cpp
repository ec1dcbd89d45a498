#include "core/shell/PlatformPathEnvironment.h"

#include "core/platform/FindData.h"
#include "core/platform/IFileSystem.h"
#include "core/platform/IKnownFolders.h"
#include "core/platform/INamespace.h"
#include "core/platform/IPlatform.h"
#include "core/platform/KnownFolderIds.h"
#include "core/platform/ShellConstants.h"

namespace kiv {

using pf::Failed;

QString TPlatformPathEnvironment::CurrentDir() const
{
    return pf::Platform().FileSystem().GetCurrentDirectory();
}

QString TPlatformPathEnvironment::HomeDir() const
{
    const QString variable = QStringLiteral("%HOME%");
    const QString home = pf::Platform().FileSystem().ExpandEnvironmentStrings(variable);
    return home == variable ? QString() : home;
}

QString TPlatformPathEnvironment::VolumeRootOf(const QString& pPath) const
{
    // From the mount table: a dead network mount is never touched.
    const QString root = pf::Platform().FileSystem().MountOf(pPath).MountPath;
    return root.isEmpty() ? QStringLiteral("/") : root;
}

std::optional<QString> TPlatformPathEnvironment::LongPathName(const QString& pPath) const
{
    return pPath;
}

std::optional<std::uint32_t> TPlatformPathEnvironment::FileAttributes(const QString& pPath) const
{
    const std::uint32_t attributes = pf::Platform().FileSystem().GetFileAttributes(pPath);
    if (attributes == pf::fileattr::INVALID)
        return std::nullopt;
    return attributes;
}

std::optional<std::uint32_t>
TPlatformPathEnvironment::FindFirstAttributes(const QString& pPath) const
{
    pf::FindData data;
    if (Failed(pf::Platform().FileSystem().GetFindData(pPath, data)))
        return std::nullopt;
    return data.Attributes;
}

QString TPlatformPathEnvironment::MyComputerName() const
{
    pf::IPlatform& platform = pf::Platform();
    pf::IdListBytes list;
    if (Failed(platform.KnownFolders().GetIdList(
            pf::KnownFolderKey{17, pf::folderid::ComputerFolder}, list)))
        return {};
    pf::IShellFolderPtr parent;
    pf::IdListBytes last;
    if (Failed(platform.Namespace().BindToParent(pf::IdSpan(list), parent, last)) || !parent)
        return {};
    QString name;
    if (Failed(parent->GetDisplayNameOf(pf::IdSpan(last), pf::shgdn::INFOLDER, name)))
        return {};
    return name;
}

void InstallPlatformPathEnvironment()
{
    TPathUtils::InstallEnvironment(std::make_shared<TPlatformPathEnvironment>());
}

} // namespace kiv
