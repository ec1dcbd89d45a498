#pragma once

#include "core/platform/IViewState.h"
#include "core/platform/ViewStateStore.h"

#include <map>
#include <memory>
#include <mutex>

namespace kiv::pf::mem {

// View state in memory: folders are keyed by their list bytes. Tests make the opening of chosen
// bags fail to reach the fallbacks of their callers.
class TMemoryViewState final : public IViewState
{
public:
    HResult OpenBag(const IdSpan* pFolder, const QString& pName, std::uint32_t pFlags,
                    IPropertyBagPtr& pBag) override;

    // Opening with exactly these flags fails with pResult (S_OK: succeeds again).
    void SetOpenFailure(std::uint32_t pFlags, HResult pResult);
    TViewStateStore& Store() { return *fStore; }

private:
    std::mutex fLock;
    std::map<std::uint32_t, HResult> fFailures;
    std::shared_ptr<TViewStateStore> fStore = std::make_shared<TViewStateStore>();
};

} // namespace kiv::pf::mem
