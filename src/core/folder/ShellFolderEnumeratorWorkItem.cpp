#include "core/folder/ShellFolderEnumeratorWorkItem.h"

#include "core/folder/Wayfold.h"
#include "core/platform/UiDispatcher.h"
#include "core/shell/KivExceptions.h"
#include "core/shell/KivItemIdList.h"
#include "core/threading/ThreadingHooks.h"

namespace kiv {

using F = TKivShellFolder;

TShellFolderEnumeratorWorkItem::TShellFolderEnumeratorWorkItem(
    TKivShellChangeNotifier& pNotifier, const TWayfold& pComponent,
    ICancellationIndicatorPtr pCancellationToken)
    : TBasicWorkItem(std::move(pCancellationToken))
    , fNotifier(&pNotifier)
    , fChangeEvent(pNotifier.OnChangePIDL)
    , fWayfold(TWayfold::CreateCopy(pComponent))
{
    fWayfold->SetShowErrorMessages(false);
    fWayfold->SetEnumerationStopToken(fStop.get_token());
}

TShellFolderEnumeratorWorkItem::~TShellFolderEnumeratorWorkItem() = default;

IWorkItemPtr TShellFolderEnumeratorWorkItem::Create(TKivShellChangeNotifier& pNotifier,
                                                    const TWayfold& pComponent)
{
    auto item = std::make_shared<TShellFolderEnumeratorWorkItem>(pNotifier, pComponent,
                                                                 pNotifier.CancellationToken());
    TWorkerPool::GlobalInstance()->AddWorkItem(item, TPriority::Normal);
    return item;
}

std::shared_ptr<TShellFolderEnumeratorWorkItem>
TShellFolderEnumeratorWorkItem::CreateNoAdd(TKivShellChangeNotifier& pNotifier,
                                            const TWayfold& pComponent)
{
    auto item = std::make_shared<TShellFolderEnumeratorWorkItem>(pNotifier, pComponent, nullptr);
    item->SetTag(reinterpret_cast<std::intptr_t>(pComponent.Owner()));
    return item;
}

IWorkItemPtr TShellFolderEnumeratorWorkItem::CreateAndQueue(TKivShellChangeNotifier& pNotifier,
                                                            const TWayfold& pComponent)
{
    return Create(pNotifier, pComponent);
}

IWorkItemPtr TShellFolderEnumeratorWorkItem::CreateAndQueue(TKivShellChangeNotifier& pNotifier,
                                                            const IItemIdListPtr& pFolder)
{
    TWayfold component;
    component.SetFolderIdList(pFolder);
    return Create(pNotifier, component);
}

void TShellFolderEnumeratorWorkItem::Terminate() noexcept
{
    fStop.request_stop();
    TBasicWorkItem::Terminate();
}

bool TShellFolderEnumeratorWorkItem::Deliver(TNotificationEvent pEvent,
                                             const IItemIdListPtr& pItem1)
{
    if (IsCancellationRequested())
        return false;
    if (!fChangeEvent)
        return true;
    // The call checks this item again when it starts on the user-interface thread, where the
    // component and the notifier cancel it: a call that runs finds the notifier alive.
    TKivShellChangeNotifier* notifier = fNotifier;
    const auto& handler = fChangeEvent;
    return pf::Ui().Send([notifier, &handler, pEvent,
                          &pItem1] { handler(*notifier, pEvent, pItem1, InvalidItemIdList()); },
                         this, this);
}

int TShellFolderEnumeratorWorkItem::Pass(bool pNetwork)
{
    fWayfold->ResetEnumeration();
    int found = 0;
    while (!IsCancellationRequested() && fWayfold->Next()) {
        ++found;
        TNotificationEvent event = TNotificationEvent::neAsyncResult;
        if (pNetwork)
            event = fWayfold->IsFolder() ? TNotificationEvent::neFolderCreate
                                         : TNotificationEvent::neFileCreate;
        if (!Deliver(event, fWayfold->AbsoluteItemIdList()))
            break;
    }
    return found;
}

void TShellFolderEnumeratorWorkItem::DoWork()
{
    const IItemIdListPtr folder = fWayfold->FolderIdList();
    const bool network = folder && (folder->IsSpecialFolder(F::SF_NETHOOD) ||
                                    folder->IsSpecialFolder(F::SF_NETWORK));
    try {
        int previous = 0;
        for (int pass = 1; pass <= kMaxPasses; ++pass) {
            const std::uint64_t start = threading::TickCount();
            const int found = Pass(network);
            if (IsCancellationRequested() || !network)
                break;
            if (threading::TickCount() - start > static_cast<std::uint64_t>(kLongPass.count()))
                break;
            if (pass >= 4 && found > 0 && found <= previous)
                break;
            previous = found;
            if (pass < kMaxPasses)
                WaitForState([this] { return IsCancellationRequested(); }, fPassPause);
        }
    } catch (const EWayfoldError&) {
        // The folder failed or went away: what was found stands, and the listing ends.
    } catch (...) {
        if (!IsCancellationRequested())
            throw;
        return;
    }
    Deliver(TNotificationEvent::nePopulated, folder ? folder : InvalidItemIdList());
}

} // namespace kiv
