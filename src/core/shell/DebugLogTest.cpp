#include "core/shell/DebugLog.h"

#include "core/platform/HResult.h"
#include "core/platform/IPlatform.h"
#include "core/threading/ThreadingHooks.h"
#include "core/threading/ThreadingTestSupport.h"
#include "platform/memory/MemoryPlatform.h"

#include <QLoggingCategory>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>
#include <mutex>
#include <stdexcept>

namespace kiv {
namespace {

// Sets Qt's logging rules for the life of the object.
class TScopedLoggingRules
{
public:
    explicit TScopedLoggingRules(const QString& pRules)
    {
        QLoggingCategory::setFilterRules(pRules);
    }
    ~TScopedLoggingRules() { QLoggingCategory::setFilterRules(QString()); }
    TScopedLoggingRules(const TScopedLoggingRules&) = delete;
    TScopedLoggingRules& operator=(const TScopedLoggingRules&) = delete;
};

// The messages that reach Qt's message handler while alive, as "category|text".
class TQtMessageCapture
{
public:
    TQtMessageCapture() { fPrevious = qInstallMessageHandler(&Handle); }
    ~TQtMessageCapture()
    {
        qInstallMessageHandler(fPrevious);
        const std::scoped_lock lock(Lock());
        Messages().clear();
    }
    TQtMessageCapture(const TQtMessageCapture&) = delete;
    TQtMessageCapture& operator=(const TQtMessageCapture&) = delete;

    static QStringList Taken()
    {
        const std::scoped_lock lock(Lock());
        return Messages();
    }

private:
    static void Handle(QtMsgType, const QMessageLogContext& pContext, const QString& pText)
    {
        const std::scoped_lock lock(Lock());
        Messages().append(QString::fromUtf8(pContext.category) + u'|' + pText);
    }
    static std::mutex& Lock()
    {
        static std::mutex lock;
        return lock;
    }
    static QStringList& Messages()
    {
        static QStringList messages;
        return messages;
    }
    QtMessageHandler fPrevious = nullptr;
};

TEST(DebugLogTest, LinesCarryTheThreadAndTheirDetails)
{
    pf::TScopedPlatform platform(std::make_unique<pf::mem::TMemoryPlatform>());
    test::TDiagnosticsCapture capture;
    TDebugLog::LogMessage(QStringLiteral("hello"));
    TDebugLog::LogException(QStringLiteral("Copy failed"), std::runtime_error("disk full"));
    TDebugLog::LogException(QStringLiteral("Rethrown"),
                            std::make_exception_ptr(std::logic_error("bad state")));
    TDebugLog::LogHResult(QStringLiteral("Bind"), static_cast<std::int32_t>(pf::E_FAIL));
    const QStringList lines = capture.Lines();
    ASSERT_EQ(lines.size(), 4);
    const QRegularExpression prefix(QStringLiteral("^Thread \\d+: "));
    for (const QString& line : lines)
        EXPECT_TRUE(prefix.match(line).hasMatch()) << line.toStdString();
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(": hello")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(": Copy failed: disk full")));
    EXPECT_TRUE(lines[2].endsWith(QStringLiteral(": Rethrown: bad state")));
    EXPECT_TRUE(lines[3].endsWith(QStringLiteral(": Bind: -2147467259 (\"Unspecified error\")")))
        << lines[3].toStdString();
}

TEST(DebugLogTest, DeveloperAndVerboseLinesOnlyWhenEnabled)
{
    test::TDiagnosticsCapture capture;
    TDebugLog::LogDebugMessage(QStringLiteral("debug off"));
    TDebugLog::LogDebugVerboseMessage(QStringLiteral("verbose off"));
    EXPECT_TRUE(capture.Lines().isEmpty());
    {
        TScopedLoggingRules rules(QStringLiteral("tovaline.debug.verbose.debug=true"));
        TDebugLog::LogDebugMessage(QStringLiteral("debug still off"));
        TDebugLog::LogDebugVerboseMessage(QStringLiteral("verbose on"));
    }
    {
        TScopedLoggingRules rules(QStringLiteral("tovaline.debug.debug=true"));
        TDebugLog::LogDebugMessage(QStringLiteral("debug on"));
        TDebugLog::LogDebugVerboseMessage(QStringLiteral("verbose off again"));
    }
    const QStringList lines = capture.Lines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(": verbose on")));
    EXPECT_TRUE(lines[1].endsWith(QStringLiteral(": debug on")));
}

TEST(DebugLogTest, WithoutASinkLinesGoToTheLoggingCategoryOnlyWhenEnabled)
{
    const threading::TDebugSink previous = threading::SetDebugSink(nullptr);
    {
        TQtMessageCapture messages;
        TDebugLog::LogMessage(QStringLiteral("unseen"));
        EXPECT_TRUE(messages.Taken().isEmpty());
        TScopedLoggingRules rules(QStringLiteral("tovaline.debug.debug=true"));
        TDebugLog::LogMessage(QStringLiteral("seen"));
        const QStringList taken = messages.Taken();
        ASSERT_EQ(taken.size(), 1);
        EXPECT_TRUE(taken[0].startsWith(QStringLiteral("tovaline.debug|Thread ")));
        EXPECT_TRUE(taken[0].endsWith(QStringLiteral(": seen")));
    }
    threading::SetDebugSink(previous);
}

} // namespace
} // namespace kiv
