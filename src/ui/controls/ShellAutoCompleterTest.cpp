#include "ui/controls/ShellAutoCompleter.h"

#include "ScopedEnvironment.h"
#include "TestDir.h"
#include "core/platform/IPlatform.h"
#include "core/shell/KivItemIdList_p.h"
#include "core/shell/ShellAutoComplete.h"
#include "platform/linux/LinuxPlatform.h"

#include <QCompleter>
#include <QLineEdit>
#include <QtTest>

namespace kiv {

class ShellAutoCompleterTest : public QObject
{
    Q_OBJECT

private slots:
    void TypedFolderIsOffered()
    {
        test::TestDir dir;
        QVERIFY(dir.IsValid());
        test::TScopedEnvironment env;
        env.Set("HOME", dir.Path().toUtf8());
        pf::TScopedPlatform platform(pf::lnx::CreateLinuxPlatform());
        TSpecialFolders::Reset();
        dir.CreateFile(QStringLiteral("p/notes.txt"));
        dir.CreateFolder(QStringLiteral("p/music"));

        QLineEdit edit;
        QVERIFY(!EnableAutoComplete(nullptr, {}));
        QVERIFY(EnableAutoComplete(&edit, {TKivShellAutoCompleteOption::acoFolderOnly}));
        TShellAutoCompleteModel* model = AutoCompleteModelOf(&edit);
        QVERIFY(model);
        QTest::keyClicks(&edit, dir.Join(QStringLiteral("p/m")));
        QTRY_COMPARE(model->stringList(), QStringList{dir.Join(QStringLiteral("p/music"))});
        QCOMPARE(edit.completer()->model(), model);
        TSpecialFolders::Reset();
    }
};

} // namespace kiv

QTEST_MAIN(kiv::ShellAutoCompleterTest)
#include "ShellAutoCompleterTest.moc"
