#pragma once

#include <cstdint>

#include <boost/date_time/posix_time/ptime.hpp>

#include "contracts/datadefinition/Common.pb.h"

namespace Kol {
namespace Common {
namespace Logs {

// Conversions between points in time (UTC, microsecond resolution), their
// 64-bit tick counts and the UTCTime calendar message. None keeps state; every
// function may be called from any thread.

// The current UTC time in whole seconds, read from the calendar clock.
// Throws std::runtime_error "could not convert calendar time to UTC time" when
// the clock cannot be broken down as UTC.
boost::posix_time::ptime CurrentUtcTime();

// The tick count of `time`: its Julian Day Number times 86,400,000,000 plus
// the microseconds since midnight. Special values map to the library's own
// counts (not-a-date-time 2^63-2, +infinity 2^63-1, -infinity -2^63).
// Never throws.
std::int64_t TimeToTicks(const boost::posix_time::ptime& time);

// The inverse of TimeToTicks. Any count is accepted and kept as it is; counts
// that name no calendar day fail later, when such a time is broken down.
// Never throws.
boost::posix_time::ptime TicksToTime(std::int64_t ticks);

// Calendar fields of `time`; `nanos` is set only when there is a fraction of a
// second. Throws std::runtime_error for a special value ("Cannot convert
// not-a-date-time to UTCTime", "... +infinity ...", "... -infinity ...") and
// the date library's std::out_of_range "Year is out of valid range:
// 1400..9999" for a time outside those years.
DataDefinition::Common::UTCTime ToUtcTime(const boost::posix_time::ptime& time);

// The point in time of `value`, which must be initialised. Hours, minutes,
// seconds and microseconds (nanos / 1000) are not range-checked; if any is
// negative the time of day is negative and made of their absolute values.
// Throws the date library's std::out_of_range errors, checked in this order:
// "Day of month value is out of range 1..31", "Month number is out of range
// 1..12", "Year is out of valid range: 1400..9999", "Day of month is not valid
// for year".
boost::posix_time::ptime FromUtcTime(const DataDefinition::Common::UTCTime& value);

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
