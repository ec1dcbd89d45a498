#pragma once

// Path texts: joining, canonicalising, removing "." and "..", the long-path form with the "\\?\"
// prefix, and the tests for rooted paths, URLs and IP addresses.
//
// Every rule that depends on the form of paths takes a TPathStyle. The Windows style keeps the
// rules of the family's Windows origin exactly: "\" (and "/" where said) delimits, letters compare
// ignoring case, drive letters, UNC paths and the long-path prefix exist, and MAX_PATH (260) and
// 247 pick the long-path branches. The POSIX style is this host's and the default: "/" is the
// only delimiter ("\" is an ordinary name character), names compare exactly, "/" is never
// stripped to the empty text (which would mean "no path"), there is no drive, prefix or length
// branch, and "~" or "~/..." names the home folder where a typed path is made canonical.
//
// TPathUtils has only static operations and no state of its own. What needs the file system or
// the process (current folder, home, attributes, long names) comes from the installed
// IPathEnvironment, which the platform layer provides; without one these answers are empty.
// Safe to call from any thread.

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace kiv {

enum class TPathStyle
{
    psWindows,
    psPosix,
};

// The style of the paths of the host the program runs on.
inline constexpr TPathStyle kHostPathStyle = TPathStyle::psPosix;

// The file-system and process facts the path operations ask for. Implemented over the platform
// layer; tests install their own.
class IPathEnvironment
{
public:
    virtual ~IPathEnvironment() = default;

    // The process's current folder (on Windows read with file-system redirection off).
    virtual QString CurrentDir() const = 0;
    // The user's home folder; empty when unknown.
    virtual QString HomeDir() const = 0;
    // The root of the volume that holds pPath: on POSIX the mount point ("/" at least).
    virtual QString VolumeRootOf(const QString& pPath) const = 0;
    // The long form of a path with short (8.3) names in it; empty when it cannot be had.
    virtual std::optional<QString> LongPathName(const QString& pPath) const = 0;
    // The attribute bits (FILE_ATTRIBUTE_*) of the item at pPath, following a final link;
    // empty when they cannot be read.
    virtual std::optional<std::uint32_t> FileAttributes(const QString& pPath) const = 0;
    // The attribute bits of the first directory entry found for pPath, not following a final
    // link (a symbolic link reports FILE_ATTRIBUTE_REPARSE_POINT); empty when none is found.
    virtual std::optional<std::uint32_t> FindFirstAttributes(const QString& pPath) const = 0;
    // The in-folder name of My Computer ("This PC"); empty when unknown.
    virtual QString MyComputerName() const = 0;
};

inline constexpr std::uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10u;
inline constexpr std::uint32_t FILE_ATTRIBUTE_REPARSE_POINT = 0x400u;
inline constexpr std::uint32_t INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;

class TPathUtils
{
public:
    TPathUtils() = delete;

    // The environment the operations ask; Install replaces it process-wide (null: none) and
    // returns the one it replaces.
    static std::shared_ptr<const IPathEnvironment> Environment();
    static std::shared_ptr<const IPathEnvironment>
    InstallEnvironment(std::shared_ptr<const IPathEnvironment> pEnvironment);

    // pRelativePath joined to pBasePath; both empty raises EInvalidArgument.
    static QString Combine(const QString& pBasePath, const QString& pRelativePath,
                           TPathStyle pStyle = kHostPathStyle);
    // One trailing delimiter removed (POSIX: never from "/").
    static QString ExcludeTrailingPathDelimiter(const QString& pPath,
                                                TPathStyle pStyle = kHostPathStyle);
    static QString GetCurrentDir();
    // Windows: the drive ("C:") or share ("\\server\share") of the current folder; POSIX: the
    // mount point that holds it.
    static QString GetCurrentDrive(TPathStyle pStyle = kHostPathStyle);
    // The in-folder name of My Computer when pPath starts with it as a whole name, else empty.
    static QString GetSpecialFolderRoot(const QString& pPath, TPathStyle pStyle = kHostPathStyle);
    // The long-path form ("\\?\C:\..." or "\\?\UNC\server\...") of a path longer than 247
    // characters, or of any path when forced; POSIX has no such form and returns pPath.
    static QString GetUnicodeAPICallPath(const QString& pPath, bool pPathIsCanonic = false,
                                         bool pForce = false, TPathStyle pStyle = kHostPathStyle);
    static QString RevertUnicodeAPICallPath(const QString& pPath,
                                            TPathStyle pStyle = kHostPathStyle);
    // pIndex counts from 1, as the character positions of the path texts do.
    static bool IsPathDelimiter(const QString& pPath, qsizetype pIndex,
                                TPathStyle pStyle = kHostPathStyle);
    static bool IsReparsePoint(const QString& pPath, TPathStyle pStyle = kHostPathStyle);
    static bool HasFileAttribute(const QString& pPath, std::uint32_t pAttribute);
    static bool IsRooted(const QString& pPath, TPathStyle pStyle = kHostPathStyle);
    static bool IsUnicodeAPICallPath(const QString& pPath, TPathStyle pStyle = kHostPathStyle);
    static bool IsURL(const QString& pPath);
    static bool IsValidIP(const QString& pAddress);
    static bool IsValidIPv4(const QString& pAddress);
    static bool IsValidIPv6(const QString& pAddress);
    static QString MakeCanonic(const QString& pPath, TPathStyle pStyle = kHostPathStyle);
    static QString RemoveRelativeParts(const QString& pPath, QChar pDelimiter,
                                       TPathStyle pStyle = kHostPathStyle);
    static QString RemoveRelativeParts(const QString& pPath, TPathStyle pStyle = kHostPathStyle);
    static bool StartsWithDriveLetter(const QString& pPath, TPathStyle pStyle = kHostPathStyle);

    // The delimiter a style writes.
    static QChar Delimiter(TPathStyle pStyle)
    {
        return pStyle == TPathStyle::psWindows ? QChar(u'\\') : QChar(u'/');
    }
};

} // namespace kiv
