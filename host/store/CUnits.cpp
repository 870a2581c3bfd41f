#include "host/store/CUnits.h"

#include <cstdio>
#include <cstdlib>

#include <boost/date_time/posix_time/time_formatters.hpp>

namespace Kol {
namespace Host {

std::string CUnits::Size(std::int64_t bytes) {
    const std::string exact = std::to_string(bytes) + " bytes";
    const double magnitude = static_cast<double>(std::llabs(bytes));
    if (magnitude < 1024) {
        return exact;
    }
    static const char* const units[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = magnitude / 1024;
    std::size_t unit = 0;
    while (value >= 1024 && unit + 1 < sizeof units / sizeof units[0]) {
        value /= 1024;
        ++unit;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%s%.1f %s (%s)", bytes < 0 ? "-" : "", value, units[unit],
                  exact.c_str());
    return text;
}

std::string CUnits::Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", seconds);
    return text;
}

double CUnits::Elapsed(const std::timespec& start, const std::timespec& end) {
    return static_cast<double>(end.tv_sec - start.tv_sec) +
           static_cast<double>(end.tv_nsec - start.tv_nsec) / 1e9;
}

std::string CUnits::Time(const std::timespec& time) {
    std::tm parts{};
    gmtime_r(&time.tv_sec, &parts);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                  static_cast<int>(time.tv_nsec / 1000000));
    return text;
}

std::string CUnits::Time(const boost::posix_time::ptime& time) {
    return boost::posix_time::to_iso_extended_string(time) + "Z";
}

std::string CUnits::Removal(std::uint64_t rows, std::int64_t freed, std::int64_t returned,
                            bool dryRun) {
    return std::string(dryRun ? "would remove " : "removed ") + std::to_string(rows) + " rows, " +
           (dryRun ? "would free " : "freed ") + Size(freed) + " inside the file, " +
           (dryRun ? "would return " : "returned ") + Size(returned) + " to the file system";
}

}  // namespace Host
}  // namespace Kol
