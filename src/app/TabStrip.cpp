#include "TabStrip.h"

#include <QStyleOptionTab>
#include <QStylePainter>

TTabStrip::TTabStrip(QWidget* pParent)
    : QTabBar(pParent)
{
    // Any click on a tab selects it, also the tab that is current but shown unselected.
    connect(this, &QTabBar::tabBarClicked, this, [this](int pIndex) {
        if (pIndex >= 0 && fNoneSelected) {
            fNoneSelected = false;
            update();
        }
    });
}

void TTabStrip::SetTabIndex(int pIndex)
{
    fNoneSelected = pIndex < 0 || pIndex >= count();
    if (!fNoneSelected)
        setCurrentIndex(pIndex);
    update();
}

void TTabStrip::paintEvent(QPaintEvent* pEvent)
{
    if (!fNoneSelected) {
        QTabBar::paintEvent(pEvent);
        return;
    }
    QStylePainter painter(this);
    for (int i = 0; i < count(); ++i) {
        QStyleOptionTab option;
        initStyleOption(&option, i);
        option.state &= ~QStyle::State_Selected;
        painter.drawControl(QStyle::CE_TabBarTab, option);
    }
}

void TTabStrip::SetTabHeight(int pHeight)
{
    fTabHeight = pHeight;
    updateGeometry();
    update();
}

void TTabStrip::SetTabWidth(int pWidth)
{
    fTabWidth = pWidth;
    updateGeometry();
    update();
}

QSize TTabStrip::tabSizeHint(int) const
{
    return QSize(fTabWidth, fTabHeight);
}

QSize TTabStrip::minimumTabSizeHint(int pIndex) const
{
    return tabSizeHint(pIndex);
}
