#include "host/store/CUnits.h"

#include <cstdio>
#include <cstdlib>

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

std::string CUnits::Removal(std::uint64_t rows, std::int64_t freed, std::int64_t returned,
                            bool dryRun) {
    return std::string(dryRun ? "would remove " : "removed ") + std::to_string(rows) + " rows, " +
           (dryRun ? "would free " : "freed ") + Size(freed) + " inside the file, " +
           (dryRun ? "would return " : "returned ") + Size(returned) + " to the file system";
}

}  // namespace Host
}  // namespace Kol
