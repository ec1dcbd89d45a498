// GoogleTest main for the family's tests: an application object exists for the whole run, so code
// that posts to the event loop or asks for the application's folder behaves as in the program.
// Tests of code that needs the window system get a QGuiApplication (offscreen in the test run).
#ifdef KIV_TEST_GUI
#include <QGuiApplication>
using TTestApplication = QGuiApplication;
#else
#include <QCoreApplication>
using TTestApplication = QCoreApplication;
#endif

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
#ifdef KIV_TEST_GUI
    // Tests never draw on the user's screen, also when listed outside the test run.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    TTestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
