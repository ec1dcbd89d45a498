#pragma once

#include "core/platform/INamespace.h"
#include "core/platform/IViewState.h"
#include "core/platform/ViewStateStore.h"

#include <memory>
#include <mutex>

namespace kiv::pf::lnx {

// View state kept in one file, "viewstate.json" in the user's state folder
// ($XDG_STATE_HOME/tovaline). Folders are named by their parsing name, so a bag follows the
// folder's path. The file is read on first use; after changes it is written again on a thread of
// its own (replaced whole, never half written), once for a burst of changes, and at the latest
// when the last bag and the platform are gone.
class TLinuxViewState final : public IViewState
{
public:
    explicit TLinuxViewState(INamespace& pNamespace);
    ~TLinuxViewState() override;

    HResult OpenBag(const IdSpan* pFolder, const QString& pName, std::uint32_t pFlags,
                    IPropertyBagPtr& pBag) override;

private:
    // The store for the current state folder (read when the folder changed; tests move it).
    std::shared_ptr<TViewStateStore> Store(QString& pFile);

    class TSaver;
    std::shared_ptr<TSaver> Saver();

    INamespace& fNamespace;
    std::mutex fLock;
    QString fFile;
    std::shared_ptr<TViewStateStore> fStore;
    std::shared_ptr<TSaver> fSaver;
};

} // namespace kiv::pf::lnx
