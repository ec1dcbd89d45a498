#include "core/threading/QtUiDispatcher.h"

#include "core/threading/ThreadingHooks.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>
#include <QTimer>

#include <atomic>

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
// Qt hands posted events over with its own futex-based lock, which the thread sanitizer does not
// see; tell it that the wake-up event carries the poster's writes to the receiver.
#define KIV_TSAN_RELEASE(p) __tsan_release(p)
#define KIV_TSAN_ACQUIRE(p) __tsan_acquire(p)
#else
#define KIV_TSAN_RELEASE(p) static_cast<void>(p)
#define KIV_TSAN_ACQUIRE(p) static_cast<void>(p)
#endif

namespace kiv {

namespace {

QEvent::Type WakeEventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// The id of the application object's thread, recorded when the application object is made:
// the dispatcher may be made later by a worker, which cannot ask the busy main thread.
std::atomic<std::thread::id> gApplicationThread{};

void RecordApplicationThread()
{
    gApplicationThread.store(std::this_thread::get_id());
}

std::thread::id ApplicationThreadId()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || app->thread() == QThread::currentThread())
        return std::this_thread::get_id();
    const std::thread::id recorded = gApplicationThread.load();
    return recorded == std::thread::id() ? std::this_thread::get_id() : recorded;
}

class TQtUiTimer final : public pf::IUiTimer
{
public:
    TQtUiTimer(int pIntervalMs, bool pRepeat, std::function<void()> pOnTick)
    {
        fTimer.setInterval(pIntervalMs);
        fTimer.setSingleShot(!pRepeat);
        QObject::connect(&fTimer, &QTimer::timeout, [tick = std::move(pOnTick)] {
            try {
                tick();
            } catch (...) {
                threading::HandleException(std::current_exception());
            }
        });
    }
    void Start() override { fTimer.start(); }
    void Stop() override { fTimer.stop(); }
    bool IsActive() const override { return fTimer.isActive(); }
    void SetInterval(int pMilliseconds) override { fTimer.setInterval(pMilliseconds); }

private:
    QTimer fTimer;
};

} // namespace

Q_COREAPP_STARTUP_FUNCTION(RecordApplicationThread)

QtUiDispatcher::QtUiDispatcher()
    : TUiCallQueue(ApplicationThreadId())
{
    if (QCoreApplication* app = QCoreApplication::instance())
        moveToThread(app->thread());
}

QtUiDispatcher::~QtUiDispatcher()
{
    Shutdown();
}

void QtUiDispatcher::ProcessEvents()
{
    if (!IsUiThread())
        return;
    QCoreApplication::processEvents();
    DrainPending();
}

std::unique_ptr<pf::IUiTimer> QtUiDispatcher::CreateTimer(int pIntervalMs, bool pRepeat,
                                                          std::function<void()> pOnTick)
{
    return std::make_unique<TQtUiTimer>(pIntervalMs, pRepeat, std::move(pOnTick));
}

bool QtUiDispatcher::event(QEvent* pEvent)
{
    KIV_TSAN_ACQUIRE(pEvent);
    if (pEvent->type() != WakeEventType())
        return QObject::event(pEvent);
    WakeHandled();
    DrainPending();
    return true;
}

void QtUiDispatcher::RequestWake()
{
    auto* wake = new QEvent(WakeEventType()); // owned by Qt's event queue once posted
    KIV_TSAN_RELEASE(wake);
    QCoreApplication::postEvent(this, wake);
}

} // namespace kiv
