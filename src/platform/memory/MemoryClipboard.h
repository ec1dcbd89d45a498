#pragma once

#include "core/platform/DataObject.h"
#include "core/platform/IClipboard.h"

#include <mutex>

namespace kiv::pf::mem {

// A clipboard in memory with the system one's rules: it belongs to the application's main
// thread, and what is set is copied at once. Tests read it back or make it fail.
class TMemoryClipboard final : public IClipboard
{
public:
    HResult SetText(const QString& pText) override;
    HResult GetText(QString& pText) override;
    HResult SetDataObject(const IDataObjectPtr& pData) override;
    HResult GetDataObject(IDataObjectPtr& pData) override;
    bool HasFormat(ClipFormat pFormat) override;
    HResult Empty() override;

    // Every call fails with this result while it is a failure (another program holds the
    // clipboard).
    void SetFailure(HResult pFailure);
    // How many times the content was replaced.
    int Writes() const;

private:
    HResult Check() const;

    mutable std::mutex fLock;
    std::shared_ptr<TDataObject> fContent = std::make_shared<TDataObject>();
    HResult fFailure = S_OK;
    int fWrites = 0;
};

} // namespace kiv::pf::mem
