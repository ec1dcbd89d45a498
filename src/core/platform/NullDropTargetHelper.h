#pragma once

#include "core/platform/IDragDrop.h"

namespace kiv::pf {

// A drop-target helper that draws nothing and accepts every call: for services where the drag
// picture needs no help from the target's window (Qt draws it over every window itself) or where
// there are no windows at all. Stateless, so any thread may hold one.
class TNullDropTargetHelper final : public IDropTargetHelper
{
public:
    HResult DragEnter(WindowRef, const IDataObjectPtr&, QPoint, std::uint32_t) override
    {
        return S_OK;
    }
    HResult DragOver(QPoint, std::uint32_t) override { return S_OK; }
    HResult DragLeave() override { return S_OK; }
    HResult Drop(const IDataObjectPtr&, QPoint, std::uint32_t) override { return S_OK; }
    HResult Show(bool) override { return S_OK; }
};

} // namespace kiv::pf
