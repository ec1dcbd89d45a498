#include "KivExceptions.h"

#include "core/platform/SystemErrorTexts.h"

namespace kiv {
namespace {

// The span of system error codes whose text a failed result is best reported with; a result whose
// low word lies outside it (E_FAIL's 0x4005, E_UNEXPECTED's 0xFFFF) reads better as a whole.
constexpr std::uint32_t kFirstSystemErrorCode = 2;
constexpr std::uint32_t kLastSystemErrorCode = 12175;

class TWayfoldCategory final : public std::error_category
{
public:
    const char* name() const noexcept override { return "wayfold"; }
    std::string message(int pCode) const override
    {
        return pf::SystemErrorText(static_cast<std::uint32_t>(pCode)).toStdString();
    }
};

QString SystemText(pf::HResult pCode, const QString& pMessage)
{
    QString text = pf::SystemErrorText(static_cast<std::uint32_t>(pCode));
    if (!pMessage.isEmpty())
        text += u' ' + pMessage;
    return text;
}

QString ContextText(const IHasDebugInfo* pContext)
{
    if (!pContext)
        return {};
    return QStringLiteral(" Internal data: ") + pContext->GetInfo(TItemIdListInfoLevel::Normal);
}

} // namespace

const std::error_category& WayfoldCategory() noexcept
{
    static const TWayfoldCategory category;
    return category;
}

EWayfoldError::EWayfoldError(pf::HResult pCode, const QString& pText, std::nullptr_t)
    : std::system_error(pCode, WayfoldCategory())
    , fMessage(pText)
    , fWhat(pText.toUtf8())
{
}

EWayfoldError::EWayfoldError(pf::HResult pCode, const QString& pMessage)
    : EWayfoldError(pCode, SystemText(pCode, pMessage), nullptr)
{
}

EWayfoldError::EWayfoldError(const QString& pMessage, const IHasDebugInfo* pContext)
    : EWayfoldError(0, pMessage + ContextText(pContext), nullptr)
{
}

EWayfoldError::EWayfoldError(pf::HResult pCode, const IHasDebugInfo* pContext)
    : EWayfoldError(pCode, SystemText(pCode, ContextText(pContext)), nullptr)
{
}

pf::HResult EWayfoldError::CodeOfResult(pf::HResult pResult) noexcept
{
    const std::uint32_t code = pf::HResultCode(pResult);
    if (code >= kFirstSystemErrorCode && code <= kLastSystemErrorCode)
        return static_cast<pf::HResult>(code);
    return pResult;
}

void EWayfoldError::Check(pf::HResult pResult, const QString& pMessage)
{
    if (pf::Succeeded(pResult))
        return;
    throw EWayfoldError(CodeOfResult(pResult), pMessage);
}

} // namespace kiv
