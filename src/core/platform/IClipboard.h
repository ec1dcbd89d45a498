#pragma once

#include "core/platform/HResult.h"
#include "core/platform/IDataObject.h"

#include <QString>

// The system clipboard. It belongs to the user-interface thread: a call from any other thread
// answers RPC_E_WRONG_THREAD and changes nothing, so a worker can never race the window system.

namespace kiv::pf {

class IClipboard
{
public:
    virtual ~IClipboard() = default;
    // Replaces the content with one text.
    virtual HResult SetText(const QString& pText) = 0;
    // The text on the clipboard (DV_E_FORMATETC when there is none).
    virtual HResult GetText(QString& pText) = 0;
    // Replaces the content with every format of pData, read at once (later changes to pData do
    // not reach the clipboard).
    virtual HResult SetDataObject(const IDataObjectPtr& pData) = 0;
    // A snapshot of the content in the transfer formats it can be read as (null when the
    // clipboard cannot be read).
    virtual HResult GetDataObject(IDataObjectPtr& pData) = 0;
    virtual bool HasFormat(ClipFormat pFormat) = 0;
    virtual HResult Empty() = 0;
};

} // namespace kiv::pf
