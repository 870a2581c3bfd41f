#include "host/cli/CSizeLimitOptions.h"

#include <charconv>
#include <limits>
#include <stdexcept>

#include "host/store/CStoreFactory.h"

namespace Kol {
namespace Host {

namespace {

struct Unit {
    const char* name;
    int shift;  // bits: a power of 1024
};

const Unit kUnits[] = {{"K", 10},   {"M", 20},   {"G", 30},   {"T", 40},
                       {"KiB", 10}, {"MiB", 20}, {"GiB", 30}, {"TiB", 40}};

}  // namespace

std::vector<CCommandLine::Option> CSizeLimitOptions::Options() {
    return {
        {"max-size", 0, "SIZE",
         "after the storage operation the store takes at most SIZE (bytes, or with K, M, G or T, "
         "powers of 1024): the oldest logs of every class go first, with their blobs, until it "
         "fits; SQLite: the file and its write-ahead log; PostgreSQL: the partitions of logs and "
         "log_blobs, made smaller by dropping whole partitions, with log_blobs and the default "
         "and future partitions a floor (default: none)",
         CCommandLine::Section::kMain,
         [](const std::string& v, CHostOptions& o) {
             o.sizeLimits.maxSize = ParseSize(v, "--max-size");
         },
         true},
        {"keep-free", 0, "SIZE",
         "after the storage operation the file system holding an SQLite store has at least SIZE "
         "available to unprivileged users, removing the oldest logs as --max-size does (default: "
         "none)",
         CCommandLine::Section::kMain,
         [](const std::string& v, CHostOptions& o) {
             o.sizeLimits.keepFree = ParseSize(v, "--keep-free");
         },
         true},
        {"min-age", 0, "DAYS",
         "--max-size and --keep-free never remove a log younger than DAYS, 0 to 65535; the "
         "retention periods apply first and unchanged (default: 1)",
         CCommandLine::Section::kMain,
         [](const std::string& v, CHostOptions& o) {
             o.sizeLimits.minAgeDays = CCommandLine::ParseDays(v, "--min-age");
         },
         true},
    };
}

std::int64_t CSizeLimitOptions::ParseSize(const std::string& text, const std::string& option) {
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    std::int64_t number = 0;
    const std::from_chars_result read = std::from_chars(begin, end, number);
    bool valid = read.ec == std::errc() && read.ptr != begin && number >= 0;
    int shift = 0;
    if (valid && read.ptr != end) {
        const std::string unit(read.ptr, end);
        valid = false;
        for (const Unit& known : kUnits) {
            if (unit == known.name) {
                shift = known.shift;
                valid = true;
            }
        }
    }
    if (valid && number > (std::numeric_limits<std::int64_t>::max() >> shift)) {
        valid = false;
    }
    if (!valid) {
        throw std::invalid_argument(option + ": \"" + text +
                                    "\" is not a size (bytes, or a number with K, M, G or T, "
                                    "powers of 1024)");
    }
    return number << shift;
}

void CSizeLimitOptions::Check(const CHostOptions& options) {
    if (!CStoreFactory::IsServer(options.db)) {
        return;
    }
    if (options.sizeLimits.keepFree) {
        throw std::invalid_argument(
            "--keep-free is for SQLite stores only: a PostgreSQL server keeps its files on its "
            "own file system, which this program does not see");
    }
}

}  // namespace Host
}  // namespace Kol
