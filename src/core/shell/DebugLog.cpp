#include "core/shell/DebugLog.h"

#include "core/platform/IInfo.h"
#include "core/platform/IPlatform.h"
#include "core/threading/ThreadingHooks.h"

namespace kiv {

void TDebugLog::LogMessage(const QString& pMessage)
{
    threading::DebugLine(pMessage);
}

void TDebugLog::LogException(const QString& pMessage, const std::exception& pError)
{
    threading::DebugLine(QStringLiteral("%1: %2").arg(pMessage, QString::fromUtf8(pError.what())));
}

void TDebugLog::LogException(const QString& pMessage, std::exception_ptr pError)
{
    QString text = QStringLiteral("Unknown exception");
    try {
        if (pError)
            std::rethrow_exception(pError);
    } catch (const std::exception& e) {
        text = QString::fromUtf8(e.what());
    } catch (...) {
    }
    threading::DebugLine(QStringLiteral("%1: %2").arg(pMessage, text));
}

void TDebugLog::LogHResult(const QString& pMessage, std::int32_t pResult)
{
    QString text;
    if (pf::HasPlatform())
        text = pf::Platform().Info().SystemErrorText(static_cast<std::uint32_t>(pResult));
    threading::DebugLine(QStringLiteral("%1: %2 (\"%3\")").arg(pMessage).arg(pResult).arg(text));
}

void TDebugLog::LogDebugMessage(const QString& pMessage)
{
    if (DebugEnabled())
        threading::DebugLine(pMessage);
}

void TDebugLog::LogDebugVerboseMessage(const QString& pMessage)
{
    if (VerboseEnabled())
        threading::DebugLine(pMessage);
}

bool TDebugLog::DebugEnabled()
{
    return threading::DebugCategory().isDebugEnabled();
}

bool TDebugLog::VerboseEnabled()
{
    return threading::VerboseDebugCategory().isDebugEnabled();
}

} // namespace kiv
