#include "LinuxPlatform.h"
#include "ScopedEnvironment.h"
#include "TestDir.h"
#include "core/platform/INamespace.h"
#include "core/platform/IPlatform.h"
#include "core/platform/IViewState.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QThread>

#include <gtest/gtest.h>

namespace kiv::pf::lnx {
namespace {

TEST(LinuxViewStateTest, FolderBagsSurviveTheProcessAndFollowThePath)
{
    test::TestDir home;
    test::TScopedEnvironment env;
    env.Set("HOME", home.Path().toUtf8());
    env.Set("XDG_STATE_HOME", home.Join(QStringLiteral("state")).toUtf8());
    const QString folder = home.CreateFolder(QStringLiteral("photos \u00e9"));

    IdListBytes list;
    {
        auto platform = CreateLinuxPlatform();
        ASSERT_EQ(platform->Namespace().SimpleIdListFromPath(folder, list), S_OK);
        IPropertyBagPtr bag;
        const IdSpan span(list);
        ASSERT_EQ(
            platform->ViewState().OpenBag(&span, QStringLiteral("Shell"), viewstate::FOLDER, bag),
            S_OK);
        bag->Write(QStringLiteral("Sort"), QByteArray("\x01\x02", 2));
        // Written in the background soon after, while the program goes on.
        const QString file = home.Join(QStringLiteral("state/tovaline/viewstate.json"));
        QDeadlineTimer deadline(10000);
        while (!QFile::exists(file) && !deadline.hasExpired())
            QThread::msleep(10);
        EXPECT_TRUE(QFile::exists(file));
        ASSERT_EQ(platform->ViewState().OpenBag(nullptr, QStringLiteral("Shell"),
                                                viewstate::USERDEFAULTS, bag),
                  S_OK);
        bag->Write(QStringLiteral("Mode"), std::int32_t(3));
        EXPECT_EQ(
            platform->ViewState().OpenBag(nullptr, QStringLiteral("Shell"), viewstate::FOLDER, bag),
            E_INVALIDARG);
    }
    EXPECT_TRUE(QFile::exists(home.Join(QStringLiteral("state/tovaline/viewstate.json"))));

    // Another run of the program reads both back; the system defaults are another bag.
    auto platform = CreateLinuxPlatform();
    IPropertyBagPtr bag;
    const IdSpan span(list);
    ASSERT_EQ(platform->ViewState().OpenBag(&span, QStringLiteral("Shell"), viewstate::FOLDER, bag),
              S_OK);
    BagValue value;
    ASSERT_EQ(bag->Read(QStringLiteral("Sort"), value), S_OK);
    EXPECT_EQ(value, BagValue(QByteArray("\x01\x02", 2)));
    ASSERT_EQ(platform->ViewState().OpenBag(nullptr, QStringLiteral("Shell"),
                                            viewstate::USERDEFAULTS, bag),
              S_OK);
    ASSERT_EQ(bag->Read(QStringLiteral("Mode"), value), S_OK);
    EXPECT_EQ(value, BagValue(std::int32_t(3)));
    ASSERT_EQ(platform->ViewState().OpenBag(nullptr, QStringLiteral("Shell"),
                                            viewstate::GLOBALDEFAULTS, bag),
              S_OK);
    EXPECT_EQ(bag->Read(QStringLiteral("Mode"), value), E_INVALIDARG);
}

} // namespace
} // namespace kiv::pf::lnx
