#pragma once

// The exceptions of the shell components. A failure of the platform is an EWayfoldError carrying
// the platform's code; misuse by the caller is EInvalidOperation, EInvalidArgument or
// ENotSupportedException. Each keeps its text as a QString (Message()) and as UTF-8 (what()).
// Copying any of them does not throw.

#include "core/platform/HResult.h"
#include "core/shell/KivShellTypes.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <stdexcept>
#include <system_error>
#include <type_traits>

namespace kiv {

// The category of the codes an EWayfoldError carries: system error codes (2, 5, 87...) and full
// platform results (0x80004005); its message is the English system text of the code.
const std::error_category& WayfoldCategory() noexcept;

class EWayfoldError : public std::system_error
{
public:
    // The system message of the code, then " " and pMessage when one is given.
    explicit EWayfoldError(pf::HResult pCode, const QString& pMessage = {});
    // pMessage, then " Internal data: " and the context's debug text when there is a context.
    EWayfoldError(const QString& pMessage, const IHasDebugInfo* pContext);
    // The first form with " Internal data: " and the context's debug text as its message.
    EWayfoldError(pf::HResult pCode, const IHasDebugInfo* pContext);

    // The same two forms for any object held by a shared pointer: it is a context when it
    // implements IHasDebugInfo.
    template <typename T>
    EWayfoldError(const QString& pMessage, const std::shared_ptr<T>& pContext)
        : EWayfoldError(pMessage, AsDebugInfo(pContext.get()))
    {
    }
    template <typename T>
    EWayfoldError(pf::HResult pCode, const std::shared_ptr<T>& pContext)
        : EWayfoldError(pCode, AsDebugInfo(pContext.get()))
    {
    }

    // The code the error was raised with: a system error code, or a full platform result when
    // the result was not built from one (see CodeOfResult); 0 when raised with a message only.
    pf::HResult ErrorCode() const noexcept { return code().value(); }
    const QString& Message() const noexcept { return fMessage; }
    const char* what() const noexcept override { return fWhat.constData(); }

    // The code a failed platform result is reported with: its low 16 bits when they lie between
    // 2 and 12175 (the range of system error codes), else the whole result.
    static pf::HResult CodeOfResult(pf::HResult pResult) noexcept;
    // Raises EWayfoldError(CodeOfResult(pResult), pMessage) for a failed result; a success
    // (S_OK, S_FALSE...) returns.
    static void Check(pf::HResult pResult, const QString& pMessage = {});

private:
    EWayfoldError(pf::HResult pCode, const QString& pText, std::nullptr_t);

    template <typename T> static const IHasDebugInfo* AsDebugInfo(const T* pObject)
    {
        if constexpr (std::is_base_of_v<IHasDebugInfo, T>)
            return pObject;
        else if constexpr (std::is_polymorphic_v<T>)
            return dynamic_cast<const IHasDebugInfo*>(pObject);
        else
            return nullptr;
    }

    QString fMessage;
    QByteArray fWhat;
};

// Base of the misuse exceptions: the text as QString and UTF-8.
template <typename TBase> class TKivLogicError : public TBase
{
public:
    explicit TKivLogicError(const QString& pMessage)
        : TBase(pMessage.toStdString())
        , fMessage(pMessage)
    {
    }
    const QString& Message() const noexcept { return fMessage; }

private:
    QString fMessage;
};

// An operation that the object's state or the value given does not allow.
class EInvalidOperation : public TKivLogicError<std::logic_error>
{
public:
    using TKivLogicError::TKivLogicError;
};

// An argument outside what the operation accepts.
class EInvalidArgument : public TKivLogicError<std::invalid_argument>
{
public:
    using TKivLogicError::TKivLogicError;
};

// An operation this object, or this host, does not offer.
class ENotSupportedException : public TKivLogicError<std::logic_error>
{
public:
    using TKivLogicError::TKivLogicError;
};

} // namespace kiv
