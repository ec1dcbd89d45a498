#include "Startup.h"

#include "MainForm.h"
#include "PlatformHooks.h"
#include "core/platform/IFileOperation.h"
#include "core/platform/IPlatform.h"
#include "core/platform/Threads.h"
#include "core/shell/PlatformPathEnvironment.h"
#include "core/shell/ScreenScale.h"
#include "core/shell/ShellWin32.h"
#include "platform/linux/LinuxDragDrop.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/LinuxThreads.h"
#include "ui/dialogs/FileOperationDialogs.h"
#include "ui/dialogs/ShellDialogs.h"
#include "ui/previews/BuiltInPreviewHandlers.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QScreen>
#include <QTimer>
#include <QWindow>

#include <cstdio>
#include <memory>

namespace {

// Core sizes icons and controls by the screen's resolution but cannot ask the screen itself.
void TellCoreTheScreenResolution()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        kiv::TScreenScale::SetScreenPpi(qRound(screen->logicalDotsPerInch()));
}

// Waits (running the event loop) until the window is on screen and laid out, then saves it.
bool SaveScreenshotWhenShown(QWidget& pWindow, const QString& pFile)
{
    QElapsedTimer waited;
    waited.start();
    while (!(pWindow.windowHandle() && pWindow.windowHandle()->isExposed()) &&
           waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    // Let pending layout and paint events settle before taking the picture.
    for (int round = 0; round < 5; ++round)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return pWindow.grab().save(pFile, "PNG");
}

} // namespace

int RunTovaline(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tovaline"));
    QApplication::setApplicationVersion(QStringLiteral("1.3"));

    QCommandLineParser parser;
    parser.setApplicationDescription(TMainForm::kApplicationTitle);
    parser.addHelpOption();
    const QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a PNG of the main window and quit."),
                                        QStringLiteral("FILE.png"));
    parser.addOption(screenshot);
    parser.process(app);

    // The platform the family works on: installed before any window or worker asks for it.
    kiv::pf::InstallPlatform(kiv::pf::lnx::CreateLinuxPlatform());
    kiv::pf::Platform().Startup();
    // The previews this program brings, published in the registry before anyone looks them up.
    kiv::pf::lnx::InstallPreviewHandlers(kiv::pf::Platform(),
                                         std::make_unique<kiv::ui::TBuiltInPreviewHandlers>());
    kiv::InstallPlatformPathEnvironment();
    // Copies, moves and deletions that have an owner window ask and show progress in dialogs,
    // which go before the application object does (widgets cannot outlive it).
    kiv::pf::IFileOps* fileOps = kiv::pf::Platform().FileOps();
    if (fileOps)
        fileOps->SetDefaultUi(kiv::TFileOperationDialogs::Create());
    const std::unique_ptr<kiv::pf::IFileOps, void (*)(kiv::pf::IFileOps*)> dialogsInstalled(
        fileOps, [](kiv::pf::IFileOps* pOps) { pOps->SetDefaultUi(nullptr); });
    // Drag and drop works on widgets, so it goes before the application object too.
    kiv::pf::lnx::SetDragDrop(kiv::pf::Platform(), kiv::pf::lnx::CreateWidgetDragDrop());
    const std::unique_ptr<kiv::pf::IPlatform, void (*)(kiv::pf::IPlatform*)> dragDropInstalled(
        &kiv::pf::Platform(),
        [](kiv::pf::IPlatform* pPlatform) { kiv::pf::lnx::SetDragDrop(*pPlatform, nullptr); });
    // Message boxes, prompts, the network and folder dialogs: widgets too, so they go first.
    kiv::pf::Platform().SetDialogs(kiv::TShellDialogs::Create());
    const std::unique_ptr<kiv::pf::IPlatform, void (*)(kiv::pf::IPlatform*)> shellDialogsInstalled(
        &kiv::pf::Platform(),
        [](kiv::pf::IPlatform* pPlatform) { pPlatform->SetDialogs(nullptr); });
    // The family's start-up values (OS profile, localized texts), read once before first use.
    kiv::TShellWin32::Startup();
    TellCoreTheScreenResolution();
    QObject::connect(&app, &QGuiApplication::primaryScreenChanged, &app,
                     [] { TellCoreTheScreenResolution(); });
    kiv::pf::LinuxThreads threads;
    const kiv::pf::TScopedThreads threadsInstalled(threads);
    // The context menus' dialogs and questions. Declared after the platform, the engine's dialogs
    // and the threads, so that it goes first: its end waits for the menus' background work.
    const TPlatformHooks platformHooks;

    TMainForm mainForm(settei::TSettingsFolder::ForThisProgram());
    mainForm.show();

    if (parser.isSet(screenshot)) {
        const QString file = parser.value(screenshot);
        if (!SaveScreenshotWhenShown(mainForm, file)) {
            std::fprintf(stderr, "tovaline: cannot save the screenshot to %s\n", qPrintable(file));
            return 1;
        }
        mainForm.close();
        return 0;
    }
    return QApplication::exec();
}
