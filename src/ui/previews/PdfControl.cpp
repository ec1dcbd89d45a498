#include "PdfControl.h"

#include "PageView.h"
#include "PdfRender.h"
#include "PreviewContent.h"
#include "WidgetPreviewHandler.h"

#include <QCoreApplication>

#include <thread>

namespace kiv::ui {

struct TPdfControl::TState
{
    QPointer<TPageView> View; // read on the user-interface thread only
    int Generation = 0;       // counts sources; user-interface thread only
};

namespace {
// Pages a fallback view renders: the first pages, as the preview handler does.
constexpr int kMaxPages = 10;
constexpr int kPageWidth = 1000;
} // namespace

TPdfControl::TPdfControl(QWidget* pParent)
    : fView(new TPageView(pParent))
    , fState(std::make_shared<TState>())
{
    fState->View = fView;
    fView->hide();
}

TPdfControl::~TPdfControl()
{
    Close();
}

pf::HResult TPdfControl::SetSource(const QString& pSource)
{
    if (!OnUiThread())
        return RPC_E_WRONG_THREAD;
    if (!fView)
        return pf::E_UNEXPECTED;
    if (!PdfRenderingAvailable())
        return pf::E_NOTIMPL;
    // "path#view=Fit&pagemode=none&toolbar=0...": the page is always fitted and there are no bars
    // or page lists here, so the parameters after "#" ask for nothing this view does not do.
    const QString path = pSource.section(u'#', 0, 0);
    const int generation = ++fState->Generation;
    fView->SetPages({});
    std::weak_ptr<TState> state = fState;
    // The thread is left to finish on its own: Close never waits for a slow document.
    std::thread([path, generation, state]() {
        QByteArray bytes;
        bool truncated = false;
        std::vector<QImage> pages;
        if (pf::Succeeded(ReadFileHead(path, 256u << 20, bytes, truncated)) && !truncated)
            RenderPdfPages(bytes, kPageWidth, kMaxPages, pages);
        // The application may have ended while the document was rendered.
        QCoreApplication* app = QCoreApplication::instance();
        if (!app)
            return;
        QMetaObject::invokeMethod(
            app,
            [state, generation, rendered = std::move(pages)]() mutable {
                const std::shared_ptr<TState> alive = state.lock();
                if (alive && alive->View && alive->Generation == generation)
                    alive->View->SetPages(std::move(rendered));
            },
            Qt::QueuedConnection);
    }).detach();
    return pf::S_OK;
}

pf::HResult TPdfControl::SetLayoutMode(const QString& pMode)
{
    if (!OnUiThread())
        return RPC_E_WRONG_THREAD;
    if (!fView)
        return pf::E_UNEXPECTED;
    fView->SetLayout(pMode.compare(QLatin1String("SinglePage"), Qt::CaseInsensitive) == 0
                         ? TPageView::TLayout::SinglePage
                         : TPageView::TLayout::FitWidth);
    return pf::S_OK;
}

pf::HResult TPdfControl::SetRect(const QRect& pRect)
{
    return SetWidgetRect(fView.data(), pRect);
}

void TPdfControl::SetVisible(bool pVisible)
{
    if (fView && OnUiThread())
        fView->setVisible(pVisible);
}

void TPdfControl::Close()
{
    if (fView)
        fView->deleteLater();
    fView = nullptr;
}

} // namespace kiv::ui
