#include "KivExceptions.h"

#include <gtest/gtest.h>
#include <ostream>

static void PrintTo(const QString& pText, std::ostream* pStream)
{
    *pStream << '"' << pText.toStdString() << '"';
}

namespace kiv {
namespace {

class TContext final : public IHasDebugInfo
{
public:
    QString GetInfo(TItemIdListInfoLevel pLevel) const override
    {
        return pLevel == TItemIdListInfoLevel::Normal ? QStringLiteral("FPath: C:\\x")
                                                      : QStringLiteral("verbose");
    }
};

// Something a caller may pass as context that cannot describe itself.
class TMute
{
public:
    virtual ~TMute() = default;
};

TEST(EWayfoldError, CodeAndMessageFormStartsWithTheSystemText)
{
    const EWayfoldError plain(2);
    EXPECT_EQ(plain.ErrorCode(), 2);
    EXPECT_EQ(plain.Message(), QStringLiteral("The system cannot find the file specified."));

    const EWayfoldError withMessage(3, QStringLiteral("Q:\\x"));
    EXPECT_EQ(withMessage.Message(),
              QStringLiteral("The system cannot find the path specified. Q:\\x"));
    EXPECT_STREQ(withMessage.what(), "The system cannot find the path specified. Q:\\x");
    EXPECT_EQ(withMessage.code().category(), WayfoldCategory());
    EXPECT_EQ(withMessage.code().message(), "The system cannot find the path specified.");
}

TEST(EWayfoldError, ContextFormsAddTheContextsDebugInfo)
{
    const TContext context;
    const EWayfoldError message(QStringLiteral("Element cannot be renamed"), &context);
    EXPECT_EQ(message.Message(),
              QStringLiteral("Element cannot be renamed Internal data: FPath: C:\\x"));
    EXPECT_EQ(message.ErrorCode(), 0);

    const EWayfoldError noContext(QStringLiteral("Element cannot be renamed"), nullptr);
    EXPECT_EQ(noContext.Message(), QStringLiteral("Element cannot be renamed"));

    // The code form puts the context text where the message goes, after the separating blank.
    const EWayfoldError code(5, &context);
    EXPECT_EQ(code.ErrorCode(), 5);
    EXPECT_EQ(code.Message(), QStringLiteral("Access is denied.  Internal data: FPath: C:\\x"));

    const auto shared = std::make_shared<TContext>();
    EXPECT_EQ(EWayfoldError(QStringLiteral("m"), shared).Message(),
              QStringLiteral("m Internal data: FPath: C:\\x"));
    const auto mute = std::make_shared<TMute>();
    EXPECT_EQ(EWayfoldError(5, mute).Message(), QStringLiteral("Access is denied."));
}

struct TResultCase
{
    pf::HResult Result;
    pf::HResult Code;
};

class EWayfoldErrorCheck : public ::testing::TestWithParam<TResultCase>
{
};

TEST_P(EWayfoldErrorCheck, ReportsLowWordInSystemErrorRangeElseWholeResult)
{
    EXPECT_EQ(EWayfoldError::CodeOfResult(GetParam().Result), GetParam().Code);
    try {
        EWayfoldError::Check(GetParam().Result);
        ADD_FAILURE() << "no exception";
    } catch (const EWayfoldError& error) {
        EXPECT_EQ(error.ErrorCode(), GetParam().Code);
        EXPECT_EQ(error.Message(), EWayfoldError(GetParam().Code).Message());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Results, EWayfoldErrorCheck,
    ::testing::Values(TResultCase{pf::HResultFromWin32(2), 2}, TResultCase{pf::E_ACCESSDENIED, 5},
                      TResultCase{pf::E_INVALIDARG, 87},
                      TResultCase{pf::HResultFromWin32(12175), 12175},
                      TResultCase{pf::HResultFromWin32(12176), pf::HResultFromWin32(12176)},
                      TResultCase{pf::MakeHResult(0x80070001u), pf::MakeHResult(0x80070001u)},
                      TResultCase{pf::STG_E_FILEALREADYEXISTS, 80},
                      TResultCase{pf::E_FAIL, pf::E_FAIL},
                      TResultCase{pf::E_NOINTERFACE, pf::E_NOINTERFACE},
                      TResultCase{pf::E_UNEXPECTED, pf::E_UNEXPECTED}));

TEST(EWayfoldError, SuccessesPassTheCheck)
{
    EXPECT_NO_THROW(EWayfoldError::Check(pf::S_OK));
    EXPECT_NO_THROW(EWayfoldError::Check(pf::S_FALSE));
    EXPECT_NO_THROW(EWayfoldError::Check(0x7FFF0002));
}

TEST(KivExceptions, MisuseExceptionsKeepTheirTextAndStandardBases)
{
    const EInvalidArgument argument(QStringLiteral("bad \u00e9"));
    const std::invalid_argument& base = argument;
    EXPECT_STREQ(base.what(), "bad \xc3\xa9");
    EXPECT_EQ(argument.Message(), QStringLiteral("bad \u00e9"));
    EXPECT_THROW(throw EInvalidOperation(QStringLiteral("x")), std::logic_error);
    EXPECT_THROW(throw ENotSupportedException(QStringLiteral("x")), std::logic_error);
    EXPECT_THROW(throw EWayfoldError(5), std::system_error);
    static_assert(std::is_nothrow_copy_constructible_v<EWayfoldError>);
}

} // namespace
} // namespace kiv
