#include "LinuxDragDrop.h"

#include "ScopedEnvironment.h"
#include "TestDir.h"
#include "core/platform/FileNames.h"
#include "core/shell/ClipboardFiles.h"

#include <QDir>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <memory>
#include <vector>

using namespace kiv;
using namespace kiv::pf;

namespace {

// Writes down every call with what came with it and answers with Effect.
class TRecordingTarget final : public IDropTarget
{
public:
    struct TCall
    {
        QString What;
        std::uint32_t KeyState = 0;
        QPoint Point;
        std::uint32_t Effect = 0;
        QStringList Paths;
    };

    HResult DragEnter(const IDataObjectPtr& pData, std::uint32_t pKeyState, QPoint pPoint,
                      std::uint32_t& pEffect) override
    {
        Calls.push_back({QStringLiteral("enter"), pKeyState, pPoint, pEffect, PathsOf(pData)});
        pEffect = Effect;
        return EnterResult;
    }
    HResult DragOver(std::uint32_t pKeyState, QPoint pPoint, std::uint32_t& pEffect) override
    {
        Calls.push_back({QStringLiteral("over"), pKeyState, pPoint, pEffect, {}});
        pEffect = Effect;
        return S_OK;
    }
    HResult DragLeave() override
    {
        Calls.push_back({QStringLiteral("leave"), 0, {}, 0, {}});
        return S_OK;
    }
    HResult Drop(const IDataObjectPtr& pData, std::uint32_t pKeyState, QPoint pPoint,
                 std::uint32_t& pEffect) override
    {
        Calls.push_back({QStringLiteral("drop"), pKeyState, pPoint, pEffect, PathsOf(pData)});
        pEffect = Effect;
        return S_OK;
    }

    QStringList Names() const
    {
        QStringList names;
        for (const TCall& call : Calls)
            names.append(call.What);
        return names;
    }

    std::uint32_t Effect = DROPEFFECT_COPY;
    HResult EnterResult = S_OK;
    std::vector<TCall> Calls;

private:
    static QStringList PathsOf(const IDataObjectPtr& pData)
    {
        QByteArray bytes;
        if (!pData || Failed(pData->GetData(ClipFormat::HDrop, bytes)))
            return {};
        return TClipboardFiles::ParseDropFiles(bytes);
    }
};

QString PathOfBytes(const char* pBytes)
{
    return DecodeFileName(pBytes);
}

} // namespace

// A window with a drop area in it; drag events go to the window and Qt hands them on to the
// widget under the pointer, as it does with a real drag.
class LinuxDragDropTest : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        fWindow = std::make_unique<QWidget>();
        fWindow->resize(200, 200);
        fArea = new QWidget(fWindow.get());
        fArea->setGeometry(50, 50, 100, 100);
        fWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(fWindow.get()));
        fDragDrop = lnx::CreateWidgetDragDrop();
        fTarget = std::make_shared<TRecordingTarget>();
    }
    void cleanup()
    {
        fDragDrop.reset();
        fWindow.reset();
    }

    void RegistrationIsOncePerWidget()
    {
        QCOMPARE(fDragDrop->Register(lnx::WindowRefOf(fArea), fTarget), S_OK);
        QVERIFY(fArea->acceptDrops());
        QCOMPARE(fDragDrop->Register(lnx::WindowRefOf(fArea), std::make_shared<TRecordingTarget>()),
                 DRAGDROP_E_ALREADYREGISTERED);
        QCOMPARE(fDragDrop->Register(nullptr, fTarget), DRAGDROP_E_INVALIDHWND);
        QCOMPARE(fDragDrop->Revoke(lnx::WindowRefOf(fArea)), S_OK);
        QVERIFY(!fArea->acceptDrops());
        QCOMPARE(fDragDrop->Revoke(lnx::WindowRefOf(fArea)), DRAGDROP_E_NOTREGISTERED);

        // A widget that goes lets go of its target, and its registration with it.
        QCOMPARE(fDragDrop->Register(lnx::WindowRefOf(fArea), fTarget), S_OK);
        const WindowRef gone = lnx::WindowRefOf(fArea);
        delete fArea;
        fArea = nullptr;
        QCOMPARE(fTarget.use_count(), 1L);
        QCOMPARE(fDragDrop->Revoke(gone), DRAGDROP_E_NOTREGISTERED);
        QCOMPARE(fDragDrop->Register(gone, fTarget), DRAGDROP_E_INVALIDHWND);
    }

    // Files dropped from another program reach the target with their exact names, the keys held
    // and the point on the screen; the target's answer becomes the drop's action.
    void DroppedFilesReachTheTarget()
    {
        QCOMPARE(fDragDrop->Register(lnx::WindowRefOf(fArea), fTarget), S_OK);
        fTarget->Effect = DROPEFFECT_MOVE;
        QMimeData mime;
        mime.setData(QStringLiteral("text/uri-list"),
                     "file:///data/a%20b.txt\r\nfile:///data/%FF%FE.bin\r\n");
        const QStringList paths = {QStringLiteral("/data/a b.txt"),
                                   PathOfBytes("/data/\xff\xfe.bin")};
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;

        QDragEnterEvent enter(QPoint(60, 70), offered, &mime, Qt::LeftButton, Qt::ControlModifier);
        Send(enter);
        QVERIFY(enter.isAccepted());
        QCOMPARE(enter.dropAction(), Qt::MoveAction);
        QDragMoveEvent move(QPoint(80, 90), offered, &mime, Qt::LeftButton, Qt::ShiftModifier);
        Send(move);
        QVERIFY(move.isAccepted());
        QDropEvent drop(QPointF(80, 90), offered, &mime, Qt::NoButton, Qt::ShiftModifier);
        Send(drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(drop.dropAction(), Qt::MoveAction);

        QCOMPARE(fTarget->Names(), QStringList({"enter", "over", "drop"}));
        const auto& calls = fTarget->Calls;
        QCOMPARE(calls[0].KeyState, mk::LBUTTON | mk::CONTROL);
        QCOMPARE(calls[0].Effect, DROPEFFECT_COPY | DROPEFFECT_MOVE);
        QCOMPARE(calls[0].Point, fWindow->mapToGlobal(QPoint(60, 70)));
        QCOMPARE(calls[0].Paths, paths);
        QCOMPARE(calls[1].KeyState, mk::LBUTTON | mk::SHIFT);
        QCOMPARE(calls[1].Point, fWindow->mapToGlobal(QPoint(80, 90)));
        QCOMPARE(calls[2].KeyState, mk::SHIFT);
        QCOMPARE(calls[2].Paths, paths);

        // Revoked: the next drag passes the area by.
        QCOMPARE(fDragDrop->Revoke(lnx::WindowRefOf(fArea)), S_OK);
        QDragEnterEvent again(QPoint(60, 70), offered, &mime, Qt::LeftButton, Qt::NoModifier);
        Send(again);
        QVERIFY(!again.isAccepted());
        QCOMPARE(fTarget->Calls.size(), std::size_t(3));
    }

    void TargetEffectBecomesTheAction_data()
    {
        QTest::addColumn<std::uint32_t>("effect");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<int>("action");
        QTest::newRow("copy") << DROPEFFECT_COPY << int(Qt::NoModifier) << true
                              << int(Qt::CopyAction);
        QTest::newRow("move") << DROPEFFECT_MOVE << int(Qt::NoModifier) << true
                              << int(Qt::MoveAction);
        QTest::newRow("link") << DROPEFFECT_LINK << int(Qt::NoModifier) << true
                              << int(Qt::LinkAction);
        // Several effects: the one the keys ask for (Shift: move) when it is among them.
        QTest::newRow("all, shift")
            << DROPEFFECT_ALL << int(Qt::ShiftModifier) << true << int(Qt::MoveAction);
        QTest::newRow("copy and link") << (DROPEFFECT_COPY | DROPEFFECT_LINK)
                                       << int(Qt::ShiftModifier) << true << int(Qt::CopyAction);
        QTest::newRow("none") << DROPEFFECT_NONE << int(Qt::NoModifier) << false
                              << int(Qt::IgnoreAction);
    }
    void TargetEffectBecomesTheAction()
    {
        QFETCH(std::uint32_t, effect);
        QFETCH(int, modifiers);
        QFETCH(bool, accepted);
        QFETCH(int, action);
        QCOMPARE(fDragDrop->Register(lnx::WindowRefOf(fArea), fTarget), S_OK);
        fTarget->Effect = effect;
        QMimeData mime;
        mime.setData(QStringLiteral("text/uri-list"), "file:///data/a\r\n");
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
        const auto keys = Qt::KeyboardModifiers(modifiers);
        QDragEnterEvent enter(QPoint(60, 60), offered, &mime, Qt::LeftButton, keys);
        Send(enter);
        QDragMoveEvent move(QPoint(60, 60), offered, &mime, Qt::LeftButton, keys);
        Send(move);
        QCOMPARE(move.isAccepted(), accepted);
        QDropEvent drop(QPointF(60, 60), offered, &mime, Qt::NoButton, keys);
        Send(drop);
        QCOMPARE(drop.isAccepted(), accepted);
        QCOMPARE(int(drop.dropAction()), action);
        // Where the target wanted nothing the drag ends with a leave, not a drop.
        QCOMPARE(fTarget->Names().last(),
                 accepted ? QStringLiteral("drop") : QStringLiteral("leave"));
    }

    // A target that fails the enter hears nothing more of that drag.
    void RefusedEnterEndsTheTargetsPart()
    {
        QCOMPARE(fDragDrop->Register(lnx::WindowRefOf(fArea), fTarget), S_OK);
        fTarget->EnterResult = E_UNEXPECTED;
        QMimeData mime;
        mime.setData(QStringLiteral("text/uri-list"), "file:///data/a\r\n");
        QDragEnterEvent enter(QPoint(60, 60), Qt::CopyAction, &mime, Qt::LeftButton, {});
        Send(enter);
        QVERIFY(!enter.isAccepted());
        QDragMoveEvent move(QPoint(61, 61), Qt::CopyAction, &mime, Qt::LeftButton, {});
        Send(move);
        QDropEvent drop(QPointF(61, 61), Qt::CopyAction, &mime, Qt::NoButton, {});
        Send(drop);
        QVERIFY(!drop.isAccepted());
        QCOMPARE(fTarget->Names(), QStringList({"enter"}));
    }

    // Files of a remote place arrive as URIs of its scheme; where the desktop's virtual file
    // system has the place mounted, the target gets the local path, else the URI is left out.
    void RemoteUrisBecomeMountPaths()
    {
        test::TestDir runtime;
        QVERIFY(QDir().mkpath(runtime.Join(QStringLiteral("gvfs/sftp:host=example.com,user=bob"))));
        test::TScopedEnvironment environment;
        environment.Set("XDG_RUNTIME_DIR", runtime.Path().toUtf8());
        QCOMPARE(fDragDrop->Register(lnx::WindowRefOf(fArea), fTarget), S_OK);
        QMimeData mime;
        mime.setData(QStringLiteral("text/uri-list"),
                     "sftp://bob@example.com/home/bob/a%20b.txt\r\n"
                     "smb://nas/media/f.mkv\r\n"
                     "file:///data/local\r\n");
        QDragEnterEvent enter(QPoint(60, 60), Qt::CopyAction, &mime, Qt::LeftButton, {});
        Send(enter);
        QCOMPARE(fTarget->Calls.at(0).Paths,
                 QStringList({runtime.Join(QStringLiteral(
                                  "gvfs/sftp:host=example.com,user=bob/home/bob/a b.txt")),
                              QStringLiteral("/data/local")}));
        QDragLeaveEvent leave;
        Send(leave);
    }

private:
    void Send(QEvent& pEvent) { QCoreApplication::sendEvent(fWindow->windowHandle(), &pEvent); }

    std::unique_ptr<QWidget> fWindow;
    QWidget* fArea = nullptr;
    std::unique_ptr<IDragDrop> fDragDrop;
    std::shared_ptr<TRecordingTarget> fTarget;
};

QTEST_MAIN(LinuxDragDropTest)
#include "LinuxDragDropTest.moc"
