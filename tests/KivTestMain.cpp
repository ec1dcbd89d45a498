// GoogleTest main for the family's tests: a QCoreApplication exists for the whole run, so code
// that posts to the event loop or asks for the application's folder behaves as in the program.
#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
