#include "MemoryChangeNotify.h"

namespace kiv::pf::mem {

TMemoryChangeNotify::TMemoryChangeNotify(INamespace& pNamespace)
    : fHub(pNamespace)
{
}

std::uint32_t TMemoryChangeNotify::Register(std::weak_ptr<IChangeSink> pSink,
                                            std::uint32_t pSources, std::uint32_t pEventMask,
                                            std::uint32_t pMessage,
                                            const std::vector<ChangeNotifyEntry>& pEntries)
{
    if (fRefuse.load() || pEntries.empty())
        return 0;
    return fHub.Add(std::move(pSink), pSources, pEventMask, pMessage, pEntries);
}

bool TMemoryChangeNotify::Deregister(std::uint32_t pId)
{
    fDeregistrations.fetch_add(1);
    return fHub.Remove(pId);
}

void TMemoryChangeNotify::Notify(std::uint32_t pEvent, std::uint32_t /*pFlags*/,
                                 const IdSpan* pList1, const IdSpan* pList2)
{
    fHub.Broadcast(pEvent, pList1 ? pList1->ToBytes() : IdListBytes(),
                   pList2 ? pList2->ToBytes() : IdListBytes(), true);
}

void TMemoryChangeNotify::Fire(std::uint32_t pEvent, const IdListBytes& pList1,
                               const IdListBytes& pList2)
{
    fHub.Broadcast(pEvent, pList1, pList2, false);
}

void TMemoryChangeNotify::FireToAll(std::uint32_t pEvent, const IdListBytes& pList1,
                                    const IdListBytes& pList2)
{
    for (const TChangeRegistration& registration : fHub.Registrations())
        fHub.Deliver(registration.Id, pEvent, pList1, pList2);
}

} // namespace kiv::pf::mem
