#pragma once

#include "PageView.h"
#include "core/platform/IPreviewHandler.h"

#include <QPointer>

#include <memory>

namespace kiv::ui {

// The PDF control of the preview's fallback path: a page view inside the host window. SetSource
// starts loading and rendering on a thread of its own; the pages appear when they are ready
// (a result that arrives after Close, or for an older source, is dropped). User-interface thread
// only.
class TPdfControl final : public pf::IPdfControl
{
public:
    explicit TPdfControl(QWidget* pParent);
    ~TPdfControl() override;

    pf::HResult SetSource(const QString& pSource) override;
    pf::HResult SetLayoutMode(const QString& pMode) override;
    pf::HResult SetRect(const QRect& pRect) override;
    void SetVisible(bool pVisible) override;
    void Close() override;

    TPageView* View() const { return fView; }

private:
    struct TState;
    QPointer<TPageView> fView;
    // Shared with the rendering threads' deliveries, which only hold it weakly.
    std::shared_ptr<TState> fState;
};

} // namespace kiv::ui
