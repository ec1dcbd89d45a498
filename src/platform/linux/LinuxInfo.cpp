#include "LinuxInfo.h"

#include "Handles.h"
#include "SmallFile.h"
#include "core/platform/FileNames.h"
#include "core/platform/SystemErrorTexts.h"

#include <QLocale>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

namespace kiv::pf::lnx {
namespace {

struct TString
{
    StringModule Module;
    int Id;
    const char* Text;
};

// The numbered texts the family asks for, in English. 4161 and 32012 name desktop items that
// only exist elsewhere; they hold a "/" so that no item name here can ever match them.
constexpr TString kStrings[] = {
    {StringModule::Shell32, 4161, "/4161"},
    {StringModule::Shell32, 4249, "More..."},
    {StringModule::Shell32, 5268, "Refresh"},
    {StringModule::Shell32, 6437, "The folder could not be created."},
    {StringModule::Shell32, 8977, "In Folder"},
    {StringModule::Shell32, 13122, "Search %s"},
    {StringModule::Shell32, 13333, "No items match your search."},
    {StringModule::Shell32, 30315, "New"},
    {StringModule::Shell32, 30317, "New folder"},
    {StringModule::Shell32, 30318, "Shortcut"},
    {StringModule::Shell32, 30320, "New folder"},
    {StringModule::Shell32, 30396, "New folder"},
    {StringModule::Shell32, 32012, "/32012"},
    {StringModule::Shell32, 33187, "Cancel"},
    {StringModule::Shell32, 33225, "OK"},
    {StringModule::Shell32, 33555, "Properties"},
    {StringModule::Shell32, 33562, "Paste"},
    {StringModule::Shell32, 31138, "Content"},
    {StringModule::Shell32, 33577, "Thumbnails"},
    {StringModule::Shell32, 33578, "Extra large icons"},
    {StringModule::Shell32, 33579, "List"},
    {StringModule::Shell32, 33580, "Details"},
    {StringModule::Shell32, 33585, "View"},
    {StringModule::Shell32, 37576, "Choose details"},
    {StringModule::Shell32, 38245, "Select a file to preview."},
    {StringModule::Shell32, 38246, "No preview available."},
    {StringModule::Shell32, 38249, "This file can't be previewed."},
    {StringModule::Shell32, 49856, "Back to %s"},
    {StringModule::Shell32, 49857, "Forward to %s"},
    {StringModule::Shell32, 50690, "Sort by:"},
    {StringModule::Shell32, 51248, "Address bar"},
    {StringModule::ExplorerFrame, 12624, "|||Refresh"},
    {StringModule::ExplorerFrame, 12662, "Refresh %s"},
    {StringModule::ExplorerFrame, 14337, "Recent locations"},
    {StringModule::ExplorerFrame, 14342, "Up to %s"},
    {StringModule::ExplorerFrame, 41480, "Working on it..."},
};

} // namespace

bool TLinuxInfo::LoadString(StringModule pModule, int pId, QString& pText)
{
    for (const TString& entry : kStrings) {
        if (entry.Module == pModule && entry.Id == pId) {
            pText = QString::fromUtf8(entry.Text);
            return true;
        }
    }
    return false;
}

QString TLinuxInfo::SystemErrorText(std::uint32_t pCodeOrResult)
{
    return pf::SystemErrorText(pCodeOrResult);
}

QString TLinuxInfo::ExecutablePath()
{
    std::array<char, 4097> buffer{};
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0)
        return QString();
    return DecodeFileName(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
}

bool TLinuxInfo::IsDebuggerPresent()
{
    const std::string status = ReadSmallFile("/proc/self/status");
    const std::size_t pos = status.find("TracerPid:");
    if (pos == std::string::npos)
        return false;
    return std::strtol(status.c_str() + pos + 10, nullptr, 10) != 0;
}

LocaleInfo TLinuxInfo::Locale()
{
    const QLocale locale = QLocale::system();
    LocaleInfo info;
    info.DecimalSeparator = locale.decimalPoint();
    info.GroupSeparator = locale.groupSeparator();
    const QLocale::Language language = locale.language();
    info.IsEastAsian = language == QLocale::Japanese || language == QLocale::Chinese ||
                       language == QLocale::Korean;
    return info;
}

void TLinuxDebug::Write(const QString& pLine)
{
    static const bool enabled = std::getenv("TOVALINE_DEBUG") != nullptr;
    if (!enabled)
        return;
    // One write per line, so lines of different threads do not interleave.
    const QByteArray line = pLine.toUtf8() + '\n';
    [[maybe_unused]] const ssize_t written =
        ::write(STDERR_FILENO, line.constData(), static_cast<std::size_t>(line.size()));
}

} // namespace kiv::pf::lnx
