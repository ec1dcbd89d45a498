#pragma once

#include "core/platform/ChangeNotifyHub.h"
#include "core/platform/IChangeNotify.h"

#include <atomic>
#include <cstdint>
#include <vector>

namespace kiv::pf::mem {

// Change notification for tests: records registrations, lets the test fire events, and delivers
// them through the shared hub, queued to the installed user-interface dispatcher (a test with
// the manual dispatcher runs them when it wants). Thread-safe.
class TMemoryChangeNotify final : public IChangeNotify
{
public:
    explicit TMemoryChangeNotify(INamespace& pNamespace);

    std::uint32_t Register(std::weak_ptr<IChangeSink> pSink, std::uint32_t pSources,
                           std::uint32_t pEventMask, std::uint32_t pMessage,
                           const std::vector<ChangeNotifyEntry>& pEntries) override;
    bool Deregister(std::uint32_t pId) override;
    // Shell-level: reaches the registrations that asked for it.
    void Notify(std::uint32_t pEvent, std::uint32_t pFlags, const IdSpan* pList1,
                const IdSpan* pList2) override;

    // ---- for tests ----
    // An event as the file system would report it: every registration it concerns.
    void Fire(std::uint32_t pEvent, const IdListBytes& pList1, const IdListBytes& pList2 = {});
    // An event for every registration, concerned or not (events whose lists are no items, such
    // as the free-space drive mask).
    void FireToAll(std::uint32_t pEvent, const IdListBytes& pList1, const IdListBytes& pList2 = {});
    std::vector<TChangeRegistration> Registrations() const { return fHub.Registrations(); }
    int Deregistrations() const { return fDeregistrations.load(); }
    // Refused registrations answer 0, as a platform that cannot watch the item.
    void SetRefuseRegistrations(bool pRefuse) { fRefuse.store(pRefuse); }
    TChangeNotifyHub& Hub() { return fHub; }

private:
    TChangeNotifyHub fHub;
    std::atomic<bool> fRefuse{false};
    std::atomic<int> fDeregistrations{0};
};

} // namespace kiv::pf::mem
