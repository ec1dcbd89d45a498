#include "LinuxDragDrop.h"

#include "GvfsUris.h"
#include "LinuxClipboard.h"
#include "core/platform/DataObject.h"
#include "core/platform/IIcons.h"
#include "core/platform/IPlatform.h"
#include "core/platform/NullDropTargetHelper.h"
#include "core/shell/ClipboardFiles.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QPainter>
#include <QPixmap>
#include <QThread>
#include <QWidget>

#include <algorithm>
#include <functional>
#include <optional>
#include <unordered_map>
#include <utility>

namespace kiv::pf::lnx {

namespace {

std::uint32_t EffectsOfActions(Qt::DropActions pActions)
{
    std::uint32_t effects = DROPEFFECT_NONE;
    if (pActions & Qt::CopyAction)
        effects |= DROPEFFECT_COPY;
    if (pActions & Qt::MoveAction)
        effects |= DROPEFFECT_MOVE;
    if (pActions & Qt::LinkAction)
        effects |= DROPEFFECT_LINK;
    return effects;
}

Qt::DropActions ActionsOfEffects(std::uint32_t pEffects)
{
    Qt::DropActions actions = Qt::IgnoreAction;
    if (pEffects & DROPEFFECT_COPY)
        actions |= Qt::CopyAction;
    if (pEffects & DROPEFFECT_MOVE)
        actions |= Qt::MoveAction;
    if (pEffects & DROPEFFECT_LINK)
        actions |= Qt::LinkAction;
    return actions;
}

// The one action a drop performs when a target names several effects: the one the user asked
// for with the modifier keys (Qt's proposal) when it is among them, else copy, move, link.
Qt::DropAction ActionOfEffects(std::uint32_t pEffects, Qt::DropAction pProposed)
{
    const Qt::DropActions actions = ActionsOfEffects(pEffects);
    if (actions & pProposed)
        return pProposed;
    for (const Qt::DropAction action : {Qt::CopyAction, Qt::MoveAction, Qt::LinkAction}) {
        if (actions & action)
            return action;
    }
    return Qt::IgnoreAction;
}

std::uint32_t KeyStateOf(Qt::MouseButtons pButtons, Qt::KeyboardModifiers pModifiers)
{
    std::uint32_t state = 0;
    if (pButtons & Qt::LeftButton)
        state |= mk::LBUTTON;
    if (pButtons & Qt::RightButton)
        state |= mk::RBUTTON;
    if (pButtons & Qt::MiddleButton)
        state |= mk::MBUTTON;
    if (pModifiers & Qt::ShiftModifier)
        state |= mk::SHIFT;
    if (pModifiers & Qt::ControlModifier)
        state |= mk::CONTROL;
    if (pModifiers & Qt::AltModifier)
        state |= mk::ALT;
    return state;
}

bool OnUiThread()
{
    const QCoreApplication* app = QCoreApplication::instance();
    return qobject_cast<const QApplication*>(app) && QThread::currentThread() == app->thread();
}

// The widget behind a WindowRef, when it is one that exists now.
QWidget* LiveWidget(WindowRef pWindow)
{
    if (!pWindow)
        return nullptr;
    auto* widget = static_cast<QWidget*>(const_cast<void*>(pWindow));
    // Compared as pointers only: nothing is read through pWindow before it is known to live.
    return QApplication::allWidgets().contains(widget) ? widget : nullptr;
}

// Target and source calls are the family's code: whatever they throw stays on this side of the
// event loop and counts as a failure.
HResult Guarded(const std::function<HResult()>& pCall)
{
    try {
        return pCall();
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// The picture a data object is dragged with, set by the source helper and read by the drag
// loop. One drag runs at a time, so one picture is kept.
struct TDragImage
{
    std::weak_ptr<IDataObject> Data;
    QImage Image;
    QPoint HotSpot;
};

// Icons of up to this many items make the picture; 48 pixels is the size of the big icons.
constexpr int kImageIcons = 3;
constexpr int kImageIconPixels = 48;
constexpr int kImageIconOffset = 10;

QImage IconStack(const QStringList& pPaths)
{
    if (pPaths.isEmpty() || !HasPlatform())
        return {};
    IIcons& icons = Platform().Icons();
    const int count = static_cast<int>(std::min<qsizetype>(pPaths.size(), kImageIcons));
    const int side = kImageIconPixels + (count - 1) * kImageIconOffset;
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    // The first item on top: drawn last.
    for (int i = count - 1; i >= 0; --i) {
        // By name only: the user-interface thread looks at no file here.
        const int index = icons.IconIndexOfPath(pPaths[i], false, true);
        const QImage icon = index < 0 ? QImage() : icons.Render(index, kImageIconPixels);
        if (!icon.isNull())
            painter.drawImage(i * kImageIconOffset, i * kImageIconOffset, icon);
    }
    return image;
}

class TDragSourceHelper final : public IDragSourceHelper
{
public:
    explicit TDragSourceHelper(std::shared_ptr<TDragImage> pImage)
        : fImage(std::move(pImage))
    {
    }
    HResult SetFlags(std::uint32_t) override { return S_OK; }
    HResult InitializeFromWindow(WindowRef, QPoint, const IDataObjectPtr& pData) override
    {
        if (!pData)
            return E_INVALIDARG;
        QByteArray bytes;
        if (Failed(pData->GetData(ClipFormat::HDrop, bytes)))
            return E_FAIL;
        const QImage image = IconStack(TClipboardFiles::ParseDropFiles(bytes));
        if (image.isNull())
            return E_FAIL;
        return InitializeFromBitmap(image, QPoint(kImageIconPixels / 2, kImageIconPixels / 2),
                                    pData);
    }
    HResult InitializeFromBitmap(const QImage& pImage, QPoint pHotSpot,
                                 const IDataObjectPtr& pData) override
    {
        if (!pData || pImage.isNull())
            return E_INVALIDARG;
        *fImage = {pData, pImage, pHotSpot};
        return S_OK;
    }

private:
    std::shared_ptr<TDragImage> fImage;
};

class TWidgetDragDrop;

// Passes the registered widgets' drag events to the service.
class TDragEventFilter final : public QObject
{
public:
    explicit TDragEventFilter(TWidgetDragDrop& pOwner)
        : fOwner(pOwner)
    {
    }
    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

private:
    TWidgetDragDrop& fOwner;
};

class TWidgetDragDrop final : public IDragDrop
{
public:
    TWidgetDragDrop() = default;
    ~TWidgetDragDrop() override;
    TWidgetDragDrop(const TWidgetDragDrop&) = delete;
    TWidgetDragDrop& operator=(const TWidgetDragDrop&) = delete;

    HResult Register(WindowRef pWindow, const IDropTargetPtr& pTarget) override;
    HResult Revoke(WindowRef pWindow) override;
    HResult CreateDropTargetHelper(IDropTargetHelperPtr& pHelper) override;
    HResult CreateDragSourceHelper(IDragSourceHelperPtr& pHelper) override;
    HResult DoDragDrop(WindowRef pWindow, const IDataObjectPtr& pData,
                       const IDropSourcePtr& pSource, std::uint32_t pOkEffects,
                       std::uint32_t& pEffect) override;
    TDragMetrics GetDragMetrics() override;

    // True when pEvent was a drag event of a registered widget (it is then consumed).
    bool Filter(QObject* pWatched, QEvent* pEvent);

private:
    struct TRegistration
    {
        QWidget* Widget = nullptr;
        IDropTargetPtr Target;
        bool HadAcceptDrops = false;
        QMetaObject::Connection Destroyed;
        // The drag over the widget now: its data, whether the target took the enter, and the
        // effect last answered (a drop where it was none is a leave).
        IDataObjectPtr Data;
        bool Entered = false;
        std::uint32_t LastEffect = DROPEFFECT_NONE;
    };
    // The drag this program runs now.
    struct TActiveDrag
    {
        const QMimeData* Mime = nullptr;
        IDataObjectPtr Data;
        // The mk:: button that started it.
        std::uint32_t Button = 0;
    };

    TRegistration* Find(const QObject* pWidget);
    IDataObjectPtr DataOfDrag(const QMimeData* pMime) const;
    std::uint32_t KeyStateOfDrag(const QDropEvent& pEvent) const;
    void Enter(const QWidget* pWidget, QDragEnterEvent& pEvent);
    void Move(const QWidget* pWidget, QDragMoveEvent& pEvent);
    void Leave(const QWidget* pWidget);
    void DropOn(const QWidget* pWidget, QDropEvent& pEvent);
    static void Answer(TRegistration& pRegistration, QDragMoveEvent& pEvent, std::uint32_t pEffect);
    void Unregister(const QWidget* pWidget, bool pWidgetLives);

    TDragEventFilter fFilter{*this};
    std::unordered_map<const QObject*, TRegistration> fTargets;
    std::optional<TActiveDrag> fActive;
    std::shared_ptr<TDragImage> fImage = std::make_shared<TDragImage>();
};

bool TDragEventFilter::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    return fOwner.Filter(pWatched, pEvent);
}

TWidgetDragDrop::~TWidgetDragDrop()
{
    while (!fTargets.empty())
        Unregister(static_cast<const QWidget*>(fTargets.begin()->first), true);
}

HResult TWidgetDragDrop::Register(WindowRef pWindow, const IDropTargetPtr& pTarget)
{
    if (!OnUiThread())
        return E_UNEXPECTED;
    QWidget* widget = LiveWidget(pWindow);
    if (!widget)
        return DRAGDROP_E_INVALIDHWND;
    if (!pTarget)
        return E_INVALIDARG;
    if (fTargets.contains(widget))
        return DRAGDROP_E_ALREADYREGISTERED;
    TRegistration& registration = fTargets[widget];
    registration.Widget = widget;
    registration.Target = pTarget;
    registration.HadAcceptDrops = widget->acceptDrops();
    // A widget that goes takes its registration with it (and the hold on the target).
    registration.Destroyed = QObject::connect(widget, &QObject::destroyed, &fFilter,
                                              [this, widget] { Unregister(widget, false); });
    widget->installEventFilter(&fFilter);
    widget->setAcceptDrops(true);
    return S_OK;
}

HResult TWidgetDragDrop::Revoke(WindowRef pWindow)
{
    if (!OnUiThread())
        return E_UNEXPECTED;
    const auto* widget = static_cast<const QWidget*>(pWindow);
    if (!pWindow || !fTargets.contains(widget))
        return DRAGDROP_E_NOTREGISTERED;
    Unregister(widget, true);
    return S_OK;
}

void TWidgetDragDrop::Unregister(const QWidget* pWidget, bool pWidgetLives)
{
    const auto found = fTargets.find(pWidget);
    if (found == fTargets.end())
        return;
    // Taken out first: the target may be the last owner of something that revokes again.
    TRegistration registration = std::move(found->second);
    fTargets.erase(found);
    QObject::disconnect(registration.Destroyed);
    if (pWidgetLives) {
        registration.Widget->removeEventFilter(&fFilter);
        registration.Widget->setAcceptDrops(registration.HadAcceptDrops);
    }
}

HResult TWidgetDragDrop::CreateDropTargetHelper(IDropTargetHelperPtr& pHelper)
{
    // Qt draws the drag picture itself, over every window: nothing to add.
    pHelper = std::make_shared<TNullDropTargetHelper>();
    return S_OK;
}

HResult TWidgetDragDrop::CreateDragSourceHelper(IDragSourceHelperPtr& pHelper)
{
    pHelper = std::make_shared<TDragSourceHelper>(fImage);
    return S_OK;
}

TDragMetrics TWidgetDragDrop::GetDragMetrics()
{
    const int distance = QApplication::startDragDistance();
    return {distance, distance};
}

HResult TWidgetDragDrop::DoDragDrop(WindowRef pWindow, const IDataObjectPtr& pData,
                                    const IDropSourcePtr& pSource, std::uint32_t pOkEffects,
                                    std::uint32_t& pEffect)
{
    pEffect = DROPEFFECT_NONE;
    if (!pData || !pSource || (pOkEffects & DROPEFFECT_ALL) == 0)
        return E_INVALIDARG;
    // One drag at a time: a second loop inside the first one would never end properly.
    if (!OnUiThread() || fActive)
        return E_UNEXPECTED;
    QWidget* widget = LiveWidget(pWindow);
    // Qt deletes the drag object itself once the loop is over.
    auto* drag = widget ? new QDrag(widget) : new QDrag(&fFilter);
    QMimeData* mime = MimeDataFromDataObject(*pData);
    drag->setMimeData(mime);
    if (fImage->Data.lock() == pData) {
        drag->setPixmap(QPixmap::fromImage(fImage->Image));
        drag->setHotSpot(fImage->HotSpot);
    }
    *fImage = {};
    const QMetaObject::Connection feedback =
        QObject::connect(drag, &QDrag::actionChanged, &fFilter, [pSource](Qt::DropAction pAction) {
            Guarded([&] { return pSource->GiveFeedback(EffectsOfActions(pAction)); });
        });
    const std::uint32_t buttons = KeyStateOf(QGuiApplication::mouseButtons(), {});
    fActive = TActiveDrag{mime, pData, buttons & mk::RBUTTON ? mk::RBUTTON : buttons & mk::BUTTONS};
    const Qt::DropActions ok = ActionsOfEffects(pOkEffects);
    const Qt::DropAction preferred = ActionOfEffects(pOkEffects, Qt::MoveAction);
    const Qt::DropAction done = drag->exec(ok, preferred);
    fActive.reset();
    QObject::disconnect(feedback);
    pEffect = EffectsOfActions(done) & pOkEffects;
    return done == Qt::IgnoreAction ? DRAGDROP_S_CANCEL : DRAGDROP_S_DROP;
}

TWidgetDragDrop::TRegistration* TWidgetDragDrop::Find(const QObject* pWidget)
{
    const auto found = fTargets.find(pWidget);
    return found == fTargets.end() ? nullptr : &found->second;
}

IDataObjectPtr TWidgetDragDrop::DataOfDrag(const QMimeData* pMime) const
{
    if (!pMime)
        return std::make_shared<TDataObject>();
    if (fActive && fActive->Mime == pMime)
        return fActive->Data;
    return DataObjectFromMimeData(*pMime, GvfsUriMapper());
}

std::uint32_t TWidgetDragDrop::KeyStateOfDrag(const QDropEvent& pEvent) const
{
    std::uint32_t state = KeyStateOf(pEvent.buttons(), pEvent.modifiers());
    if (fActive && fActive->Mime == pEvent.mimeData())
        state |= fActive->Button;
    return state;
}

bool TWidgetDragDrop::Filter(QObject* pWatched, QEvent* pEvent)
{
    switch (pEvent->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::DragLeave:
    case QEvent::Drop:
        break;
    default:
        return false;
    }
    TRegistration* registration = Find(pWatched);
    if (!registration)
        return false;
    const QWidget* widget = registration->Widget;
    switch (pEvent->type()) {
    case QEvent::DragEnter:
        Enter(widget, static_cast<QDragEnterEvent&>(*pEvent));
        break;
    case QEvent::DragMove:
        Move(widget, static_cast<QDragMoveEvent&>(*pEvent));
        break;
    case QEvent::DragLeave:
        Leave(widget);
        break;
    default:
        DropOn(widget, static_cast<QDropEvent&>(*pEvent));
        break;
    }
    return true;
}

void TWidgetDragDrop::Answer(TRegistration& pRegistration, QDragMoveEvent& pEvent,
                             std::uint32_t pEffect)
{
    pRegistration.LastEffect = pEffect;
    if (pEffect == DROPEFFECT_NONE) {
        pEvent.setDropAction(Qt::IgnoreAction);
        // An enter is taken all the same, or Qt sends no moves and the target could not change
        // its mind further on.
        if (pEvent.type() == QEvent::DragEnter)
            pEvent.accept();
        else
            pEvent.ignore();
        return;
    }
    pEvent.setDropAction(ActionOfEffects(pEffect, pEvent.proposedAction()));
    pEvent.accept();
}

void TWidgetDragDrop::Enter(const QWidget* pWidget, QDragEnterEvent& pEvent)
{
    TRegistration* registration = Find(pWidget);
    registration->Data = DataOfDrag(pEvent.mimeData());
    registration->Entered = false;
    registration->LastEffect = DROPEFFECT_NONE;
    const std::uint32_t allowed = EffectsOfActions(pEvent.possibleActions());
    std::uint32_t effect = allowed;
    const IDropTargetPtr target = registration->Target;
    const IDataObjectPtr data = registration->Data;
    const HResult result = Guarded([&] {
        return target->DragEnter(data, KeyStateOfDrag(pEvent),
                                 pWidget->mapToGlobal(pEvent.position()).toPoint(), effect);
    });
    // The target may have revoked its registration meanwhile.
    registration = Find(pWidget);
    if (!registration || Failed(result)) {
        if (registration)
            registration->Data.reset();
        pEvent.ignore();
        return;
    }
    registration->Entered = true;
    Answer(*registration, pEvent, effect & allowed);
}

void TWidgetDragDrop::Move(const QWidget* pWidget, QDragMoveEvent& pEvent)
{
    TRegistration* registration = Find(pWidget);
    if (!registration->Entered) {
        pEvent.ignore();
        return;
    }
    const std::uint32_t allowed = EffectsOfActions(pEvent.possibleActions());
    std::uint32_t effect = allowed;
    const IDropTargetPtr target = registration->Target;
    const HResult result = Guarded([&] {
        return target->DragOver(KeyStateOfDrag(pEvent),
                                pWidget->mapToGlobal(pEvent.position()).toPoint(), effect);
    });
    registration = Find(pWidget);
    if (!registration) {
        pEvent.ignore();
        return;
    }
    Answer(*registration, pEvent, Failed(result) ? DROPEFFECT_NONE : effect & allowed);
}

void TWidgetDragDrop::Leave(const QWidget* pWidget)
{
    TRegistration* registration = Find(pWidget);
    const bool entered = std::exchange(registration->Entered, false);
    registration->Data.reset();
    if (entered) {
        const IDropTargetPtr target = registration->Target;
        Guarded([&] { return target->DragLeave(); });
    }
}

void TWidgetDragDrop::DropOn(const QWidget* pWidget, QDropEvent& pEvent)
{
    TRegistration* registration = Find(pWidget);
    const bool entered = std::exchange(registration->Entered, false);
    const IDataObjectPtr data =
        registration->Data ? std::exchange(registration->Data, {}) : DataOfDrag(pEvent.mimeData());
    const IDropTargetPtr target = registration->Target;
    pEvent.setDropAction(Qt::IgnoreAction);
    pEvent.ignore();
    if (!entered)
        return;
    // Where the target last said no, the drop is no drop but the end of the drag.
    if (registration->LastEffect == DROPEFFECT_NONE) {
        Guarded([&] { return target->DragLeave(); });
        return;
    }
    const std::uint32_t allowed = EffectsOfActions(pEvent.possibleActions());
    std::uint32_t effect = allowed;
    // The button was released to drop: it is no longer held.
    const std::uint32_t keyState = KeyStateOf({}, pEvent.modifiers());
    const HResult result = Guarded([&] {
        return target->Drop(data, keyState, pWidget->mapToGlobal(pEvent.position()).toPoint(),
                            effect);
    });
    const std::uint32_t done = Failed(result) ? DROPEFFECT_NONE : effect & allowed;
    if (done == DROPEFFECT_NONE)
        return;
    pEvent.setDropAction(ActionOfEffects(done, pEvent.proposedAction()));
    pEvent.accept();
}

} // namespace

std::unique_ptr<IDragDrop> CreateWidgetDragDrop()
{
    return std::make_unique<TWidgetDragDrop>();
}

} // namespace kiv::pf::lnx
