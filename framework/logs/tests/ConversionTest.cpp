#include <cstdint>
#include <ctime>
#include <stdexcept>
#include <string>
#include <tuple>

#include <gtest/gtest.h>
#include <boost/date_time/posix_time/posix_time_types.hpp>

#include "framework/logs/TextTruncation.h"
#include "framework/logs/TimeConversion.h"
#include "framework/logs/UuidConversion.h"
#include "framework/logs/tests/TestSupport.h"

namespace Kol::Common::Logs {
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

// The accepted text forms are checked digit for digit by the fuzz corpus
// (fuzz/corpus/uuid_text); here the canonical text and a range inside a
// longer buffer.
TEST(UuidConversion, CanonicalTextAndRangeParsing) {
    EXPECT_EQ(UuidToString(CountingUuid()), "00010203-0405-0607-0809-0a0b0c0d0e0f");
    const std::string framed = "x00010203-0405-0607-0809-0a0b0c0d0e0fx";
    EXPECT_EQ(ParseUuid(framed.data() + 1, framed.data() + framed.size() - 1), CountingUuid());
}

TEST(UuidConversion, MalformedTextsNameThePositionAndReason) {
    const std::tuple<std::string, int, const char*> cases[] = {
        // text, position, reason
        {"", 0, "unexpected end of input"},
        {"0001020", 7, "unexpected end of input"},
        {"00010203-0405-0607-0809-0a0b0c0d0e0", 35, "unexpected end of input"},
        {"00010203", 8, "unexpected end of input"},
        {"0001020g-0405-0607-0809-0a0b0c0d0e0f", 7, "hex digit expected"},
        {"-00010203-0405-0607-0809-0a0b0c0d0e0f", 0, "hex digit expected"},
        {"00010203-0405x0607-0809-0a0b0c0d0e0f", 13, "dash expected"},
        {"00010203-0405-0607-0809a0a0b0c0d0e0f", 23, "dash expected"},
        {"000102030405-0607-0809-0a0b0c0d0e0f", 12, "hex digit expected"},
        {"{00010203-0405-0607-0809-0a0b0c0d0e0f", 37, "unexpected end of input"},
        {"{00010203-0405-0607-0809-0a0b0c0d0e0f)", 37, "closing brace expected"},
        {"00010203-0405-0607-0809-0a0b0c0d0e0f}", 36, "unexpected extra input"},
        {"000102030405060708090a0b0c0d0e0f0", 32, "unexpected extra input"},
        {"{000102030405060708090a0b0c0d0e0f} ", 34, "unexpected extra input"},
    };
    for (const auto& [text, position, reason] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ErrorText<std::runtime_error>([&input = text] { ParseUuid(input); }),
                  "Invalid UUID string at position " + std::to_string(position) + ": " + reason);
    }
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

TEST(TimeConversion, CurrentUtcTimeHasWholeSecondsOfTheClock) {
    const ptime epoch(boost::gregorian::date(1970, 1, 1));
    const std::time_t before = std::time(nullptr);
    const ptime now = CurrentUtcTime();
    const std::time_t after = std::time(nullptr);
    EXPECT_EQ(now.time_of_day().fractional_seconds(), 0);
    const std::int64_t seconds = (now - epoch).total_seconds();
    EXPECT_TRUE(seconds >= before && seconds <= after);
}

// Cuts, limits below 3 and bad lead bytes before the limit are checked
// against their definition by the fuzz corpus (fuzz/corpus/truncate_utf8);
// that check cannot tell whether a bad byte between the cut and the limit
// was looked at.
TEST(TextTruncation, LooksAtLeadBytesUpToTheCutOnly) {
    EXPECT_EQ(TruncateUtf8("abcde\xFF", 6), "abc...");
    EXPECT_EQ(TruncateUtf8("abcd\x80\x80", 6), "abc...");
    EXPECT_EQ(ErrorText<std::runtime_error>([] {
                  TruncateUtf8("ab\200def", 6);  // \200: the byte 0x80
              }),
              "Invalid utf8 leading byte");
}

TEST(TextTruncation, StorageLengthComesFromTheSymbolDescriptor) {
    // 2874 is a text symbol limited to 10 bytes, 2834 a symbol without limit,
    // 1 a symbol no log type knows.
    const std::tuple<std::int32_t, std::string, std::string> cases[] = {
        // id, text, result
        {2874, "abcdefghijklmnopqrst", "abcdefg..."},
        {2874, "abcdefghij", "abcdefghij"},
        {2874, "abcdefghijk", "abcdefg..."},
        {2834, "abcdefghijklmnopqrst", "abcdefghijklmnopqrst"},
        {1, "abcdefghijklmnopqrst", "abcdefghijklmnopqrst"},
    };
    for (auto [id, text, result] : cases) {
        SCOPED_TRACE(id);
        TruncateToOtlLength(text, id);
        EXPECT_EQ(text, result);
    }
    std::string bad = "ab\200defghijklmnop";
    EXPECT_EQ(ErrorText<std::runtime_error>([&] { TruncateToOtlLength(bad, 2874); }),
              "Invalid utf8 leading byte");
    EXPECT_EQ(bad, "ab\200defghijklmnop");
}

}  // namespace
}  // namespace Kol::Common::Logs
