// Feeds arbitrary bytes to the check that guards item identifier lists from outside the process
// (clipboard, drag data, stored settings). Beyond "no read outside the buffer, no crash, no
// undefined behaviour", it checks that an accepted list is exactly what a plain reading of the
// format gives (items of at least 3 bytes inside the buffer, up to the first zero count), and
// that the list operations built on it agree with each other: the parent plus the last item is
// the list again, prefixes have the asked depth, and skipping items lands on the right bytes.
#include "core/platform/IdList.h"
#include "core/shell/KivItemIdList.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

namespace {

void Fail(const char* pWhat)
{
    std::fprintf(stderr, "property broken: %s\n", pWhat);
    std::abort();
}

// The format read the simplest way: the length of the list (terminator included) and its depth.
std::optional<std::pair<std::size_t, std::size_t>> Reference(const std::uint8_t* pData,
                                                             std::size_t pSize)
{
    std::size_t offset = 0;
    std::size_t depth = 0;
    while (true) {
        if (pSize - offset < 2)
            return std::nullopt;
        const std::size_t count = pData[offset] | (pData[offset + 1] << 8);
        if (count == 0)
            return std::make_pair(offset + 2, depth);
        if (count < 3 || count > pSize - offset)
            return std::nullopt;
        offset += count;
        ++depth;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t pSize)
{
    // A copy of exactly pSize bytes, so that AddressSanitizer sees any read past the end.
    const std::vector<std::uint8_t> bytes(pData, pData + pSize);
    const std::uint8_t* data = bytes.empty() ? nullptr : bytes.data();
    const auto expected = Reference(data, pSize);

    const kiv::IItemIdListPtr list = kiv::TKivItemIdList::CreateFromUntrusted(data, pSize);
    if (list->IsInvalid() != !expected.has_value())
        Fail("accepted a malformed list or refused a well-formed one");
    if (!expected)
        return 0;
    const auto [length, depth] = *expected;
    const kiv::TIdListBuffer buffer = list->WindowsPointer();
    if (buffer->size() != length || !std::equal(buffer->begin(), buffer->end(), bytes.begin()))
        Fail("the list is not the bytes up to the first terminator");
    if (static_cast<std::size_t>(list->Depth()) != depth)
        Fail("depth");

    for (std::size_t n = 0; n <= depth + 1; ++n) {
        if (static_cast<std::size_t>(list->GetStartItemIdList(static_cast<int>(n))->Depth()) !=
            std::min(n, depth))
            Fail("prefix depth");
        const kiv::pf::IdSpan rest =
            kiv::TKivItemIdList::GetElementNo(kiv::pf::IdSpan(*buffer), static_cast<int>(n));
        if (depth > 0 && rest.Depth() != depth - std::min(n, depth - 1))
            Fail("skipped depth");
    }
    if (depth > 0) {
        const kiv::IItemIdListPtr parent = list->GetParent();
        const kiv::IItemIdListPtr last = list->GetLastPart();
        if (last->Depth() != 1 || parent->Depth() != static_cast<int>(depth) - 1)
            Fail("parent and last part");
        if (*parent->Concat(last)->WindowsPointer() != *buffer)
            Fail("parent plus last part is not the list");
    }
    return 0;
}
