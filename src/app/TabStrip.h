#pragma once

#include <QTabBar>

// A tab bar whose tabs have a fixed height and width, like the window's folder-tab strip
// (30 × 100 pixels at 96 dots per inch), and which can show no tab selected: QTabBar always
// selects one of its tabs, but the folder tabs start with none until the user picks one.
// User-interface thread only.
class TTabStrip : public QTabBar
{
    Q_OBJECT

public:
    explicit TTabStrip(QWidget* pParent = nullptr);

    int TabHeight() const { return fTabHeight; }
    void SetTabHeight(int pHeight);
    int TabWidth() const { return fTabWidth; }
    void SetTabWidth(int pWidth);

    // The selected tab, -1 for none.
    int TabIndex() const { return fNoneSelected ? -1 : currentIndex(); }
    void SetTabIndex(int pIndex);

protected:
    QSize tabSizeHint(int pIndex) const override;
    QSize minimumTabSizeHint(int pIndex) const override;
    void paintEvent(QPaintEvent* pEvent) override;

private:
    int fTabHeight = 30;
    int fTabWidth = 100;
    bool fNoneSelected = false;
};
