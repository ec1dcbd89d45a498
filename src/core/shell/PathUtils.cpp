#include "PathUtils.h"

#include "core/shell/KivExceptions.h"
#include "core/shell/Pcre.h"

#include <QStringView>
#include <QVarLengthArray>

#include <algorithm>
#include <atomic>

namespace kiv {
namespace {

// MAX_PATH: below it the Windows style joins and canonicalises as the platform's own path
// functions do; from it on the texts are handled element by element.
constexpr qsizetype kMaxPath = 260;
// Longer paths switch to the long-path form: 247 leaves room for a 12-character 8.3 file name
// below MAX_PATH, the limit the platform applies to folder paths.
constexpr qsizetype kMaxShortFolderPath = 247;

constexpr QStringView kLongPathPrefix = u"\\\\?\\";

// Texts and views glued into one string, allocated once.
template <typename... TParts> QString Cat(const TParts&... pParts)
{
    QString result;
    ((result += pParts), ...);
    return result;
}

bool IsWindowsDelimiter(QChar pChar)
{
    return pChar == u'\\' || pChar == u'/';
}

bool IsStyleDelimiter(QChar pChar, TPathStyle pStyle)
{
    return pStyle == TPathStyle::psWindows ? IsWindowsDelimiter(pChar) : pChar == u'/';
}

bool IsDriveLetterText(QStringView pPath)
{
    if (pPath.size() < 2 || pPath[1] != u':')
        return false;
    const char16_t letter = pPath[0].toUpper().unicode();
    return letter >= u'A' && letter <= u'Z';
}

// Builds a path element by element, able to take back the last element for a "..": the kept
// elements are copied once into a buffer of the input's size (a result never grows beyond it),
// and only their start offsets are remembered. Appending QChar by QChar to a QString costs
// several times more than the whole walk.
class TElementWriter
{
public:
    TElementWriter(QStringView pPrefix, qsizetype pCapacity, QChar pDelimiter)
        : fText(std::max(pCapacity, pPrefix.size()), Qt::Uninitialized)
        , fBase(pPrefix.size())
        , fLength(0)
        , fDelimiter(pDelimiter)
    {
        Write(pPrefix);
    }

    bool IsEmpty() const { return fStarts.isEmpty(); }
    qsizetype Count() const { return fStarts.size(); }
    QStringView Last() const
    {
        return QStringView(fText).mid(fStarts.back(), fLength - fStarts.back());
    }

    void Push(QStringView pElement)
    {
        if (!fStarts.isEmpty())
            Write(QStringView(&fDelimiter, 1));
        fStarts.append(fLength);
        Write(pElement);
    }
    void Pop()
    {
        fLength = fStarts.size() == 1 ? fBase : fStarts.back() - 1;
        fStarts.removeLast();
    }
    QString Take()
    {
        fText.truncate(fLength);
        return std::move(fText);
    }

private:
    void Write(QStringView pText)
    {
        // A caller that writes more than it promised gets a larger buffer, never an overrun.
        if (fLength + pText.size() > fText.size())
            fText.resize(fLength + pText.size());
        std::copy(pText.begin(), pText.end(), fText.data() + fLength);
        fLength += pText.size();
    }

    QString fText;
    qsizetype fBase;
    qsizetype fLength;
    QChar fDelimiter;
    QVarLengthArray<qsizetype, 32> fStarts;
};

// Calls pVisit with each element of pPath between delimiters, empty ones included.
template <typename F> void ForEachElement(QStringView pPath, QChar pDelimiter, F&& pVisit)
{
    qsizetype start = 0;
    for (;;) {
        const qsizetype next = pPath.indexOf(pDelimiter, start);
        if (next < 0) {
            pVisit(pPath.mid(start));
            return;
        }
        pVisit(pPath.mid(start, next - start));
        start = next + 1;
    }
}

// Whether a path has a "." or ".." element between its delimiters: most paths have none (a dot in
// a file name does not count) and skip the element walk.
bool HasDotElement(QStringView pPath, QChar pDelimiter)
{
    for (qsizetype i = pPath.indexOf(u'.'); i >= 0; i = pPath.indexOf(u'.', i + 1)) {
        if (i > 0 && pPath[i - 1] != pDelimiter)
            continue;
        qsizetype end = i + 1;
        if (end < pPath.size() && pPath[end] == u'.')
            ++end;
        if (end == pPath.size() || pPath[end] == pDelimiter)
            return true;
    }
    return false;
}

// The Windows path functions' canonical form (PathCanonicalizeW): the root ("\\", "X:\", "X:" or
// "\") is kept; "." elements go, ".." takes the element before it but never the root; a trailing
// "\" stays unless the last element was "." or "..". The empty path is the root "\".
QString WindowsCanonicalize(const QString& pPath)
{
    if (pPath.isEmpty())
        return QStringLiteral("\\");
    if (!HasDotElement(pPath, u'\\'))
        return pPath;
    qsizetype rootLength = 0;
    if (pPath.startsWith(u"\\\\"))
        rootLength = 2;
    else if (IsDriveLetterText(pPath))
        rootLength = pPath.size() > 2 && pPath[2] == u'\\' ? 3 : 2;
    else if (pPath.startsWith(u'\\'))
        rootLength = 1;
    TElementWriter writer(QStringView(pPath).left(rootLength), pPath.size(), u'\\');
    ForEachElement(QStringView(pPath).mid(rootLength), u'\\', [&](QStringView pElement) {
        if (pElement == u".")
            return;
        if (pElement == u"..") {
            if (!writer.IsEmpty())
                writer.Pop();
            return;
        }
        writer.Push(pElement);
    });
    return writer.Take();
}

bool WindowsPathIsRelative(QStringView pPath)
{
    return !(pPath.startsWith(u'\\') || (pPath.size() >= 2 && pPath[1] == u':'));
}

// The root of a path with its trailing "\": "X:\", "\\server\share\" or "\".
QString WindowsRootOf(QStringView pPath)
{
    if (IsDriveLetterText(pPath))
        return Cat(pPath.left(2), u'\\');
    if (pPath.startsWith(u"\\\\")) {
        const qsizetype server = pPath.indexOf(u'\\', 2);
        const qsizetype share = server < 0 ? -1 : pPath.indexOf(u'\\', server + 1);
        return (share < 0 ? pPath.toString() + u'\\' : pPath.left(share + 1).toString());
    }
    return QStringLiteral("\\");
}

// The Windows path functions' join (PathCombineW): an absolute file part replaces the folder, a
// single leading "\" starts at the folder's root, anything else is appended; then canonicalised.
QString WindowsPathCombine(const QString& pDir, const QString& pFile)
{
    QString joined;
    if (pFile.isEmpty())
        joined = pDir;
    else if (pDir.isEmpty() || !WindowsPathIsRelative(pFile)) {
        if (pDir.isEmpty() || pFile[0] != u'\\' || pFile.startsWith(u"\\\\"))
            joined = pFile;
        else
            joined = Cat(WindowsRootOf(pDir), QStringView(pFile).mid(1));
    } else
        joined = pDir.endsWith(u'\\') ? pDir + pFile : pDir + u'\\' + pFile;
    return WindowsCanonicalize(joined);
}

// The server of a UNC path: the text between the leading "\\" and the next "\".
QStringView UncServer(QStringView pPath)
{
    const qsizetype end = pPath.indexOf(u'\\', 2);
    return end < 0 ? pPath.mid(2) : pPath.mid(2, end - 2);
}

const TPcre& UrlPattern()
{
    // A scheme of two or more letters or digits, ":", and a character that cannot follow a
    // scheme in a URL; or "file:\\".
    static const TPcre pattern(uR"(\A(?:[a-z0-9]{2,}:[^\\{}|^~\[\]`<>#%"]|file:\\\\))",
                               TPcre::TFlag::pfCaseless);
    return pattern;
}

// One to three digits with the value 0 to 255; leading zeros allowed.
#define KIV_IPV4_OCTET u"(?:25[0-5]|2[0-4][0-9]|[01]?[0-9]?[0-9])"
#define KIV_IPV4 KIV_IPV4_OCTET u"(?:\\." KIV_IPV4_OCTET u"){3}"
#define KIV_H16 u"[0-9a-f]{1,4}"

const TPcre& IPv4Pattern()
{
    static const TPcre pattern(u"\\A" KIV_IPV4 u"\\z");
    return pattern;
}

const TPcre& IPv6Pattern()
{
    // Eight groups, or fewer with one "::" standing for the missing ones, each row one count of
    // groups before the "::"; the last 32 bits may be written as an IPv4 address.
    static const TPcre pattern(
        u"\\A\\s*(?:"
        u"(?:" KIV_H16 u":){7}(?:" KIV_H16 u"|:)"
        u"|(?:" KIV_H16 u":){6}(?::" KIV_H16 u"|" KIV_IPV4 u"|:)"
        u"|(?:" KIV_H16 u":){5}(?:(?::" KIV_H16 u"){1,2}|:" KIV_IPV4 u"|:)"
        u"|(?:" KIV_H16 u":){4}(?:(?::" KIV_H16 u"){1,3}|(?::" KIV_H16 u")?:" KIV_IPV4 u"|:)"
        u"|(?:" KIV_H16 u":){3}(?:(?::" KIV_H16 u"){1,4}|(?::" KIV_H16 u"){0,2}:" KIV_IPV4 u"|:)"
        u"|(?:" KIV_H16 u":){2}(?:(?::" KIV_H16 u"){1,5}|(?::" KIV_H16 u"){0,3}:" KIV_IPV4 u"|:)"
        u"|(?:" KIV_H16 u":)(?:(?::" KIV_H16 u"){1,6}|(?::" KIV_H16 u"){0,4}:" KIV_IPV4 u"|:)"
        u"|:(?:(?::" KIV_H16 u"){1,7}|(?::" KIV_H16 u"){0,5}:" KIV_IPV4 u"|:)"
        u")(?:%\\S+)?\\s*\\z",
        TPcre::TFlag::pfCaseless);
    return pattern;
}

#undef KIV_H16
#undef KIV_IPV4
#undef KIV_IPV4_OCTET

// Whether pPath holds two pDelimiter in a row. A plain scan: QString::contains with a
// two-character needle costs more than the rest of a canonicalisation.
bool HasRun(QStringView pPath, QChar pDelimiter)
{
    for (qsizetype i = 1; i < pPath.size(); ++i) {
        if (pPath[i] == pDelimiter && pPath[i - 1] == pDelimiter)
            return true;
    }
    return false;
}

// Every run of two or more pDelimiter written as one.
QString CollapseRuns(const QString& pPath, QChar pDelimiter)
{
    QString result(pPath.size(), Qt::Uninitialized);
    const QChar* in = pPath.constData();
    QChar* out = result.data();
    qsizetype length = 0;
    for (qsizetype i = 0; i < pPath.size(); ++i) {
        if (in[i] == pDelimiter && i > 0 && in[i - 1] == pDelimiter)
            continue;
        out[length++] = in[i];
    }
    result.truncate(length);
    return result;
}

// The environment used while none is installed: it knows nothing.
class TNullPathEnvironment final : public IPathEnvironment
{
public:
    QString CurrentDir() const override { return {}; }
    QString HomeDir() const override { return {}; }
    QString VolumeRootOf(const QString&) const override { return QStringLiteral("/"); }
    std::optional<QString> LongPathName(const QString&) const override { return std::nullopt; }
    std::optional<std::uint32_t> FileAttributes(const QString&) const override
    {
        return std::nullopt;
    }
    std::optional<std::uint32_t> FindFirstAttributes(const QString&) const override
    {
        return std::nullopt;
    }
    QString MyComputerName() const override { return {}; }
};

std::atomic<std::shared_ptr<const IPathEnvironment>>& InstalledEnvironment()
{
    static std::atomic<std::shared_ptr<const IPathEnvironment>> environment;
    return environment;
}

// Joins a relative path to the folder it is relative to; an unknown folder leaves it as it is.
QString JoinToBase(const QString& pBase, const QString& pPath, TPathStyle pStyle)
{
    if (pBase.isEmpty())
        return pPath;
    return TPathUtils::Combine(pBase, pPath, pStyle);
}

QString MakeCanonicWindows(QString pPath)
{
    if (TPathUtils::IsURL(pPath))
        return pPath;
    if (pPath.size() > 2 && TPathUtils::StartsWithDriveLetter(pPath, TPathStyle::psWindows) &&
        pPath[2] != u'\\')
        pPath.insert(2, u'\\');
    if (pPath.contains(u'~')) {
        if (std::optional<QString> longName = TPathUtils::Environment()->LongPathName(pPath))
            pPath = *longName;
    }

    QString result;
    if (TPathUtils::IsRooted(pPath, TPathStyle::psWindows) ||
        !TPathUtils::GetSpecialFolderRoot(pPath, TPathStyle::psWindows).isEmpty())
        result = TPathUtils::RemoveRelativeParts(pPath, TPathStyle::psWindows);
    else {
        const bool fromDriveRoot = pPath.size() >= 2 && pPath[0] == u'\\' && pPath[1] != u'\\';
        const QString base = fromDriveRoot ? TPathUtils::GetCurrentDrive(TPathStyle::psWindows)
                                           : TPathUtils::GetCurrentDir();
        result = TPathUtils::RemoveRelativeParts(JoinToBase(base, pPath, TPathStyle::psWindows),
                                                 TPathStyle::psWindows);
    }

    if (HasRun(result, u'\\')) {
        result = CollapseRuns(result, u'\\');
        if (result.startsWith(u'\\')) {
            result.prepend(u'\\');
            // A literal IPv6 server cannot stand in a UNC path (":" is not allowed there); the
            // platform's transcription of it is the host name "<address with - for :>.ipv6-
            // literal.net".
            const QStringView server = UncServer(result);
            if (TPathUtils::IsValidIPv6(server.toString())) {
                QString host = server.toString();
                host.replace(u':', u'-');
                host += u".ipv6-literal.net";
                result = Cat(u"\\\\", host, QStringView(result).mid(2 + server.size()));
            }
        }
    }
    if (result.endsWith(u"\\*") && result != u"\\\\*")
        result.chop(1);
    return result;
}

QString MakeCanonicPosix(QString pPath)
{
    if (TPathUtils::IsURL(pPath))
        return pPath;
    // What a user types for the home folder; a "~" anywhere else is an ordinary name character.
    if (pPath == u"~" || pPath.startsWith(u"~/")) {
        const QString home = TPathUtils::Environment()->HomeDir();
        if (!home.isEmpty())
            pPath = Cat(home, QStringView(pPath).mid(1));
    }

    QString result;
    if (TPathUtils::IsRooted(pPath, TPathStyle::psPosix) ||
        !TPathUtils::GetSpecialFolderRoot(pPath, TPathStyle::psPosix).isEmpty())
        result = TPathUtils::RemoveRelativeParts(pPath, TPathStyle::psPosix);
    else
        result = TPathUtils::RemoveRelativeParts(
            JoinToBase(TPathUtils::GetCurrentDir(), pPath, TPathStyle::psPosix),
            TPathStyle::psPosix);

    if (HasRun(result, u'/'))
        result = CollapseRuns(result, u'/');
    if (result.endsWith(u"/*"))
        result.chop(1);
    return result;
}

} // namespace

std::shared_ptr<const IPathEnvironment> TPathUtils::Environment()
{
    std::shared_ptr<const IPathEnvironment> environment = InstalledEnvironment().load();
    if (environment)
        return environment;
    static const auto kNone = std::make_shared<const TNullPathEnvironment>();
    return kNone;
}

std::shared_ptr<const IPathEnvironment>
TPathUtils::InstallEnvironment(std::shared_ptr<const IPathEnvironment> pEnvironment)
{
    return InstalledEnvironment().exchange(std::move(pEnvironment));
}

QString TPathUtils::Combine(const QString& pBasePath, const QString& pRelativePath,
                            TPathStyle pStyle)
{
    if (pBasePath.isEmpty() && pRelativePath.isEmpty())
        throw EInvalidArgument(
            QStringLiteral("Both parameters (BasePath and RelativePath) are empty."));

    if (pStyle == TPathStyle::psPosix) {
        // Lexical like the Windows join below, so "a/../b" reads the same on both; only a base
        // that is a real absolute path is resolved (not a URL or a typed UNC name).
        const bool resolve = pBasePath.startsWith(u'/');
        if (pRelativePath.isEmpty())
            return resolve ? RemoveRelativeParts(pBasePath, pStyle) : pBasePath;
        if (pBasePath.isEmpty() || IsRooted(pRelativePath, pStyle))
            return pRelativePath;
        QStringView relative = pRelativePath;
        if (relative.startsWith(u"./"))
            relative = relative.mid(2);
        const QString joined =
            pBasePath.endsWith(u'/') ? Cat(pBasePath, relative) : Cat(pBasePath, u'/', relative);
        return resolve ? RemoveRelativeParts(joined, pStyle) : joined;
    }

    if (pBasePath.size() + pRelativePath.size() < kMaxPath && IsRooted(pBasePath, pStyle)) {
        QString relative = pRelativePath;
        if (!pBasePath.isEmpty() && relative.startsWith(u'\\') && !relative.startsWith(u"\\\\"))
            relative.remove(0, 1);
        QString result = WindowsPathCombine(pBasePath, relative);
        if (IsUnicodeAPICallPath(pBasePath, pStyle))
            result = GetUnicodeAPICallPath(result, true, true, pStyle);
        return result;
    }
    if (pRelativePath.isEmpty())
        return pBasePath;
    if (pBasePath.isEmpty() || IsRooted(pRelativePath, pStyle))
        return pRelativePath;
    QStringView relative = pRelativePath;
    if (relative.startsWith(u".\\"))
        relative = relative.mid(2);
    if (relative.startsWith(u'\\'))
        relative = relative.mid(1);
    return pBasePath.endsWith(u'\\') ? Cat(pBasePath, relative) : Cat(pBasePath, u'\\', relative);
}

QString TPathUtils::ExcludeTrailingPathDelimiter(const QString& pPath, TPathStyle pStyle)
{
    if (pPath.isEmpty() || !IsStyleDelimiter(pPath.back(), pStyle))
        return pPath;
    if (pStyle == TPathStyle::psPosix && pPath.size() == 1)
        return pPath;
    return pPath.left(pPath.size() - 1);
}

QString TPathUtils::GetCurrentDir()
{
    return Environment()->CurrentDir();
}

QString TPathUtils::GetCurrentDrive(TPathStyle pStyle)
{
    const QString current = GetCurrentDir();
    if (pStyle == TPathStyle::psPosix)
        return current.isEmpty() ? QString() : Environment()->VolumeRootOf(current);
    if (IsDriveLetterText(current))
        return current.left(2);
    if (current.startsWith(u"\\\\")) {
        // "\\server\share": up to the delimiter after the share name.
        const qsizetype server = current.indexOf(u'\\', 2);
        const qsizetype share = server < 0 ? -1 : current.indexOf(u'\\', server + 1);
        return share < 0 ? current : current.left(share);
    }
    return {};
}

QString TPathUtils::GetSpecialFolderRoot(const QString& pPath, TPathStyle pStyle)
{
    QString name = Environment()->MyComputerName();
    if (name.isEmpty() || !pPath.startsWith(name, Qt::CaseInsensitive))
        return {};
    // The name as a whole: "This PC" is the root of "This PC\x", not of "This PC backup".
    if (pPath.size() > name.size() && !IsStyleDelimiter(pPath[name.size()], pStyle))
        return {};
    return name;
}

QString TPathUtils::GetUnicodeAPICallPath(const QString& pPath, bool pPathIsCanonic, bool pForce,
                                          TPathStyle pStyle)
{
    if (pStyle == TPathStyle::psPosix)
        return pPath;
    if (!pForce && pPath.size() <= kMaxShortFolderPath)
        return pPath;
    QString canonic = pPathIsCanonic ? pPath : MakeCanonic(pPath, pStyle);
    if (canonic.size() < 4 || !canonic.startsWith(u"\\\\"))
        return kLongPathPrefix.toString() + canonic;
    if (canonic.startsWith(kLongPathPrefix))
        return canonic;
    return Cat(u"\\\\?\\UNC\\", QStringView(canonic).mid(2));
}

QString TPathUtils::RevertUnicodeAPICallPath(const QString& pPath, TPathStyle pStyle)
{
    if (!IsUnicodeAPICallPath(pPath, pStyle))
        return pPath;
    if (pPath.size() > 7 &&
        QStringView(pPath).mid(4, 4).compare(u"UNC\\", Qt::CaseInsensitive) == 0)
        return Cat(u"\\\\", QStringView(pPath).mid(8));
    return pPath.mid(4);
}

bool TPathUtils::IsPathDelimiter(const QString& pPath, qsizetype pIndex, TPathStyle pStyle)
{
    if (pIndex < 1 || pIndex > pPath.size())
        return false;
    const QChar character = pPath[pIndex - 1];
    // A delimiter is never half of a surrogate pair, so this test is the whole rule.
    return !character.isSurrogate() && IsStyleDelimiter(character, pStyle);
}

bool TPathUtils::IsReparsePoint(const QString& pPath, TPathStyle pStyle)
{
    if (pPath.isEmpty())
        return false;
    const QString path =
        ExcludeTrailingPathDelimiter(GetUnicodeAPICallPath(pPath, false, false, pStyle), pStyle);
    const std::optional<std::uint32_t> attributes = Environment()->FindFirstAttributes(path);
    return attributes && *attributes != INVALID_FILE_ATTRIBUTES &&
           (*attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool TPathUtils::HasFileAttribute(const QString& pPath, std::uint32_t pAttribute)
{
    if (pPath.isEmpty())
        return false;
    const std::optional<std::uint32_t> attributes = Environment()->FileAttributes(pPath);
    return attributes && *attributes != INVALID_FILE_ATTRIBUTES && (*attributes & pAttribute) != 0;
}

bool TPathUtils::IsRooted(const QString& pPath, TPathStyle pStyle)
{
    if (IsURL(pPath) || pPath.startsWith(u"\\\\"))
        return true;
    if (pStyle == TPathStyle::psPosix)
        return pPath.startsWith(u'/');
    // The tests below see the path with a trailing delimiter, so that "C:" counts as "C:\".
    const bool hasDelimiter = !pPath.isEmpty() && IsWindowsDelimiter(pPath.back());
    const qsizetype length = pPath.size() + (hasDelimiter ? 0 : 1);
    if (length >= 3 && StartsWithDriveLetter(pPath, pStyle))
        return true;
    // A volume name: "Volume{" + a 36-character GUID + "}" and more.
    constexpr qsizetype kVolumeNameLength = 44;
    if (length <= kVolumeNameLength || !pPath.startsWith(u"Volume{"))
        return false;
    const QChar closing = pPath.size() >= kVolumeNameLength ? pPath[kVolumeNameLength - 1] : u'\\';
    return closing == u'}';
}

bool TPathUtils::IsUnicodeAPICallPath(const QString& pPath, TPathStyle pStyle)
{
    return pStyle == TPathStyle::psWindows && pPath.size() > 3 && pPath.startsWith(kLongPathPrefix);
}

bool TPathUtils::IsURL(const QString& pPath)
{
    if (pPath.size() < 4 || pPath[1] == u':' || pPath[1] == u'\\')
        return false;
    // Both forms start with an ASCII letter or digit and hold a ":": a quick no for most paths.
    const char16_t first = pPath[0].unicode();
    const bool alnum = (first >= u'a' && first <= u'z') || (first >= u'A' && first <= u'Z') ||
                       (first >= u'0' && first <= u'9');
    if (!alnum || !pPath.contains(u':'))
        return false;
    return UrlPattern().Matches(pPath);
}

bool TPathUtils::IsValidIP(const QString& pAddress)
{
    return IsValidIPv4(pAddress) || IsValidIPv6(pAddress);
}

bool TPathUtils::IsValidIPv4(const QString& pAddress)
{
    return pAddress.contains(u'.') && IPv4Pattern().Matches(pAddress);
}

bool TPathUtils::IsValidIPv6(const QString& pAddress)
{
    return pAddress.contains(u':') && IPv6Pattern().Matches(pAddress);
}

QString TPathUtils::MakeCanonic(const QString& pPath, TPathStyle pStyle)
{
    return pStyle == TPathStyle::psWindows ? MakeCanonicWindows(pPath) : MakeCanonicPosix(pPath);
}

QString TPathUtils::RemoveRelativeParts(const QString& pPath, QChar pDelimiter, TPathStyle pStyle)
{
    const bool windows = pStyle == TPathStyle::psWindows;
    // On POSIX ".." never climbs above the root of an absolute path: "/.." is "/".
    const bool posixAbsolute = !windows && pPath.startsWith(pDelimiter);
    QString result;
    if (HasDotElement(pPath, pDelimiter)) {
        TElementWriter writer({}, pPath.size(), pDelimiter);
        ForEachElement(pPath, pDelimiter, [&](QStringView pElement) {
            if (pElement == u".")
                return;
            if (pElement == u"..") {
                if (writer.IsEmpty())
                    return;
                if (windows && writer.Last().size() == 2 && IsDriveLetterText(writer.Last()))
                    return;
                if (posixAbsolute && writer.Count() == 1)
                    return;
                writer.Pop();
                return;
            }
            writer.Push(pElement);
        });
        result = writer.Take();
    } else
        result = pPath;

    if (!windows) {
        // A relative POSIX path stays relative: putting "/" in front would name another place.
        if (posixAbsolute && result.isEmpty())
            return QString(pDelimiter);
        return result;
    }
    if (IsRooted(result, pStyle))
        return result;
    if (result.size() == 2 && IsDriveLetterText(result))
        return result + pDelimiter;
    if (!result.isEmpty() && !result.startsWith(pDelimiter))
        result.prepend(pDelimiter);
    return result;
}

QString TPathUtils::RemoveRelativeParts(const QString& pPath, TPathStyle pStyle)
{
    if (pStyle == TPathStyle::psPosix)
        return RemoveRelativeParts(pPath, u'/', pStyle);
    if (pPath.size() < kMaxPath)
        return WindowsCanonicalize(pPath);
    return RemoveRelativeParts(pPath, u'\\', pStyle);
}

bool TPathUtils::StartsWithDriveLetter(const QString& pPath, TPathStyle pStyle)
{
    return pStyle == TPathStyle::psWindows && pPath.size() > 1 && IsDriveLetterText(pPath);
}

} // namespace kiv
