// The fuzz checks of the value conversions: UUID text, UTCTime and tick
// counts, UTF-8 cutting.

#include <cstdint>
#include <exception>
#include <string>

#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>

#include "contracts/datadefinition/Common.pb.h"
#include "framework/logs/TextTruncation.h"
#include "framework/logs/TimeConversion.h"
#include "framework/logs/UuidConversion.h"
#include "fuzz/CheckSupport.h"
#include "fuzz/FuzzChecks.h"

namespace Kol {
namespace Fuzz {

namespace {

using Common::DataDefinition::Common::UTCTime;

const std::int64_t kMicrosecondsPerDay = 86400000000LL;

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

char ToLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string CheckUuidError(const std::exception& error, std::size_t size) {
    const std::string prefix = "Invalid UUID string at position ";
    const std::string text = error.what();
    if (!IsPlainRuntimeError(error) || !StartsWith(text, prefix)) {
        return "undocumented error: " + Describe(error);
    }
    const std::size_t colon = text.find(": ", prefix.size());
    if (colon == std::string::npos) {
        return "no reason in: " + text;
    }
    const std::string number = text.substr(prefix.size(), colon - prefix.size());
    if (!IsSignedDecimal(number) || number[0] == '-' || number.size() > 6) {
        return "bad position in: " + text;
    }
    const std::size_t position = std::stoul(number);
    const std::string reason = text.substr(colon + 2);
    if (reason == "unexpected end of input") {
        if (position != size) {
            return "end of input reported at " + number + " of " + std::to_string(size);
        }
    } else if (reason == "hex digit expected" || reason == "dash expected" ||
               reason == "closing brace expected" || reason == "unexpected extra input") {
        if (position >= size) {
            return "position " + number + " beyond the input of " + std::to_string(size);
        }
    } else {
        return "unknown reason in: " + text;
    }
    return "";
}

std::int64_t TickOf(const boost::gregorian::date& day) {
    return static_cast<std::int64_t>(day.day_number()) * kMicrosecondsPerDay;
}

std::string FieldsOf(const UTCTime& value) {
    return std::to_string(value.year()) + "-" + std::to_string(value.month()) + "-" +
           std::to_string(value.day()) + " " + std::to_string(value.hour()) + ":" +
           std::to_string(value.minute()) + ":" + std::to_string(value.second()) + "." +
           (value.has_nanos() ? std::to_string(value.nanos()) : std::string("unset"));
}

// The calendar fields of a converted time are always in their ranges.
std::string CheckCanonical(const UTCTime& value) {
    const bool inRange =
        value.year() >= 1400 && value.year() <= 9999 && value.month() >= 1 && value.month() <= 12 &&
        value.day() >= 1 &&
        value.day() <= boost::gregorian::gregorian_calendar::end_of_month_day(
                           static_cast<unsigned short>(value.year()),
                           static_cast<unsigned short>(value.month())) &&
        value.hour() >= 0 && value.hour() <= 23 && value.minute() >= 0 && value.minute() <= 59 &&
        value.second() >= 0 && value.second() <= 59 &&
        (!value.has_nanos() ||
         (value.nanos() >= 1000 && value.nanos() <= 999999000 && value.nanos() % 1000 == 0));
    return inRange ? "" : "ToUtcTime gave fields out of range: " + FieldsOf(value);
}

// Which error FromUtcTime owes a value with a bad date: day, then month,
// then year, then the day within its month.
std::string ExpectedDateError(const UTCTime& value) {
    if (value.day() < 1 || value.day() > 31) {
        return "Day of month value is out of range 1..31";
    }
    if (value.month() < 1 || value.month() > 12) {
        return "Month number is out of range 1..12";
    }
    if (value.year() < 1400 || value.year() > 9999) {
        return "Year is out of valid range: 1400..9999";
    }
    if (value.day() > boost::gregorian::gregorian_calendar::end_of_month_day(
                          static_cast<unsigned short>(value.year()),
                          static_cast<unsigned short>(value.month()))) {
        return "Day of month is not valid for year";
    }
    return "";
}

std::string CheckCalendarFields(const std::uint8_t* data, std::size_t size) {
    UTCTime value;
    if (!value.ParseFromArray(data, static_cast<int>(size)) || !value.IsInitialized()) {
        return "";
    }
    const std::string expectedError = ExpectedDateError(value);
    boost::posix_time::ptime time;
    try {
        time = Common::Logs::FromUtcTime(value);
    } catch (const std::exception& error) {
        if (!IsDateError(error)) {
            return "FromUtcTime: undocumented error: " + Describe(error);
        }
        if (expectedError != error.what()) {
            return "FromUtcTime(" + FieldsOf(value) + ") threw \"" + error.what() +
                   "\" instead of \"" + expectedError + "\"";
        }
        return "";
    }
    if (!expectedError.empty()) {
        return "FromUtcTime(" + FieldsOf(value) + ") accepted a bad date";
    }
    if (time.is_special()) {
        return "FromUtcTime(" + FieldsOf(value) + ") gave a special value";
    }
    const bool canonicalTime = value.hour() >= 0 && value.hour() <= 23 && value.minute() >= 0 &&
                               value.minute() <= 59 && value.second() >= 0 &&
                               value.second() <= 59 && value.nanos() >= 0 &&
                               value.nanos() <= 999999999;
    UTCTime back;
    try {
        back = Common::Logs::ToUtcTime(time);
    } catch (const std::exception& error) {
        if (IsYearError(error) && !canonicalTime) {
            return "";  // the time of day carried the point out of the calendar
        }
        return "ToUtcTime of FromUtcTime(" + FieldsOf(value) + ") failed: " + Describe(error);
    }
    const std::string canonical = CheckCanonical(back);
    if (!canonical.empty()) {
        return canonical;
    }
    if (Common::Logs::FromUtcTime(back) != time) {
        return "FromUtcTime(ToUtcTime(t)) != t for " + FieldsOf(value);
    }
    if (canonicalTime) {
        const std::int32_t micros = value.nanos() / 1000;
        if (back.year() != value.year() || back.month() != value.month() ||
            back.day() != value.day() || back.hour() != value.hour() ||
            back.minute() != value.minute() || back.second() != value.second() ||
            back.has_nanos() != (micros != 0) || (micros != 0 && back.nanos() != micros * 1000)) {
            return "round trip of " + FieldsOf(value) + " gave " + FieldsOf(back);
        }
    }
    return "";
}

std::string CheckTicks(const std::uint8_t* data, std::size_t size) {
    std::uint64_t bits = 0;
    for (std::size_t i = 0; i < 8 && i < size; ++i) {
        bits |= static_cast<std::uint64_t>(data[i]) << (8 * i);
    }
    const std::int64_t ticks = static_cast<std::int64_t>(bits);
    const std::string name = "tick count " + std::to_string(ticks);
    const boost::posix_time::ptime time = Common::Logs::TicksToTime(ticks);
    try {
        if (Common::Logs::TimeToTicks(time) != ticks) {
            return "TimeToTicks(TicksToTime(x)) != x for " + name;
        }
    } catch (const std::exception& error) {
        return "TimeToTicks threw for " + name + ": " + Describe(error);
    }
    static const std::int64_t firstTick = TickOf(boost::gregorian::date(1400, 1, 1));
    static const std::int64_t endTick =
        TickOf(boost::gregorian::date(9999, 12, 31)) + kMicrosecondsPerDay;
    std::string expectedError;
    if (ticks == INT64_MAX - 1) {
        expectedError = "Cannot convert not-a-date-time to UTCTime";
    } else if (ticks == INT64_MAX) {
        expectedError = "Cannot convert +infinity to UTCTime";
    } else if (ticks == INT64_MIN) {
        expectedError = "Cannot convert -infinity to UTCTime";
    } else if (ticks < firstTick || ticks >= endTick) {
        expectedError = "Year is out of valid range: 1400..9999";
    }
    UTCTime value;
    try {
        value = Common::Logs::ToUtcTime(time);
    } catch (const std::exception& error) {
        if (expectedError.empty() || expectedError != error.what()) {
            return "ToUtcTime threw " + Describe(error) + " for " + name;
        }
        return "";
    }
    if (!expectedError.empty()) {
        return "ToUtcTime converted " + name + " instead of throwing \"" + expectedError + "\"";
    }
    const std::string canonical = CheckCanonical(value);
    if (!canonical.empty()) {
        return canonical;
    }
    try {
        if (Common::Logs::TimeToTicks(Common::Logs::FromUtcTime(value)) != ticks) {
            return "the calendar form of " + name + " reads back as another time";
        }
    } catch (const std::exception& error) {
        return "FromUtcTime refused the calendar form of " + name + ": " + Describe(error);
    }
    return "";
}

// The length of the UTF-8 character whose lead byte is `lead`, 0 when `lead`
// cannot start one.
std::size_t CharacterLength(unsigned char lead) {
    if (lead < 0x80) {
        return 1;
    }
    if ((lead & 0xC0) == 0x80 || lead >= 0xFE) {
        return 0;
    }
    std::size_t length = 0;
    while (lead & 0x80) {
        ++length;
        lead = static_cast<unsigned char>(lead << 1);
    }
    return length;
}

}  // namespace

std::string CheckUuidText(const std::uint8_t* data, std::size_t size) {
    const std::string text = ToText(data, size);
    boost::uuids::uuid value;
    try {
        value = Common::Logs::ParseUuid(text.data(), text.data() + text.size());
    } catch (const std::exception& error) {
        return CheckUuidError(error, size);
    }
    // Accepted: 32 digits, all four dashes or none, braces or none.
    std::string digits;
    std::size_t dashes = 0;
    const bool braced = size >= 2 && text.front() == '{' && text.back() == '}';
    const std::string body = braced ? text.substr(1, size - 2) : text;
    for (const char c : body) {
        if (c == '-') {
            ++dashes;
        } else if (IsHexDigit(c)) {
            digits += ToLower(c);
        } else {
            return "accepted a character that is neither digit nor dash: " + text;
        }
    }
    if (digits.size() != 32 || (dashes != 0 && dashes != 4) ||
        (dashes == 4 &&
         (body[8] != '-' || body[13] != '-' || body[18] != '-' || body[23] != '-'))) {
        return "accepted a malformed UUID: " + text;
    }
    const std::string canonical = Common::Logs::UuidToString(value);
    std::string canonicalDigits;
    for (std::size_t i = 0; i < canonical.size(); ++i) {
        const bool dashPlace = i == 8 || i == 13 || i == 18 || i == 23;
        const char c = canonical[i];
        if (dashPlace ? c != '-' : !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) {
            return "UuidToString gave a malformed text: " + canonical;
        }
        if (!dashPlace) {
            canonicalDigits += c;
        }
    }
    if (canonical.size() != 36 || canonicalDigits != digits) {
        return "UuidToString(ParseUuid(" + text + ")) gave " + canonical;
    }
    try {
        if (Common::Logs::ParseUuid(canonical) != value) {
            return "the canonical text " + canonical + " reads back as another UUID";
        }
    } catch (const std::exception& error) {
        return "the canonical text " + canonical + " was refused: " + Describe(error);
    }
    return "";
}

std::string CheckUtcTime(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return "";
    }
    return (data[0] & 1) == 0 ? CheckCalendarFields(data + 1, size - 1)
                              : CheckTicks(data + 1, size - 1);
}

std::string CheckTruncateUtf8(const std::uint8_t* data, std::size_t size) {
    const std::size_t limit = static_cast<std::size_t>(size > 0 ? data[0] : 0) |
                              static_cast<std::size_t>(size > 1 ? data[1] : 0) << 8;
    const std::string text = size > 2 ? ToText(data + 2, size - 2) : std::string();
    const std::string name =
        "limit " + std::to_string(limit) + " on " + std::to_string(text.size()) + " bytes";
    std::string result;
    try {
        result = Common::Logs::TruncateUtf8(text, limit);
    } catch (const std::exception& error) {
        if (!IsPlainRuntimeError(error) || !IsUtf8Error(error.what())) {
            return "undocumented error: " + Describe(error);
        }
        // Only bytes before the limit are examined.
        const unsigned char wanted =
            std::string(error.what()) == "Invalid utf8 leading byte" ? 0x80 : 0xFE;
        for (std::size_t i = 0; i < text.size() && i < limit; ++i) {
            const unsigned char b = static_cast<unsigned char>(text[i]);
            if (wanted == 0x80 ? (b & 0xC0) == 0x80 : b >= 0xFE) {
                return "";
            }
        }
        return "\"" + std::string(error.what()) + "\" without such a byte before the limit, " +
               name;
    }
    if (text.size() < limit) {
        return result == text ? "" : "a text shorter than the limit was changed, " + name;
    }
    if (!EndsWith(result, "...")) {
        return "the cut text does not end with \"...\", " + name;
    }
    const std::size_t kept = result.size() - 3;
    if (text.compare(0, kept, result, 0, kept) != 0) {
        return "the cut text is not a prefix of the text, " + name;
    }
    // The kept part is whole characters, walked from the start.
    std::size_t start = 0;
    while (start < kept) {
        const std::size_t length = CharacterLength(static_cast<unsigned char>(text[start]));
        if (length == 0) {
            return "kept an invalid lead byte at " + std::to_string(start) + ", " + name;
        }
        start += length;
    }
    if (start != kept) {
        return "cut inside a character, " + name;
    }
    // And it is the longest such prefix: the character at the cut, whose lead
    // byte was checked too, would not fit within limit - 3 (limit - 1 for
    // limits below 3, whose arithmetic wraps).
    if (limit == 0) {
        return kept == 0 ? "" : "limit 0 kept " + std::to_string(kept) + " bytes";
    }
    const std::size_t room = limit >= 3 ? limit - 3 : limit - 1;
    const std::size_t next = CharacterLength(static_cast<unsigned char>(text[kept]));
    if (next == 0) {
        return "no error for the invalid lead byte at the cut, " + name;
    }
    if (kept > room || kept + next <= room) {
        return "kept " + std::to_string(kept) + " bytes, " + name;
    }
    return "";
}

}  // namespace Fuzz
}  // namespace Kol
