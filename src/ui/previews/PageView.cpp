#include "PageView.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace kiv::ui {

namespace {
// Pixels between stacked pages and around a page shown whole.
constexpr int kGap = 8;
} // namespace

// The scrolled surface: paints the pages scaled to its width (or the one page fitted whole).
class TPageCanvas final : public QWidget
{
public:
    explicit TPageCanvas(QWidget* pParent)
        : QWidget(pParent)
    {
    }

    std::vector<QImage> Pages;
    TPageView::TLayout Layout = TPageView::TLayout::FitWidth;
    int Current = 0;

    // The canvas height for a width (stacked pages as wide as the canvas).
    int StackHeight(int pWidth) const
    {
        int height = kGap;
        for (const QImage& page : Pages)
            height += ScaledHeight(page, pWidth - 2 * kGap) + kGap;
        return height;
    }

protected:
    void paintEvent(QPaintEvent* pEvent) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        if (Pages.empty())
            return;
        if (Layout == TPageView::TLayout::SinglePage) {
            const QImage& page = Pages[static_cast<std::size_t>(Current)];
            const QSize box = size().shrunkBy(QMargins(kGap, kGap, kGap, kGap));
            const QSize fitted =
                page.size().scaled(box.expandedTo(QSize(1, 1)), Qt::KeepAspectRatio);
            const QRect target(
                QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
            painter.drawImage(target, page);
            return;
        }
        const int pageWidth = std::max(1, width() - 2 * kGap);
        int top = kGap;
        for (const QImage& page : Pages) {
            const QRect target(kGap, top, pageWidth, ScaledHeight(page, pageWidth));
            if (target.intersects(pEvent->rect()))
                painter.drawImage(target, page);
            top = target.bottom() + 1 + kGap;
        }
    }

private:
    static int ScaledHeight(const QImage& pPage, int pWidth)
    {
        if (pPage.width() <= 0)
            return 0;
        return std::max(1, static_cast<int>(static_cast<qint64>(pPage.height()) *
                                            std::max(1, pWidth) / pPage.width()));
    }
};

TPageView::TPageView(QWidget* pParent)
    : QScrollArea(pParent)
    , fCanvas(new TPageCanvas(this))
{
    setWidget(fCanvas);
    setWidgetResizable(false);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    Relayout();
}

void TPageView::SetPages(std::vector<QImage> pPages)
{
    fCanvas->Pages = std::move(pPages);
    fCanvas->Current = 0;
    Relayout();
}

const std::vector<QImage>& TPageView::Pages() const
{
    return fCanvas->Pages;
}

void TPageView::SetLayout(TLayout pLayout)
{
    fCanvas->Layout = pLayout;
    setVerticalScrollBarPolicy(pLayout == TLayout::SinglePage ? Qt::ScrollBarAlwaysOff
                                                              : Qt::ScrollBarAsNeeded);
    Relayout();
}

TPageView::TLayout TPageView::Layout() const
{
    return fCanvas->Layout;
}

int TPageView::CurrentPage() const
{
    return fCanvas->Current;
}

void TPageView::SetBackground(const QColor& pColor)
{
    QPalette palette = viewport()->palette();
    palette.setColor(QPalette::Window, pColor);
    viewport()->setPalette(palette);
    viewport()->setAutoFillBackground(true);
}

void TPageView::resizeEvent(QResizeEvent* pEvent)
{
    QScrollArea::resizeEvent(pEvent);
    Relayout();
}

void TPageView::keyPressEvent(QKeyEvent* pEvent)
{
    if (fCanvas->Layout != TLayout::SinglePage || fCanvas->Pages.empty()) {
        QScrollArea::keyPressEvent(pEvent);
        return;
    }
    const int last = static_cast<int>(fCanvas->Pages.size()) - 1;
    if (pEvent->key() == Qt::Key_PageDown)
        fCanvas->Current = std::min(last, fCanvas->Current + 1);
    else if (pEvent->key() == Qt::Key_PageUp)
        fCanvas->Current = std::max(0, fCanvas->Current - 1);
    else {
        QScrollArea::keyPressEvent(pEvent);
        return;
    }
    fCanvas->update();
}

void TPageView::Relayout()
{
    const QSize area = viewport()->size();
    if (fCanvas->Layout == TLayout::SinglePage)
        fCanvas->resize(area);
    else
        fCanvas->resize(area.width(), std::max(area.height(), fCanvas->StackHeight(area.width())));
    fCanvas->update();
}

} // namespace kiv::ui
