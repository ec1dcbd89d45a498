#pragma once

// A compiled Perl-compatible regular expression over UTF-16 text, owning its PCRE2 code. The
// patterns work on code units (no UTF mode), so any QString is a valid subject, unpaired
// surrogates included; the family's patterns are ASCII. A TPcre is immutable after construction
// and may be used from any number of threads at once (each match uses match data of its thread).

#include <QString>
#include <QStringView>

#include <memory>

namespace kiv {

class TPcre
{
public:
    enum class TFlag
    {
        pfNone = 0,
        pfCaseless = 1, // ASCII letters match either case
    };

    // Compiles the pattern; a pattern that does not compile is a programming error and raises
    // EInvalidArgument with PCRE2's message and offset.
    explicit TPcre(QStringView pPattern, TFlag pFlags = TFlag::pfNone);
    ~TPcre();
    // A moved-from pattern may only be destroyed or assigned to.
    TPcre(TPcre&& pOther) noexcept;
    TPcre& operator=(TPcre&& pOther) noexcept;
    TPcre(const TPcre&) = delete;
    TPcre& operator=(const TPcre&) = delete;

    // True when the pattern matches somewhere in pSubject (anchor it with \A ... \z for a whole
    // match). A match that runs into PCRE2's limits counts as no match.
    bool Matches(QStringView pSubject) const;

private:
    struct TCode;
    std::unique_ptr<TCode> fCode;
};

} // namespace kiv
