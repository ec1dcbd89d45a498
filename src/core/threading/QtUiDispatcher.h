#pragma once

// The user-interface dispatcher on Qt's event loop. Lives in the thread of the application
// object (the GUI thread); a queued call posts one wake-up event per batch, and the event
// handler runs the calls queued before it started. Only Qt Core is used, so it sits with the
// rest of the background machinery in the core library and needs no widgets.

#include "core/threading/UiCallQueue.h"

#include <QObject>

namespace kiv {

class QtUiDispatcher final
    : public QObject
    , public TUiCallQueue
{
public:
    // Binds to the thread of the QCoreApplication when one exists, else to the calling thread.
    QtUiDispatcher();
    ~QtUiDispatcher() override;

    void ProcessEvents() override;
    std::unique_ptr<pf::IUiTimer> CreateTimer(int pIntervalMs, bool pRepeat,
                                              std::function<void()> pOnTick) override;

protected:
    bool event(QEvent* pEvent) override;
    void RequestWake() override;
};

} // namespace kiv
