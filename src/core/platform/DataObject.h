#pragma once

#include "core/platform/IDataObject.h"

#include <mutex>
#include <utility>
#include <vector>

namespace kiv::pf {

// A data object that holds its formats in memory: what the core builds for a set of items and
// what a clipboard snapshot is read into. Safe to share between threads.
class TDataObject final : public IDataObject
{
public:
    HResult QueryGetData(ClipFormat pFormat) override;
    HResult GetData(ClipFormat pFormat, QByteArray& pData) override;
    HResult SetData(ClipFormat pFormat, const QByteArray& pData) override;
    std::vector<ClipFormat> EnumFormats() override;

private:
    std::mutex fLock;
    std::vector<std::pair<ClipFormat, QByteArray>> fFormats;
};

// A copy of every format pSource offers, taken now.
std::shared_ptr<TDataObject> CopyDataObject(IDataObject& pSource);

} // namespace kiv::pf
