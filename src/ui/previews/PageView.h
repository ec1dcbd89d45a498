#pragma once

#include <QImage>
#include <QScrollArea>

#include <vector>

namespace kiv::ui {

class TPageCanvas;

// Shows rendered pages (a PDF's, or one drawing): stacked and fitted to the width with a
// vertical scroll bar, one page at a time fitted whole (Page Up/Down turn), or a single picture
// fitted whole and centred. Scales the images when painting, so a resize costs no re-rendering.
// A widget: user-interface thread only.
class TPageView final : public QScrollArea
{
public:
    enum class TLayout
    {
        FitWidth,   // pages under each other, as wide as the view
        SinglePage, // one page fitted whole
    };

    explicit TPageView(QWidget* pParent = nullptr);

    void SetPages(std::vector<QImage> pPages);
    const std::vector<QImage>& Pages() const;
    void SetLayout(TLayout pLayout);
    TLayout Layout() const;
    int CurrentPage() const;
    void SetBackground(const QColor& pColor);

protected:
    void resizeEvent(QResizeEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;

private:
    void Relayout();

    TPageCanvas* fCanvas;
};

} // namespace kiv::ui
