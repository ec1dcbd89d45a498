#pragma once

// The background listing of a slow folder. The work item owns its own copy of the folder
// component (error messages off) and hands every object it finds to the change notifier's
// OnChangePIDL on the user-interface thread, waiting for each hand-over (Send), so the objects
// arrive one by one, in the folder's order, while the list fills. Each object comes as
// neAsyncResult (neFolderCreate / neFileCreate in the Network and network-shortcut folders) with
// its absolute list; nePopulated with the folder's list ends the listing.
//
// Cancellation: the component that started the item terminates it when it starts another
// listing or goes away, and the notifier's token cancels it when the notifier goes. Both happen
// on the user-interface thread, where each hand-over checks the item again before it runs, so
// nothing is delivered after a cancellation. The item may be dropped at shutdown.
//
// Passes: one for ordinary folders. The Network and network-shortcut folders fill in slowly
// (hosts answer one by one), so they are listed again, up to 10 passes, 3000 ms apart, until a
// pass takes more than 1500 ms or, from the fourth pass on, finds no more objects than the one
// before.

#include "core/notify/KivShellChangeNotifier.h"
#include "core/threading/KivThreading.h"

#include <chrono>
#include <memory>
#include <stop_token>

namespace kiv {

class TWayfold;

class TShellFolderEnumeratorWorkItem final : public TBasicWorkItem
{
public:
    static constexpr int kMaxPasses = 10;
    static constexpr std::chrono::milliseconds kLongPass{1500};
    static constexpr std::chrono::milliseconds kPassPause{3000};

    // Made with the notifier's token and queued on the global pool (Normal).
    static IWorkItemPtr Create(TKivShellChangeNotifier& pNotifier, const TWayfold& pComponent);
    // Only made: tagged with the component's owner, no token.
    static std::shared_ptr<TShellFolderEnumeratorWorkItem>
    CreateNoAdd(TKivShellChangeNotifier& pNotifier, const TWayfold& pComponent);
    static IWorkItemPtr CreateAndQueue(TKivShellChangeNotifier& pNotifier,
                                       const TWayfold& pComponent);
    // Lists pFolder with a component of its own.
    static IWorkItemPtr CreateAndQueue(TKivShellChangeNotifier& pNotifier,
                                       const IItemIdListPtr& pFolder);

    TShellFolderEnumeratorWorkItem(TKivShellChangeNotifier& pNotifier, const TWayfold& pComponent,
                                   ICancellationIndicatorPtr pCancellationToken);
    ~TShellFolderEnumeratorWorkItem() override;

    void DoWork() override;
    // Reports through the handler during the work: nothing to deliver at the end.
    void Finished() override {}
    void Terminate() noexcept override;

    // The pause between passes (kPassPause); set before the item is queued.
    void SetPassPause(std::chrono::milliseconds pPause) { fPassPause = pPause; }

private:
    // Calls the handler on the user-interface thread and waits; false when cancelled first.
    bool Deliver(TNotificationEvent pEvent, const IItemIdListPtr& pItem1);
    // One pass over the folder; the number of objects found.
    int Pass(bool pNetwork);

    TKivShellChangeNotifier* fNotifier;
    TKivShellChangeNotifier::TKivShellNotifierEventPIDL fChangeEvent;
    std::unique_ptr<TWayfold> fWayfold;
    std::stop_source fStop;
    std::chrono::milliseconds fPassPause = kPassPause;
};

} // namespace kiv
