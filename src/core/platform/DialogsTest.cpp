#include "core/platform/IDialogs.h"
#include "core/platform/INetwork.h"

#include <gtest/gtest.h>

namespace kiv::pf {
namespace {

TEST(DialogTextTest, LineBreakPairsBecomeOneBreak)
{
    const struct
    {
        QString In;
        QString Out;
    } cases[] = {
        {QStringLiteral("a\r\nb"), QStringLiteral("a\nb")},
        {QStringLiteral("a\n\rb"), QStringLiteral("a\nb")},
        {QStringLiteral("a\rb"), QStringLiteral("a\nb")},
        {QStringLiteral("a\r\n\r\nb"), QStringLiteral("a\n\nb")},
        {QStringLiteral("a\n\nb"), QStringLiteral("a\n\nb")},
        {QStringLiteral("a\r\rb"), QStringLiteral("a\n\nb")},
        {QStringLiteral("a\r\n\nb"), QStringLiteral("a\n\nb")},
        {QStringLiteral("\r\n"), QStringLiteral("\n")},
        {QString(), QString()},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NormalizeDialogText(c.In), c.Out) << c.In.toStdString();
}

TEST(RemotePathTest, TypedPathsBecomeUris)
{
    const struct
    {
        const char* In;
        const char* Out;
    } cases[] = {
        {R"(\\server\share)", "smb://server/share"},
        {R"(\\server\share\dir)", "smb://server/share/dir"},
        {R"(\\server\share\)", "smb://server/share"},
        {R"(\\server)", "smb://server"},
        {R"(\\server\my share\a#b)", "smb://server/my%20share/a%23b"},
        {"//server/share/dir", "smb://server/share/dir"},
        {"  \\\\server\\share  ", "smb://server/share"},
        {"smb://server/share", "smb://server/share"},
        {"SMB://server/share/", "smb://server/share"},
        {"sftp://user@host/home/user", "sftp://user@host/home/user"},
        {"sftp://host:2222/", "sftp://host:2222"},
        {"davs://host/dav", "davs://host/dav"},
        {R"(\\)", ""},
        {"server\\share", ""},
        {"/home/user", ""},
        {"file:///home/user", ""},
        {"http://host/x", ""},
        {"smb://", ""},
        {"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RemotePathToUri(QString::fromUtf8(c.In)), QString::fromUtf8(c.Out)) << c.In;
}

} // namespace
} // namespace kiv::pf
