#include "platform/memory/MemoryClipboard.h"

#include <QCoreApplication>
#include <QThread>

namespace kiv::pf::mem {

HResult TMemoryClipboard::Check() const
{
    if (Failed(fFailure))
        return fFailure;
    const QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() != app->thread())
        return RPC_E_WRONG_THREAD;
    return S_OK;
}

HResult TMemoryClipboard::SetText(const QString& pText)
{
    std::lock_guard lock(fLock);
    if (const HResult hr = Check(); Failed(hr))
        return hr;
    fContent = std::make_shared<TDataObject>();
    fContent->SetData(ClipFormat::UnicodeText, TextToBytes(pText));
    ++fWrites;
    return S_OK;
}

HResult TMemoryClipboard::GetText(QString& pText)
{
    std::lock_guard lock(fLock);
    if (const HResult hr = Check(); Failed(hr))
        return hr;
    QByteArray bytes;
    if (const HResult hr = fContent->GetData(ClipFormat::UnicodeText, bytes); Failed(hr))
        return hr;
    pText = TextFromBytes(bytes);
    return S_OK;
}

HResult TMemoryClipboard::SetDataObject(const IDataObjectPtr& pData)
{
    if (!pData)
        return E_INVALIDARG;
    std::lock_guard lock(fLock);
    if (const HResult hr = Check(); Failed(hr))
        return hr;
    fContent = CopyDataObject(*pData);
    ++fWrites;
    return S_OK;
}

HResult TMemoryClipboard::GetDataObject(IDataObjectPtr& pData)
{
    std::lock_guard lock(fLock);
    pData.reset();
    if (const HResult hr = Check(); Failed(hr))
        return hr;
    pData = CopyDataObject(*fContent);
    return S_OK;
}

bool TMemoryClipboard::HasFormat(ClipFormat pFormat)
{
    std::lock_guard lock(fLock);
    return Succeeded(Check()) && Succeeded(fContent->QueryGetData(pFormat));
}

HResult TMemoryClipboard::Empty()
{
    std::lock_guard lock(fLock);
    if (const HResult hr = Check(); Failed(hr))
        return hr;
    fContent = std::make_shared<TDataObject>();
    ++fWrites;
    return S_OK;
}

void TMemoryClipboard::SetFailure(HResult pFailure)
{
    std::lock_guard lock(fLock);
    fFailure = pFailure;
}

int TMemoryClipboard::Writes() const
{
    std::lock_guard lock(fLock);
    return fWrites;
}

} // namespace kiv::pf::mem
