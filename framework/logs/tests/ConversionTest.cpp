#include <cstdint>
#include <ctime>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>
#include <boost/date_time/posix_time/posix_time_types.hpp>

#include "framework/logs/TextTruncation.h"
#include "framework/logs/TimeConversion.h"
#include "framework/logs/UuidConversion.h"
#include "framework/logs/tests/TestSupport.h"

namespace Kol {
namespace Common {
namespace Logs {
namespace {

using boost::posix_time::ptime;
using namespace Test;

boost::uuids::uuid CountingUuid() {
    boost::uuids::uuid value;
    for (std::size_t i = 0; i < value.size(); ++i) {
        value.data[i] = static_cast<boost::uuids::uuid::value_type>(i);
    }
    return value;
}

TEST(UuidConversion, TextFormsParseToTheSameBytes) {
    EXPECT_EQ(UuidToString(CountingUuid()), "00010203-0405-0607-0809-0a0b0c0d0e0f");
    const char* accepted[] = {
        "00010203-0405-0607-0809-0a0b0c0d0e0f",
        "{00010203-0405-0607-0809-0A0B0C0D0E0F}",
        "000102030405060708090a0b0c0d0e0f",
        "{000102030405060708090A0b0C0d0E0f}",
    };
    for (const char* text : accepted) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ParseUuid(text), CountingUuid());
    }
    const std::string framed = "x00010203-0405-0607-0809-0a0b0c0d0e0fx";
    EXPECT_EQ(ParseUuid(framed.data() + 1, framed.data() + framed.size() - 1), CountingUuid());
}

TEST(UuidConversion, MalformedTextsNameThePositionAndReason) {
    const struct {
        const char* text;
        const char* error;
    } cases[] = {
        {"", "Invalid UUID string at position 0: unexpected end of input"},
        {"0001020", "Invalid UUID string at position 7: unexpected end of input"},
        {"00010203-0405-0607-0809-0a0b0c0d0e0",
         "Invalid UUID string at position 35: unexpected end of input"},
        {"00010203", "Invalid UUID string at position 8: unexpected end of input"},
        {"0001020g-0405-0607-0809-0a0b0c0d0e0f",
         "Invalid UUID string at position 7: hex digit expected"},
        {"-00010203-0405-0607-0809-0a0b0c0d0e0f",
         "Invalid UUID string at position 0: hex digit expected"},
        {"00010203-0405x0607-0809-0a0b0c0d0e0f",
         "Invalid UUID string at position 13: dash expected"},
        {"00010203-0405-0607-0809a0a0b0c0d0e0f",
         "Invalid UUID string at position 23: dash expected"},
        {"000102030405-0607-0809-0a0b0c0d0e0f",
         "Invalid UUID string at position 12: hex digit expected"},
        {"{00010203-0405-0607-0809-0a0b0c0d0e0f",
         "Invalid UUID string at position 37: unexpected end of input"},
        {"{00010203-0405-0607-0809-0a0b0c0d0e0f)",
         "Invalid UUID string at position 37: closing brace expected"},
        {"00010203-0405-0607-0809-0a0b0c0d0e0f}",
         "Invalid UUID string at position 36: unexpected extra input"},
        {"000102030405060708090a0b0c0d0e0f0",
         "Invalid UUID string at position 32: unexpected extra input"},
        {"{000102030405060708090a0b0c0d0e0f} ",
         "Invalid UUID string at position 34: unexpected extra input"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ErrorText<std::runtime_error>([&] { ParseUuid(std::string(c.text)); }), c.error);
    }
}

TEST(TimeConversion, TickCountsOfTheEpochAndSpecialValues) {
    const ptime epoch(boost::gregorian::date(1970, 1, 1));
    EXPECT_EQ(TimeToTicks(epoch), 210866803200000000LL);
    EXPECT_EQ(TicksToTime(210866803200000000LL), epoch);
    const ptime later = epoch + boost::posix_time::microseconds(86400000001LL);
    EXPECT_EQ(TimeToTicks(later), 210866803200000000LL + 86400000001LL);
    EXPECT_EQ(TicksToTime(TimeToTicks(later)), later);

    const struct {
        boost::date_time::special_values value;
        std::int64_t ticks;
    } specials[] = {
        {boost::date_time::not_a_date_time, INT64_MAX - 1},
        {boost::date_time::pos_infin, INT64_MAX},
        {boost::date_time::neg_infin, INT64_MIN},
    };
    for (const auto& s : specials) {
        SCOPED_TRACE(s.ticks);
        EXPECT_EQ(TimeToTicks(ptime(s.value)), s.ticks);
        const ptime back = TicksToTime(s.ticks);
        EXPECT_TRUE(back.is_special());
        EXPECT_EQ(TimeToTicks(back), s.ticks);
    }
    EXPECT_TRUE(TicksToTime(INT64_MAX - 1).is_not_a_date_time());
    EXPECT_TRUE(TicksToTime(INT64_MAX).is_pos_infinity());
    EXPECT_TRUE(TicksToTime(INT64_MIN).is_neg_infinity());
}

TEST(TimeConversion, UtcTimeFieldsBothWays) {
    DataDefinition::Common::UTCTime fraction = MakeUtcTime(2024, 2, 29, 23, 59, 58);
    fraction.set_nanos(1500);
    const ptime withMicro = FromUtcTime(fraction);
    EXPECT_EQ(withMicro, ptime(boost::gregorian::date(2024, 2, 29),
                               boost::posix_time::time_duration(23, 59, 58, 1)));
    EXPECT_EQ(ToUtcTime(withMicro).ShortDebugString(),
              "year: 2024 month: 2 day: 29 hour: 23 minute: 59 second: 58 nanos: 1000");
    EXPECT_EQ(ToUtcTime(ptime(boost::gregorian::date(1970, 1, 1))).ShortDebugString(),
              "year: 1970 month: 1 day: 1 hour: 0 minute: 0 second: 0");

    // Components are not range-checked; a negative one makes the whole time
    // of day negative from the absolute values.
    EXPECT_EQ(FromUtcTime(MakeUtcTime(2024, 1, 31, 25)),
              ptime(boost::gregorian::date(2024, 2, 1), boost::posix_time::hours(1)));
    EXPECT_EQ(
        FromUtcTime(MakeUtcTime(2024, 1, 31, -1, 30)),
        ptime(boost::gregorian::date(2024, 1, 30), boost::posix_time::time_duration(22, 30, 0)));
}

TEST(TimeConversion, CalendarErrorsComeFromTheDateLibraryDayFirst) {
    const struct {
        int year, month, day;
        const char* error;
    } cases[] = {
        {2024, 2, 30, "Day of month is not valid for year"},
        {2023, 2, 29, "Day of month is not valid for year"},
        {2024, 13, 40, "Day of month value is out of range 1..31"},
        {2024, 1, 0, "Day of month value is out of range 1..31"},
        {2024, 1, 65537, "Day of month value is out of range 1..31"},
        {2024, 13, 1, "Month number is out of range 1..12"},
        {99999, 0, 1, "Month number is out of range 1..12"},
        {1399, 12, 31, "Year is out of valid range: 1400..9999"},
        {10000, 1, 1, "Year is out of valid range: 1400..9999"},
        {65536 + 2000, 1, 1, "Year is out of valid range: 1400..9999"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.year) + "-" + std::to_string(c.month) + "-" +
                     std::to_string(c.day));
        EXPECT_EQ(
            ErrorText<std::out_of_range>([&] { FromUtcTime(MakeUtcTime(c.year, c.month, c.day)); }),
            c.error);
    }
}

TEST(TimeConversion, TimesWithoutCalendarFormAreRefused) {
    EXPECT_EQ(
        ErrorText<std::runtime_error>([] { ToUtcTime(ptime(boost::date_time::not_a_date_time)); }),
        "Cannot convert not-a-date-time to UTCTime");
    EXPECT_EQ(ErrorText<std::runtime_error>([] { ToUtcTime(ptime(boost::date_time::pos_infin)); }),
              "Cannot convert +infinity to UTCTime");
    EXPECT_EQ(ErrorText<std::runtime_error>([] { ToUtcTime(ptime(boost::date_time::neg_infin)); }),
              "Cannot convert -infinity to UTCTime");
    // A time pushed past 9999 by an overlong time of day.
    const ptime beyond = FromUtcTime(MakeUtcTime(9999, 12, 31, 48, 0, 0));
    EXPECT_EQ(ErrorText<std::out_of_range>([&] { ToUtcTime(beyond); }),
              "Year is out of valid range: 1400..9999");
    EXPECT_EQ(ErrorText<std::out_of_range>([] { ToUtcTime(TicksToTime(0)); }),
              "Year is out of valid range: 1400..9999");
}

TEST(TimeConversion, CurrentUtcTimeHasWholeSecondsOfTheClock) {
    const ptime epoch(boost::gregorian::date(1970, 1, 1));
    const std::time_t before = std::time(nullptr);
    const ptime now = CurrentUtcTime();
    const std::time_t after = std::time(nullptr);
    EXPECT_EQ(now.time_of_day().fractional_seconds(), 0);
    const std::int64_t seconds = (now - epoch).total_seconds();
    EXPECT_GE(seconds, static_cast<std::int64_t>(before));
    EXPECT_LE(seconds, static_cast<std::int64_t>(after));
}

TEST(TextTruncation, CutsAtCharacterBoundariesWithinTheLimit) {
    const std::string threeByte = "\xE2\x82\xAC";  // euro sign
    const struct {
        std::string text;
        std::size_t limit;
        std::string expected;
    } cases[] = {
        {"abcdefghijklmnopqrst", 10, "abcdefg..."},
        {"abcde" + threeByte + "fghij", 10, "abcde..."},
        {"abcd" + threeByte + "fghij", 10, "abcd" + threeByte + "..."},
        {"abcdefghij", 10, "abcdefg..."},
        {"abcdefghi", 10, "abcdefghi"},
        {"", 0, "..."},
        {"abc", 3, "..."},
        {"abcd", 4, "a..."},
        {"abcdef", 1, "..."},
        {"abcdef", 2, "a..."},
        {threeByte + "abc", 2, "..."},
        // 5- and 6-byte lead bytes are accepted and skipped whole.
        {"\xF8\x80\x80\x80\x80"
         "abcdef",
         9,
         "\xF8\x80\x80\x80\x80"
         "a..."},
        {"\xFC\x80\x80\x80\x80\x80"
         "abcdef",
         9, "\xFC\x80\x80\x80\x80\x80..."},
        // An invalid byte after the cut is never looked at.
        {"abcdefgh\x80", 8, "abcde..."},
        {"abcde\xFF", 6, "abc..."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text + " / " + std::to_string(c.limit));
        EXPECT_EQ(TruncateUtf8(c.text, c.limit), c.expected);
    }
}

TEST(TextTruncation, BadLeadBytesBeforeTheCutThrow) {
    const struct {
        std::string text;
        std::size_t limit;
        const char* error;
    } cases[] = {
        {"ab\x80"
         "defghij",
         10, "Invalid utf8 leading byte"},
        {"\xBF"
         "bcdef",
         2, "Invalid utf8 leading byte"},
        {"abc\xFE"
         "efghij",
         10, "Utf8 character cannot have more than 6 characters"},
        {"\xFF"
         "bcdefghij",
         10, "Utf8 character cannot have more than 6 characters"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.limit);
        EXPECT_EQ(ErrorText<std::runtime_error>([&] { TruncateUtf8(c.text, c.limit); }), c.error);
    }
}

TEST(TextTruncation, StorageLengthComesFromTheSymbolDescriptor) {
    // 2874 is a text symbol limited to 10 bytes, 2834 a symbol without limit,
    // 1 a symbol no log type knows.
    const struct {
        std::int32_t id;
        std::string text;
        std::string expected;
    } cases[] = {
        {2874, "abcdefghijklmnopqrst", "abcdefg..."},
        {2874, "abcdefghij", "abcdefghij"},
        {2874, "abcdefghijk", "abcdefg..."},
        {2834, "abcdefghijklmnopqrst", "abcdefghijklmnopqrst"},
        {1, "abcdefghijklmnopqrst", "abcdefghijklmnopqrst"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        std::string text = c.text;
        TruncateToOtlLength(text, c.id);
        EXPECT_EQ(text, c.expected);
    }
    std::string bad =
        "ab\x80"
        "defghijklmnop";
    EXPECT_EQ(ErrorText<std::runtime_error>([&] { TruncateToOtlLength(bad, 2874); }),
              "Invalid utf8 leading byte");
    EXPECT_EQ(bad,
              "ab\x80"
              "defghijklmnop");
}

}  // namespace
}  // namespace Logs
}  // namespace Common
}  // namespace Kol
