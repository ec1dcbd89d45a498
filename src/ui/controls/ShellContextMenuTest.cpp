#include "ui/controls/ShellContextMenu.h"

#include "core/folder/Wayfold.h"
#include "core/platform/IPlatform.h"
#include "core/shell/KivItemIdList.h"
#include "platform/memory/MemoryPlatform.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QMenu>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace kiv {

namespace {

pf::MenuItem Entry(const char* pCaption, const char* pVerb, const char* pHelp = "")
{
    pf::MenuItem item;
    item.Caption = QString::fromLatin1(pCaption);
    item.Verb = QString::fromLatin1(pVerb);
    item.HelpText = QString::fromLatin1(pHelp);
    return item;
}

QAction* ActionNamed(QMenu& pMenu, const QString& pCaption)
{
    for (QAction* action : pMenu.actions())
        if (action->text() == pCaption)
            return action;
    return nullptr;
}

QStringList Captions(QMenu& pMenu)
{
    QStringList captions;
    for (QAction* action : pMenu.actions())
        captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return captions;
}

} // namespace

// The folder /docs with a.txt selected as the component's object; the in-memory platform's item
// menu: Open (default, with an icon), a separator, a disabled Frob with a help text, a sub-menu
// Send to with Mail.
class ShellContextMenuTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        fMemory = new pf::mem::TMemoryPlatform();
        fPlatform = std::make_unique<pf::TScopedPlatform>(std::unique_ptr<pf::IPlatform>(fMemory));
        pf::mem::TMemoryNode& docs = fMemory->Root().AddFolder(QStringLiteral("docs"));
        docs.AddFile(QStringLiteral("a.txt"), 10);
        pf::MenuItem open = Entry("&Open", "open", "Opens the item");
        open.IsDefault = true;
        open.IconName = QStringLiteral("document-open");
        pf::MenuItem frob = Entry("&Frob", "frob", "Frobs the item");
        pf::MenuItem locked = Entry("&Locked", "locked");
        locked.Enabled = false;
        pf::MenuItem sendTo = Entry("Send &to", "");
        sendTo.Children = {Entry("&Mail", "mail", "Mails the item")};
        fMemory->SetMenuEntries({open, pf::MenuItem::MakeSeparator(), frob, locked, sendTo});
        fFolder = std::make_unique<TWayfold>();
        fFolder->SetFolderIdList(TKivItemIdList::Create(fMemory->ListOf(docs)));
        fFolder->SetObjectName(QStringLiteral("a.txt"));
    }
    void cleanup()
    {
        fFolder.reset();
        fPlatform.reset();
    }

    void BuildsTheEntriesOfTheModel()
    {
        TShellContextMenu shell(*fFolder, nullptr);
        QMenu* menu = shell.Build(nullptr, nullptr, false);
        QVERIFY(menu);
        QVERIFY(shell.HasShellEntries());
        QCOMPARE(Captions(*menu),
                 (QStringList{QStringLiteral("&Open"), QStringLiteral("-"), QStringLiteral("&Frob"),
                              QStringLiteral("&Locked"), QStringLiteral("Send &to")}));
        QVERIFY(ActionNamed(*menu, QStringLiteral("&Open"))->font().bold());
        QVERIFY(!ActionNamed(*menu, QStringLiteral("&Frob"))->font().bold());
        QVERIFY(!ActionNamed(*menu, QStringLiteral("&Locked"))->isEnabled());

        // The sub-menu gets its entries when it is about to show.
        QMenu* sendTo = ActionNamed(*menu, QStringLiteral("Send &to"))->menu();
        QVERIFY(sendTo);
        QVERIFY(sendTo->actions().isEmpty());
        emit sendTo->aboutToShow();
        QCOMPARE(Captions(*sendTo), QStringList{QStringLiteral("&Mail")});
        emit sendTo->aboutToShow();
        QCOMPARE(sendTo->actions().size(), 1);
    }

    void TriggeringRunsTheVerbAndHoveringHints()
    {
        TShellContextMenu shell(*fFolder, nullptr);
        QMenu* menu = shell.Build(nullptr, nullptr, false);
        QVERIFY(menu);
        QSignalSpy hints(&shell, &TShellContextMenu::Hint);
        ActionNamed(*menu, QStringLiteral("&Frob"))->hover();
        QCOMPARE(hints.size(), 1);
        QCOMPARE(hints.at(0).at(0).toString(), QStringLiteral("Frobs the item"));

        ActionNamed(*menu, QStringLiteral("&Frob"))->trigger();
        QCOMPARE(shell.LastVerb(), QStringLiteral("frob"));
        QMenu* sendTo = ActionNamed(*menu, QStringLiteral("Send &to"))->menu();
        emit sendTo->aboutToShow();
        sendTo->actions().at(0)->hover();
        QCOMPARE(hints.last().at(0).toString(), QStringLiteral("Mails the item"));
        sendTo->actions().at(0)->trigger();
        QCOMPARE(shell.LastVerb(), QStringLiteral("mail"));

        const auto calls = fMemory->MenuCalls();
        QCOMPARE(calls.size(), size_t(2));
        QCOMPARE(calls[0].Verb, QStringLiteral("frob"));
        QCOMPARE(calls[0].Paths, QStringList{QStringLiteral("/docs/a.txt")});
        QCOMPARE(calls[0].Directory, QStringLiteral("/docs"));
        QCOMPARE(calls[1].Verb, QStringLiteral("mail"));
    }

    void RefusedVerbsDoNotRun()
    {
        TShellContextMenu shell(*fFolder, nullptr);
        QMenu* menu = shell.Build(nullptr, nullptr, false);
        QVERIFY(menu);
        QStringList asked;
        fFolder->OnContextMenuSelect = [&](TWayfold&, const QString& pVerb, bool& pExecute) {
            asked << pVerb;
            pExecute = pVerb != QLatin1String("frob");
        };
        ActionNamed(*menu, QStringLiteral("&Frob"))->trigger();
        QCOMPARE(shell.LastVerb(), QString());
        QCOMPARE(asked, QStringList{QStringLiteral("frob")});

        // A read-only component refuses what changes the folder even when the events allow it.
        fMemory->SetMenuEntries({Entry("&Delete", "delete"), Entry("&Open", "open")});
        fFolder->SetReadOnly(true);
        menu = shell.Build(nullptr, nullptr, false);
        QVERIFY(menu);
        ActionNamed(*menu, QStringLiteral("&Delete"))->trigger();
        QCOMPARE(shell.LastVerb(), QString());
        QVERIFY(fMemory->MenuCalls().empty());
        ActionNamed(*menu, QStringLiteral("&Open"))->trigger();
        QCOMPARE(shell.LastVerb(), QStringLiteral("open"));
        QCOMPARE(fMemory->MenuCalls().size(), std::size_t(1));
    }

    void ApplicationEntriesRunTheirOwnHandlers_data()
    {
        QTest::addColumn<bool>("onTop");
        QTest::addColumn<bool>("anchored");
        QTest::addColumn<QStringList>("captions");
        const QString app1 = QStringLiteral("App &one");
        const QString app2 = QStringLiteral("App &two");
        const QString open = QStringLiteral("&Open");
        QTest::newRow("after the last") << false << false << QStringList{app1, app2, open};
        QTest::newRow("after the anchor") << false << true << QStringList{app1, open, app2};
        QTest::newRow("on top") << true << true << QStringList{open, app1, app2};
    }
    void ApplicationEntriesRunTheirOwnHandlers()
    {
        QFETCH(bool, onTop);
        QFETCH(bool, anchored);
        QFETCH(QStringList, captions);
        fFolder->SetShowContextMenuOnTop(onTop);
        QMenu app;
        QAction* one = app.addAction(QStringLiteral("App &one"));
        one->setStatusTip(QStringLiteral("The first"));
        app.addAction(QStringLiteral("App &two"));
        int ran = 0;
        connect(one, &QAction::triggered, this, [&ran] { ++ran; });

        TShellContextMenu shell(*fFolder, nullptr);
        QMenu* menu = shell.Build(&app, anchored ? one : nullptr, false);
        QVERIFY(menu);
        // Where the platform's entries go: its first entry stands for them all.
        QStringList shown;
        for (const QString& caption : Captions(*menu))
            if (caption.startsWith(QLatin1String("App")) || caption == QLatin1String("&Open"))
                shown << caption;
        QCOMPARE(shown, captions);
        QCOMPARE(app.actions().size(), 2);

        QSignalSpy hints(&shell, &TShellContextMenu::Hint);
        one->hover();
        QCOMPARE(hints.last().at(0).toString(), QStringLiteral("The first"));
        // An entry of an application sub-menu hints too.
        QMenu* more = app.addMenu(QStringLiteral("&More"));
        QAction* deep = more->addAction(QStringLiteral("&Deep"));
        deep->setStatusTip(QStringLiteral("Deep down"));
        QVERIFY(shell.Build(&app, nullptr, false));
        emit more->hovered(deep);
        QCOMPARE(hints.last().at(0).toString(), QStringLiteral("Deep down"));
        one->trigger();
        QCOMPARE(ran, 1);
        QVERIFY(fMemory->MenuCalls().empty());
    }

    void AFolderRefusingItsMenuLeavesTheApplicationMenuAlone()
    {
        fMemory->SetMenuFailure(pf::HResultFromWin32(5));
        QMenu app;
        app.addAction(QStringLiteral("App &one"));
        TShellContextMenu shell(*fFolder, nullptr);
        QMenu* menu = shell.Build(&app, nullptr, false);
        QVERIFY(menu);
        QVERIFY(!shell.HasShellEntries());
        QCOMPARE(Captions(*menu), QStringList{QStringLiteral("App &one")});
        QVERIFY(!shell.Build(nullptr, nullptr, false));
    }

    // The modal showing: the verb of the entry chosen while the menu is up, the error verb when
    // the folder has no menu, the close signal either way.
    void ExecAnswersTheVerbThatRan_data()
    {
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("verb");
        QTest::newRow("chosen") << false << QStringLiteral("frob");
        QTest::newRow("no menu") << true << QString::fromLatin1(TShellContextMenu::kErrorVerb);
    }
    void ExecAnswersTheVerbThatRan()
    {
        QFETCH(bool, refused);
        QFETCH(QString, verb);
        if (refused)
            fMemory->SetMenuFailure(pf::HResultFromWin32(5));
        QMenu app;
        app.addAction(QStringLiteral("App &one"));
        QWidget owner;
        TShellContextMenu shell(*fFolder, &owner);
        QSignalSpy closed(&shell, &TShellContextMenu::Closed);
        QTimer::singleShot(0, this, [] {
            auto* shown = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!shown)
                return;
            if (QAction* frob = ActionNamed(*shown, QStringLiteral("&Frob")))
                frob->trigger();
            shown->close();
        });
        QCOMPARE(shell.Exec(QPoint(10, 10), &app, nullptr), verb);
        QCOMPARE(closed.size(), 1);
    }

    // The anchor's own menu is the application's; the caller's function decides whether the
    // chosen entry runs; the selection is dropped when the menu closes.
    void ExecWithAnAnchorAsksTheCallersFunction()
    {
        QMenu app;
        QAction* one = app.addAction(QStringLiteral("App &one"));
        QWidget owner;
        TShellContextMenu shell(*fFolder, &owner);
        fFolder->MultiObjects().Add(QStringLiteral("/docs/a.txt"));
        QStringList shown;
        QTimer::singleShot(0, this, [&shown] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            shown = Captions(*menu);
            if (QAction* frob = ActionNamed(*menu, QStringLiteral("&Frob")))
                frob->trigger();
            menu->close();
        });
        QStringList asked;
        const QString verb = shell.Exec(QPoint(10, 10), one, [&](TBeforeCommandEventArgs& pArgs) {
            asked << pArgs.Command.VerbOrEmpty();
            pArgs.Cancel = true;
        });
        QCOMPARE(verb, QString());
        QCOMPARE(asked, QStringList{QStringLiteral("frob")});
        QVERIFY(shown.contains(QStringLiteral("App &one")));
        QCOMPARE(shown.indexOf(QStringLiteral("&Open")), 1);
        QVERIFY(fMemory->MenuCalls().empty());
        QVERIFY(!fFolder->HasMultiObjects());
        QVERIFY(!fFolder->ActiveContextMenu());
    }

    void InvokingByVerbShowsTheWaitCursorMeanwhile()
    {
        bool waiting = false;
        fFolder->OnContextMenuSelect = [&](TWayfold&, const QString&, bool&) {
            waiting = QGuiApplication::overrideCursor() &&
                      QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
        };
        QVERIFY(InvokeContextMenuCommand(*fFolder, TShellCommand(QStringLiteral("frob"))));
        QVERIFY(waiting);
        QVERIFY(!QGuiApplication::overrideCursor());
        QCOMPARE(fMemory->MenuCalls().size(), std::size_t(1));
    }

    void BackgroundMenuMergesAndRuns_data()
    {
        QTest::addColumn<bool>("onTop");
        QTest::addColumn<int>("refreshAt");
        QTest::newRow("after the application's") << false << 3;
        QTest::newRow("on top") << true << 2;
    }
    void BackgroundMenuMergesAndRuns()
    {
        QFETCH(bool, onTop);
        QFETCH(int, refreshAt);
        fFolder->SetShowContextMenuOnTop(onTop);
        QMenu app;
        app.addAction(QStringLiteral("App &one"));
        QWidget owner;
        TShellContextMenu shell(*fFolder, &owner);
        QMenu* built = shell.QueryBackgroundMenu();
        QVERIFY(built);
        QCOMPARE(Captions(*built).size(), 4);
        QTimer::singleShot(0, this, [] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            if (!menu)
                return;
            if (QAction* refresh = ActionNamed(*menu, QStringLiteral("R&efresh")))
                refresh->trigger();
            menu->close();
        });
        QSignalSpy closed(&shell, &TShellContextMenu::Closed);
        fFolder->MultiObjects().Add(QStringLiteral("/docs/a.txt"));
        QCOMPARE(shell.ExecBackground(QPoint(10, 10), &app), QStringLiteral("refresh"));
        QCOMPARE(closed.size(), 1);
        // A click beside the items leaves their selection alone.
        QVERIFY(fFolder->HasMultiObjects());
        const auto calls = fMemory->MenuCalls();
        QCOMPARE(calls.size(), std::size_t(1));
        QCOMPARE(calls[0].Kind, QStringLiteral("background"));
        QCOMPARE(calls[0].Paths, QStringList{QStringLiteral("/docs")});
        // Where the entries went, seen in a menu built the same way.
        QMenu* again = shell.BuildBackground(&app);
        QVERIFY(again);
        QCOMPARE(Captions(*again).indexOf(QStringLiteral("R&efresh")), refreshAt);
    }

private:
    pf::mem::TMemoryPlatform* fMemory = nullptr;
    std::unique_ptr<pf::TScopedPlatform> fPlatform;
    std::unique_ptr<TWayfold> fFolder;
};

} // namespace kiv

QTEST_MAIN(kiv::ShellContextMenuTest)
#include "ShellContextMenuTest.moc"
