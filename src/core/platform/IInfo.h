#pragma once

#include <QString>

#include <cstdint>

namespace kiv::pf {

// Version flags of the host, computed once. Hosts other than the original one answer with the
// newest behaviour the family knows (Windows 10 branches), so the core takes one set of branches.
struct OsProfile
{
    bool Win8OrLater = true;
    bool Win10OrLater = true;
    bool Win11 = false;
    std::uint32_t Build = 0;

    friend bool operator==(const OsProfile&, const OsProfile&) = default;
};

// Which table a numbered string comes from.
enum class StringModule
{
    Shell32,
    ExplorerFrame,
};

// What the core needs of the user's locale for its own formatting.
struct LocaleInfo
{
    QString DecimalSeparator = QStringLiteral(".");
    QString GroupSeparator = QStringLiteral(",");
    // Japanese, Chinese or Korean user interface language.
    bool IsEastAsian = false;
};

// Information about the host and the process. Thread-safe.
class IInfo
{
public:
    virtual ~IInfo() = default;
    virtual OsProfile Profile() = 0;
    // A numbered text of the platform; false when the number is not in the table.
    virtual bool LoadString(StringModule pModule, int pId, QString& pText) = 0;
    // The English text of a system error code or failed result.
    virtual QString SystemErrorText(std::uint32_t pCodeOrResult) = 0;
    // The absolute path of the running program.
    virtual QString ExecutablePath() = 0;
    // Never true on hosts where it gates only branches for another host.
    virtual bool IsUserAdmin() = 0;
    virtual bool IsDebuggerPresent() = 0;
    virtual LocaleInfo Locale() = 0;
};

} // namespace kiv::pf
