#include "ui/controls/ShellControlLook.h"

#include "core/shell/ScreenScale.h"

#include <QListView>
#include <QTreeView>
#include <QtTest>

namespace kiv {

class ShellControlLookTest : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { TScreenScale::SetScreenPpi(96); }

    void DarkBackgrounds_data()
    {
        QTest::addColumn<QColor>("background");
        QTest::addColumn<bool>("dark");
        QTest::newRow("white") << QColor(Qt::white) << false;
        QTest::newRow("black") << QColor(Qt::black) << true;
        // sqrt(0.587) * 166 = 127.2: just dark; 167 gives 127.9, rounded 128: light.
        QTest::newRow("green 166") << QColor(0, 166, 0) << true;
        QTest::newRow("green 167") << QColor(0, 167, 0) << false;
        QTest::newRow("dark grey") << QColor(45, 45, 45) << true;
    }
    void DarkBackgrounds()
    {
        QFETCH(QColor, background);
        QFETCH(bool, dark);
        QCOMPARE(TShellControlLook::IsDark(background), dark);
    }

    void TreeRowsAndRevoking()
    {
        TScreenScale::SetScreenPpi(192);
        QTreeView tree;
        tree.setStyleSheet(QStringLiteral("QTreeView{color:red;}"));
        TShellControlLook::ApplyExplorerStyle(&tree, false);
        QVERIFY(tree.rootIsDecorated());
        QCOMPARE(tree.selectionBehavior(), QAbstractItemView::SelectRows);
        // 20 pixels at 192 dpi are 40, and 4 more around the text.
        QVERIFY(tree.styleSheet().contains(QStringLiteral("height:44px")));
        TShellControlLook::SetTreeNodeHeight(&tree, 30, true);
        QVERIFY(tree.styleSheet().contains(QStringLiteral("height:60px")));
        QVERIFY(!tree.styleSheet().contains(QStringLiteral("height:44px")));
        TShellControlLook::ApplyExplorerStyle(&tree, true);
        QCOMPARE(tree.styleSheet(), QStringLiteral("QTreeView{color:red;}"));

        QListView list;
        TShellControlLook::ApplyExplorerStyle(&list, false);
        QCOMPARE(list.selectionBehavior(), QAbstractItemView::SelectRows);
    }

    void TextMeasures()
    {
        QWidget widget;
        QCOMPARE(TShellControlLook::GetTextExtent(QStringLiteral("abc"), nullptr), QSize(0, 0));
        const QSize wide = TShellControlLook::GetTextExtent(QStringLiteral("MMMM"), &widget);
        QVERIFY(wide.width() > TShellControlLook::GetTextWidth(QStringLiteral("M"), &widget));
        QVERIFY(wide.height() > 0);
    }
};

} // namespace kiv

QTEST_MAIN(kiv::ShellControlLookTest)
#include "ShellControlLookTest.moc"
