#include "framework/logs/TimeConversion.h"

#include <ctime>
#include <stdexcept>

#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>

namespace Kol {
namespace Common {
namespace Logs {

namespace {

using boost::posix_time::ptime;

const std::int64_t kMicrosecondsPerDay = 86400000000LL;

// The date library takes its day, month and year as unsigned short, so a value
// far out of range would wrap into range. Check the whole int first and throw
// the library's own errors, day before month before year.
boost::gregorian::date MakeDate(std::int64_t year, std::int64_t month, std::int64_t day) {
    if (day < 1 || day > 31) {
        throw boost::gregorian::bad_day_of_month();
    }
    const boost::gregorian::greg_day gregDay(static_cast<unsigned short>(day));
    if (month < 1 || month > 12) {
        throw boost::gregorian::bad_month();
    }
    const boost::gregorian::greg_month gregMonth(static_cast<unsigned short>(month));
    if (year < 1400 || year > 9999) {
        throw boost::gregorian::bad_year();
    }
    const boost::gregorian::greg_year gregYear(static_cast<unsigned short>(year));
    return boost::gregorian::date(gregYear, gregMonth, gregDay);
}

std::int64_t Absolute(std::int64_t value) {
    return value < 0 ? -value : value;
}

// Calendar breakdown is only defined between these two tick counts.
const std::int64_t kFirstTick =
    static_cast<std::int64_t>(boost::gregorian::date(1400, 1, 1).day_number()) *
    kMicrosecondsPerDay;
const std::int64_t kEndTick =
    (static_cast<std::int64_t>(boost::gregorian::date(9999, 12, 31).day_number()) + 1) *
    kMicrosecondsPerDay;

}  // namespace

ptime CurrentUtcTime() {
    const std::time_t now = std::time(nullptr);
    std::tm broken{};
    if (now == static_cast<std::time_t>(-1) || gmtime_r(&now, &broken) == nullptr) {
        throw std::runtime_error("could not convert calendar time to UTC time");
    }
    const boost::gregorian::date day =
        MakeDate(static_cast<std::int64_t>(broken.tm_year) + 1900,
                 static_cast<std::int64_t>(broken.tm_mon) + 1, broken.tm_mday);
    return ptime(day, boost::posix_time::hours(broken.tm_hour) +
                          boost::posix_time::minutes(broken.tm_min) +
                          boost::posix_time::seconds(broken.tm_sec));
}

std::int64_t TimeToTicks(const ptime& time) {
    // Read the stored count itself: going through the calendar would throw for
    // counts outside it, and the special values already are their own counts.
    struct CountReader : ptime {
        explicit CountReader(const ptime& value) : ptime(value) {}
        std::int64_t Count() const { return time_.time_count(); }
    };
    return CountReader(time).Count();
}

ptime TicksToTime(std::int64_t ticks) {
    return ptime(ptime::time_rep_type(ticks));
}

DataDefinition::Common::UTCTime ToUtcTime(const ptime& time) {
    if (time.is_not_a_date_time()) {
        throw std::runtime_error("Cannot convert not-a-date-time to UTCTime");
    }
    if (time.is_pos_infinity()) {
        throw std::runtime_error("Cannot convert +infinity to UTCTime");
    }
    if (time.is_neg_infinity()) {
        throw std::runtime_error("Cannot convert -infinity to UTCTime");
    }
    const std::int64_t ticks = TimeToTicks(time);
    if (ticks < kFirstTick || ticks >= kEndTick) {
        throw boost::gregorian::bad_year();
    }
    const boost::gregorian::date::ymd_type ymd = time.date().year_month_day();
    const std::int64_t t = ticks % kMicrosecondsPerDay;

    DataDefinition::Common::UTCTime result;
    result.set_day(ymd.day);
    result.set_month(ymd.month);
    result.set_year(ymd.year);
    result.set_hour(static_cast<std::int32_t>(t / 3600000000LL));
    result.set_minute(static_cast<std::int32_t>((t / 60000000LL) % 60));
    result.set_second(static_cast<std::int32_t>((t / 1000000LL) % 60));
    if (t % 1000000LL != 0) {
        result.set_nanos(static_cast<std::int32_t>((t % 1000000LL) * 1000));
    }
    return result;
}

ptime FromUtcTime(const DataDefinition::Common::UTCTime& value) {
    // The duration rule of the date library: any negative part makes the
    // whole time of day negative, built from the absolute values. Done here in
    // 64 bits so that no int32 extreme can overflow.
    const std::int64_t hour = value.hour();
    const std::int64_t minute = value.minute();
    const std::int64_t second = value.second();
    const std::int64_t micro = value.nanos() / 1000;
    std::int64_t total = Absolute(hour) * 3600000000LL + Absolute(minute) * 60000000LL +
                         Absolute(second) * 1000000LL + Absolute(micro);
    if (hour < 0 || minute < 0 || second < 0 || micro < 0) {
        total = -total;
    }
    const boost::gregorian::date day = MakeDate(value.year(), value.month(), value.day());
    return ptime(day, boost::posix_time::microseconds(total));
}

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
