#pragma once

#include "core/platform/HResult.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace kiv::pf {

class IStream;
using IStreamPtr = std::shared_ptr<IStream>;

// Where a seek counts from.
enum class SeekOrigin
{
    Begin,
    Current,
    End,
};

// The content of an item, read in order or from a position. Not thread-safe: one thread reads
// it at a time. Reading may touch a slow medium; it belongs on a worker thread.
class IStream
{
public:
    virtual ~IStream() = default;
    // Reads up to pSize bytes; pRead tells how many came (0 at the end). S_OK, or a failure.
    virtual HResult Read(void* pBuffer, std::size_t pSize, std::size_t& pRead) = 0;
    virtual HResult Seek(std::int64_t pOffset, SeekOrigin pOrigin, std::uint64_t* pPosition) = 0;
    // The size in bytes; pKnown false when the source cannot tell (callers treat it as large).
    virtual HResult Size(std::uint64_t& pSize, bool& pKnown) = 0;
};

} // namespace kiv::pf
