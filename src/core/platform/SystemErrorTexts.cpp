#include "SystemErrorTexts.h"

#include "HResult.h"

namespace kiv::pf {
namespace {

struct TErrorText
{
    std::uint32_t Code;
    const char* Text;
};

// Sorted by code; the system errors first, then the results that are not system errors.
constexpr TErrorText kSystemErrors[] = {
    {2, "The system cannot find the file specified."},
    {3, "The system cannot find the path specified."},
    {5, "Access is denied."},
    {8, "Not enough memory resources are available to process this command."},
    {14, "Not enough memory resources are available to complete this operation."},
    {17, "The system cannot move the file to a different disk drive."},
    {19, "The media is write protected."},
    {21, "The device is not ready."},
    {32, "The process cannot access the file because it is being used by another process."},
    {50, "The request is not supported."},
    {53, "The network path was not found."},
    {80, "The file exists."},
    {82, "The directory or file cannot be created."},
    {87, "The parameter is incorrect."},
    {112, "There is not enough space on the disk."},
    {123, "The filename, directory name, or volume label syntax is incorrect."},
    {145, "The directory is not empty."},
    {170, "The requested resource is in use."},
    {183, "Cannot create a file when that file already exists."},
    {206, "The filename or extension is too long."},
    {1013, "The configuration registry key could not be written."},
    {1117, "The request could not be performed because of an I/O device error."},
    {1223, "The operation was canceled by the user."},
    {1326, "The user name or password is incorrect."},
    {1392, "The file or directory is corrupted and unreadable."},
    {1920, "The file cannot be accessed by the system."},
};

constexpr TErrorText kResults[] = {
    {0x80004001u, "Not implemented"},
    {0x80004002u, "No such interface supported"},
    {0x80004005u, "Unspecified error"},
    {0x8000000Au, "The data necessary to complete this operation is not yet available."},
    {0x8000FFFFu, "Catastrophic failure"},
    {0x80030005u, "Access Denied."},
    {0x80030050u, "The file already exists."},
    {0x80040101u, "Drag-drop registration already exists."},
    {0x8004B205u, "The extraction is pending."},
};

const char* Find(const TErrorText* pBegin, const TErrorText* pEnd, std::uint32_t pCode)
{
    for (const TErrorText* entry = pBegin; entry != pEnd; ++entry) {
        if (entry->Code == pCode)
            return entry->Text;
    }
    return nullptr;
}

} // namespace

QString SystemErrorText(std::uint32_t pCodeOrResult)
{
    std::uint32_t code = pCodeOrResult;
    // A result built from a system error reads as that error.
    if ((code & 0xFFFF0000u) == 0x80070000u)
        code = HResultCode(static_cast<HResult>(code));
    const char* text = code <= 0xFFFFu
                           ? Find(std::begin(kSystemErrors), std::end(kSystemErrors), code)
                           : Find(std::begin(kResults), std::end(kResults), code);
    if (text)
        return QString::fromLatin1(text);
    return QStringLiteral("Unknown error 0x") +
           QString::number(pCodeOrResult, 16).rightJustified(8, u'0').toUpper();
}

} // namespace kiv::pf
