#include "core/platform/PropertySystem.h"

#include "ScopedEnvironment.h"
#include "core/platform/LocalTime.h"

#include <gtest/gtest.h>

namespace kiv::pf {
namespace {

struct TByteSizeCase
{
    const char* Locale;
    std::uint64_t Bytes;
    const char* Text;
};

class ByteSizeTest : public testing::TestWithParam<TByteSizeCase>
{
};

TEST_P(ByteSizeTest, FormatsAtUnitBoundaries)
{
    const TByteSizeCase& c = GetParam();
    EXPECT_EQ(FormatByteSize(c.Bytes, QLocale(QString::fromLatin1(c.Locale))),
              QString::fromUtf8(c.Text));
}

INSTANTIATE_TEST_SUITE_P(
    Locales, ByteSizeTest,
    testing::Values(
        TByteSizeCase{"en_US", 0, "0 bytes"}, TByteSizeCase{"en_US", 1023, "1023 bytes"},
        TByteSizeCase{"en_US", 1024, "1.00 KB"}, TByteSizeCase{"en_US", 1536, "1.50 KB"},
        TByteSizeCase{"en_US", 10239, "9.99 KB"}, TByteSizeCase{"en_US", 10240, "10.0 KB"},
        TByteSizeCase{"en_US", 1023999, "999 KB"},
        // 1000 KB and more is shown in the next unit, truncated.
        TByteSizeCase{"en_US", 1024000, "0.97 MB"}, TByteSizeCase{"en_US", 1048575, "0.99 MB"},
        TByteSizeCase{"en_US", 1048576, "1.00 MB"}, TByteSizeCase{"en_US", 1073741824, "1.00 GB"},
        TByteSizeCase{"en_US", 1099511627776, "1.00 TB"},
        TByteSizeCase{"ja_JP", 1023, "1023 バイト"}, TByteSizeCase{"ja_JP", 1024, "1.00 KB"},
        TByteSizeCase{"ja_JP", 1048576, "1.00 MB"}, TByteSizeCase{"de_DE", 1536, "1,50 KB"}));

TEST(PropertySystemTest, KilobytesRoundUpWithGroupSeparators)
{
    const QLocale en(QStringLiteral("en_US"));
    EXPECT_EQ(FormatKilobytes(0, en), QStringLiteral("0 KB"));
    EXPECT_EQ(FormatKilobytes(1, en), QStringLiteral("1 KB"));
    EXPECT_EQ(FormatKilobytes(1025, en), QStringLiteral("2 KB"));
    EXPECT_EQ(FormatKilobytes(1234567890, en), QStringLiteral("1,205,633 KB"));
    EXPECT_EQ(PropertySystem::FormatForDisplay(
                  *PropertySystem::KeyFromName(QStringLiteral("System.Size")),
                  PropVariant{std::uint64_t{2048}}, pdff::ALWAYSKB, en),
              QStringLiteral("2 KB"));
}

TEST(PropertySystemTest, CanonicalNamesRoundTripAndMissesAreEmpty)
{
    for (const PropertyDescription& d : PropertySystem::All()) {
        ASSERT_EQ(PropertySystem::KeyFromName(d.CanonicalName), d.Key)
            << d.CanonicalName.toStdString();
        EXPECT_FALSE(d.DisplayName.isEmpty());
    }
    EXPECT_EQ(PropertySystem::Find(
                  *PropertySystem::KeyFromName(QStringLiteral("System.Photo.CameraModel")))
                  ->DisplayName,
              QStringLiteral("Camera model"));
    // Ordinal comparison: the published names are exact.
    EXPECT_FALSE(PropertySystem::KeyFromName(QStringLiteral("system.size")).has_value());
    EXPECT_TRUE(PropertySystem::NameFromKey(PropertyKey{}).isEmpty());
}

TEST(PropertySystemTest, FormatsByKind)
{
    const QLocale en(QStringLiteral("en_US"));
    EXPECT_EQ(PropertySystem::FormatForDisplay(pkey::FileAttributes,
                                               PropVariant{std::uint32_t{0x21}}, 0, en),
              QStringLiteral("RA"));
    EXPECT_EQ(FileAttributesText(0x3FFFu), QStringLiteral("RHSDACLOI"));
    const auto duration = PropertySystem::KeyFromName(QStringLiteral("System.Media.Duration"));
    EXPECT_EQ(PropertySystem::FormatForDisplay(*duration,
                                               PropVariant{std::uint64_t{3725} * 10000000u}, 0, en),
              QStringLiteral("1:02:05"));
    EXPECT_EQ(PropertySystem::FormatForDisplay(pkey::Size, PropVariant{}, 0, en), QString());
    // A key nobody described is written by its value's type.
    EXPECT_EQ(PropertySystem::FormatForDisplay(PropertyKey{}, PropVariant{std::int32_t{-5}}, 0, en),
              QStringLiteral("-5"));
}

TEST(LocalTimeTest, FileTimesBecomeLocalDatesAndBack)
{
    // 2024-03-01 12:00:00 UTC.
    const FileTime noon = FileTime::FromUnix(1709294400, 0);
    const QTimeZone tokyo(QByteArrayLiteral("Asia/Tokyo"));
    const QDateTime local = FileTimeToLocal(noon, tokyo);
    EXPECT_EQ(local.time().hour(), 21);
    EXPECT_EQ(local.toMSecsSinceEpoch(), Q_INT64_C(1709294400000));
    EXPECT_EQ(FileTimeFromDateTime(local), noon);
    EXPECT_FALSE(FileTimeToLocal(FileTime{}).isValid());
    EXPECT_EQ(FileTimeFromDateTime(QDateTime()), FileTime{});
    // Dates show without seconds in the locale's short form.
    const QString text =
        FormatDateTime(FileTimeToUtc(noon).toTimeZone(tokyo), QLocale(QStringLiteral("ja_JP")));
    EXPECT_EQ(text, QStringLiteral("2024/03/01 21:00"));
}

TEST(LocalTimeTest, QuickLocalFieldsAgreeAcrossADaylightSavingChange)
{
    test::TScopedEnvironment env;
    env.Set("TZ", "Europe/Berlin");
    // Summer time starts on 2031-03-30 at 01:00 UTC; the instants are in no other test, so no
    // offset of another zone is kept for them.
    const std::int64_t start = 1932598800; // 2031-03-30 01:00:00 UTC
    for (const std::int64_t seconds : {start - 1, start, start + 1799, std::int64_t{-300000000}}) {
        const FileTime time = FileTime::FromUnix(seconds, 0);
        QDate date;
        QTime timeOfDay;
        ASSERT_TRUE(LocalDateAndTime(time, date, timeOfDay));
        const QDateTime expected = FileTimeToLocal(time);
        EXPECT_EQ(date, expected.date()) << seconds;
        EXPECT_EQ(timeOfDay, expected.time()) << seconds;
    }
    QDate date;
    QTime timeOfDay;
    ASSERT_TRUE(LocalDateAndTime(FileTime::FromUnix(start, 0), date, timeOfDay));
    EXPECT_EQ(timeOfDay, QTime(3, 0));
    EXPECT_FALSE(LocalDateAndTime(FileTime{}, date, timeOfDay));
}

TEST(PropertySystemTest, VariantsConvertBothWays)
{
    const FileTime time = FileTime::FromUnix(1700000000, 0);
    const QVariant date = PropVariantToVariant(PropVariant{time});
    ASSERT_EQ(date.typeId(), QMetaType::QDateTime);
    PropVariant value;
    ASSERT_TRUE(VariantToPropVariant(date, value));
    EXPECT_EQ(value, PropVariant{time});
    ASSERT_TRUE(VariantToPropVariant(QVariant(qulonglong(7)), value));
    EXPECT_EQ(value, PropVariant{std::uint64_t{7}});
    ASSERT_TRUE(VariantToPropVariant(QVariant(), value));
    EXPECT_EQ(value, PropVariant{});
    EXPECT_FALSE(VariantToPropVariant(QVariant(QStringList{QStringLiteral("a")}), value));
}

} // namespace
} // namespace kiv::pf
