#include "Pcre.h"

#include "core/shell/KivExceptions.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

namespace kiv {
namespace {

static_assert(sizeof(PCRE2_UCHAR16) == sizeof(char16_t));

PCRE2_SPTR16 Units(QStringView pText)
{
    // An empty view may have no data pointer; PCRE2 wants one even for length 0.
    static const char16_t kEmpty = 0;
    return reinterpret_cast<PCRE2_SPTR16>(pText.isNull() ? &kEmpty : pText.utf16());
}

struct TMatchDataDeleter
{
    void operator()(pcre2_match_data_16* pData) const noexcept { pcre2_match_data_free_16(pData); }
};

// One pair of offsets is enough to learn whether a pattern matches: with fewer pairs than groups
// pcre2_match answers 0 (a match whose groups did not fit), which still is a match.
pcre2_match_data_16* ThreadMatchData()
{
    thread_local std::unique_ptr<pcre2_match_data_16, TMatchDataDeleter> data(
        pcre2_match_data_create_16(1, nullptr));
    return data.get();
}

QString ErrorText(int pError)
{
    PCRE2_UCHAR16 buffer[256];
    const int length = pcre2_get_error_message_16(pError, buffer, std::size(buffer));
    if (length < 0)
        return QStringLiteral("PCRE2 error %1").arg(pError);
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(buffer), length);
}

} // namespace

struct TPcre::TCode
{
    pcre2_code_16* Code = nullptr;
    ~TCode() { pcre2_code_free_16(Code); }
};

TPcre::TPcre(QStringView pPattern, TFlag pFlags)
    : fCode(std::make_unique<TCode>())
{
    std::uint32_t options = 0;
    if (pFlags == TFlag::pfCaseless)
        options |= PCRE2_CASELESS;
    int error = 0;
    PCRE2_SIZE offset = 0;
    fCode->Code = pcre2_compile_16(Units(pPattern), static_cast<PCRE2_SIZE>(pPattern.size()),
                                   options, &error, &offset, nullptr);
    if (!fCode->Code)
        throw EInvalidArgument(QStringLiteral("Regular expression does not compile at %1: %2")
                                   .arg(offset)
                                   .arg(ErrorText(error)));
    // Machine code makes the path tests several times faster; where the library has no JIT the
    // interpreter answers the same, so a failure here is not an error.
    pcre2_jit_compile_16(fCode->Code, PCRE2_JIT_COMPLETE);
}

TPcre::~TPcre() = default;
TPcre::TPcre(TPcre&& pOther) noexcept = default;
TPcre& TPcre::operator=(TPcre&& pOther) noexcept = default;

bool TPcre::Matches(QStringView pSubject) const
{
    pcre2_match_data_16* data = ThreadMatchData();
    if (!data)
        return false;
    const int rc = pcre2_match_16(fCode->Code, Units(pSubject),
                                  static_cast<PCRE2_SIZE>(pSubject.size()), 0, 0, data, nullptr);
    return rc >= 0;
}

} // namespace kiv
