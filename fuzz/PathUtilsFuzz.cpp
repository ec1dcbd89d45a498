// Feeds arbitrary texts to the path operations in both styles. Beyond "no crash, no undefined
// behaviour, no exception but the documented one", it checks properties that must hold for any
// input: relative parts are gone after removing them, canonical POSIX paths have no delimiter
// runs, the long-path form reverts to what it was made from, and the PCRE2 tests for URLs and
// addresses agree with plain hand-written (or libc) readings of the same rules.
//
// Input: the first byte picks the style and the operands; the rest is the text, a 0 byte
// separating the base path from the relative path of Combine. Bytes below 0xF8 are the Latin-1
// characters of the same value (so a dictionary of ASCII tokens works); 0xF8..0xFF starts an
// escape whose next two bytes give any UTF-16 code unit, lone surrogates included.
#include "core/shell/KivExceptions.h"
#include "core/shell/PathUtils.h"

#include <arpa/inet.h>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

using kiv::TPathStyle;
using kiv::TPathUtils;

namespace {

void Fail(const char* pWhat, const QString& pInput, const QString& pResult)
{
    std::fprintf(stderr, "property broken: %s\n  input:  %s\n  result: %s\n", pWhat,
                 pInput.toUtf8().constData(), pResult.toUtf8().constData());
    std::abort();
}

class TFuzzEnvironment final : public kiv::IPathEnvironment
{
public:
    explicit TFuzzEnvironment(TPathStyle pStyle)
        : fStyle(pStyle)
    {
    }
    QString CurrentDir() const override
    {
        return fStyle == TPathStyle::psWindows ? QStringLiteral("C:\\work\\dir")
                                               : QStringLiteral("/home/u/work");
    }
    QString HomeDir() const override { return QStringLiteral("/home/u"); }
    QString VolumeRootOf(const QString&) const override { return QStringLiteral("/"); }
    std::optional<QString> LongPathName(const QString&) const override { return std::nullopt; }
    std::optional<std::uint32_t> FileAttributes(const QString& pPath) const override
    {
        return pPath.size() % 3 == 0 ? std::optional<std::uint32_t>(pPath.size()) : std::nullopt;
    }
    std::optional<std::uint32_t> FindFirstAttributes(const QString& pPath) const override
    {
        return FileAttributes(pPath);
    }
    QString MyComputerName() const override { return QStringLiteral("This PC"); }

private:
    TPathStyle fStyle;
};

QString Decode(const std::uint8_t* pData, std::size_t pSize, std::size_t& pPos)
{
    QString text;
    while (pPos < pSize) {
        const std::uint8_t byte = pData[pPos++];
        if (byte == 0)
            break;
        if (byte < 0xF8) {
            text += QChar(char16_t(byte));
        } else if (pPos + 1 < pSize) {
            text += QChar(char16_t((pData[pPos] << 8) | pData[pPos + 1]));
            pPos += 2;
        }
    }
    return text;
}

bool HasRelativeElement(const QString& pPath, QChar pDelimiter)
{
    for (const QString& element : pPath.split(pDelimiter)) {
        if (element == u"." || element == u"..")
            return true;
    }
    return false;
}

bool IsAsciiAlnum(QChar pChar)
{
    const char16_t c = pChar.unicode();
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

// The URL rule read by hand.
bool ExpectUrl(const QString& pPath)
{
    if (pPath.size() < 4 || pPath[1] == u':' || pPath[1] == u'\\')
        return false;
    if (pPath.startsWith(u"file:\\\\", Qt::CaseInsensitive))
        return true;
    qsizetype scheme = 0;
    while (scheme < pPath.size() && IsAsciiAlnum(pPath[scheme]))
        ++scheme;
    if (scheme < 2 || scheme + 1 >= pPath.size() || pPath[scheme] != u':')
        return false;
    return !QStringView(u"\\{}|^~[]`<>#%\"").contains(pPath[scheme + 1]);
}

// Four dot-separated numbers of one to three ASCII digits, each at most 255.
bool ExpectIPv4(const QString& pAddress)
{
    const QStringList parts = pAddress.split(u'.');
    if (parts.size() != 4)
        return false;
    for (const QString& part : parts) {
        if (part.isEmpty() || part.size() > 3)
            return false;
        int value = 0;
        for (QChar c : part) {
            if (c < u'0' || c > u'9')
                return false;
            value = value * 10 + (c.unicode() - u'0');
        }
        if (value > 255)
            return false;
    }
    return true;
}

void CheckTests(const QString& pText)
{
    if (TPathUtils::IsURL(pText) != ExpectUrl(pText))
        Fail("IsURL disagrees with the rule", pText, QString::number(TPathUtils::IsURL(pText)));
    if (TPathUtils::IsValidIPv4(pText) != ExpectIPv4(pText))
        Fail("IsValidIPv4 disagrees with the rule", pText, {});
    // Plain hexadecimal forms (no embedded IPv4, zone or blanks) read the same as libc reads them.
    bool plain = !pText.isEmpty();
    for (QChar c : pText)
        plain = plain && (IsAsciiAlnum(c) || c == u':');
    if (plain) {
        unsigned char address[16];
        const bool libc = inet_pton(AF_INET6, pText.toLatin1().constData(), address) == 1;
        if (TPathUtils::IsValidIPv6(pText) != libc)
            Fail("IsValidIPv6 disagrees with inet_pton", pText, {});
    }
}

void CheckWindows(const QString& pText, const QString& pRelative)
{
    const TPathStyle w = TPathStyle::psWindows;
    const QString removed = TPathUtils::RemoveRelativeParts(pText, u'\\', w);
    if (HasRelativeElement(removed, u'\\'))
        Fail("relative element left (windows)", pText, removed);
    const QString canonicalised = TPathUtils::RemoveRelativeParts(pText, w);
    if (HasRelativeElement(canonicalised, u'\\'))
        Fail("relative element left (windows, short)", pText, canonicalised);

    const QString canonic = TPathUtils::MakeCanonic(pText, w);
    if (!TPathUtils::IsURL(pText) && canonic.indexOf(u"\\\\", 1) >= 0)
        Fail("backslash run in canonical form", pText, canonic);

    const bool driveRooted =
        pText.size() > 2 && TPathUtils::StartsWithDriveLetter(pText, w) && pText[2] == u'\\';
    const bool unc = pText.size() > 2 && pText.startsWith(u"\\\\") && pText[2] != u'?';
    if (driveRooted || unc) {
        const QString longForm = TPathUtils::GetUnicodeAPICallPath(pText, true, true, w);
        if (!TPathUtils::IsUnicodeAPICallPath(longForm, w) ||
            TPathUtils::RevertUnicodeAPICallPath(longForm, w) != pText)
            Fail("long form does not revert", pText, longForm);
    }
    try {
        TPathUtils::Combine(pText, pRelative, w);
    } catch (const kiv::EInvalidArgument&) {
        if (!pText.isEmpty() || !pRelative.isEmpty())
            Fail("Combine raised for a non-empty operand", pText, pRelative);
    }
    TPathUtils::IsReparsePoint(pText, w);
    TPathUtils::IsRooted(pText, w);
    TPathUtils::ExcludeTrailingPathDelimiter(pText, w);
    TPathUtils::GetSpecialFolderRoot(pText, w);
    for (qsizetype i = 0; i <= pText.size() + 1; ++i)
        TPathUtils::IsPathDelimiter(pText, i, w);
}

void CheckPosix(const QString& pText, const QString& pRelative)
{
    const TPathStyle p = TPathStyle::psPosix;
    const QString removed = TPathUtils::RemoveRelativeParts(pText, p);
    if (HasRelativeElement(removed, u'/'))
        Fail("relative element left (posix)", pText, removed);
    if (pText.startsWith(u'/') && !removed.startsWith(u'/'))
        Fail("absolute path lost its root", pText, removed);

    const QString canonic = TPathUtils::MakeCanonic(pText, p);
    if (!TPathUtils::IsURL(pText) && canonic.contains(u"//"))
        Fail("slash run in canonical form", pText, canonic);
    if (canonic.startsWith(u'/') && HasRelativeElement(canonic, u'/'))
        Fail("relative element in canonical form", pText, canonic);

    if (!pText.isEmpty() && TPathUtils::ExcludeTrailingPathDelimiter(pText, p).isEmpty())
        Fail("path stripped to nothing", pText, {});
    if (TPathUtils::GetUnicodeAPICallPath(pText, false, true, p) != pText)
        Fail("POSIX has no long form", pText, {});
    try {
        const QString joined = TPathUtils::Combine(pText, pRelative, p);
        if (pText.startsWith(u'/') && !TPathUtils::IsRooted(pRelative, p) &&
            HasRelativeElement(joined, u'/'))
            Fail("relative element left after joining", pText + u'|' + pRelative, joined);
    } catch (const kiv::EInvalidArgument&) {
        if (!pText.isEmpty() || !pRelative.isEmpty())
            Fail("Combine raised for a non-empty operand", pText, pRelative);
    }
    TPathUtils::IsReparsePoint(pText, p);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t pSize)
{
    if (pSize < 1)
        return 0;
    const bool windows = (pData[0] & 1) != 0;
    static const auto kWindows = std::make_shared<TFuzzEnvironment>(TPathStyle::psWindows);
    static const auto kPosix = std::make_shared<TFuzzEnvironment>(TPathStyle::psPosix);
    TPathUtils::InstallEnvironment(windows ? kWindows : kPosix);

    std::size_t pos = 1;
    const QString text = Decode(pData, pSize, pos);
    const QString relative = Decode(pData, pSize, pos);
    CheckTests(text);
    if (windows)
        CheckWindows(text, relative);
    else
        CheckPosix(text, relative);
    return 0;
}
