#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include <boost/date_time/posix_time/ptime.hpp>

namespace Kol {
namespace Host {

// How the host writes the figures of store work, the same in a log line, a
// store's own note and the run's summary: sizes, seconds, points in time and
// the sentence of a removal. It lives beside the store interface because the
// stores use it too and may include nothing above their room; the mappers
// and the report include it from here.
//
// Pure functions: any thread; they throw only std::bad_alloc.
class CUnits {
public:
    // "18.0 MiB (18829312 bytes)"; below 1 KiB only "512 bytes"; a negative
    // size keeps its sign: "-1.5 KiB (-1536 bytes)". TiB is the largest unit.
    static std::string Size(std::int64_t bytes);
    // Seconds with three decimals: "0.013".
    static std::string Seconds(double seconds);
    // The seconds from `start` to `end`.
    static double Elapsed(const std::timespec& start, const std::timespec& end);
    // UTC in ISO 8601 with a Z: "2024-05-01T12:34:56.789Z" (milliseconds)
    // for a clock reading; "2024-05-01T12:34:56Z" for a cut-off (with its
    // fraction of a second, if any).
    static std::string Time(const std::timespec& time);
    static std::string Time(const boost::posix_time::ptime& time);
    // "removed 12 rows, freed 1.0 KiB (1024 bytes) inside the file, returned
    // 0 bytes to the file system"; on a dry run "would remove 12 rows, would
    // free ... inside the file, would return ... to the file system".
    static std::string Removal(std::uint64_t rows, std::int64_t freed, std::int64_t returned,
                               bool dryRun);

    CUnits() = delete;
};

}  // namespace Host
}  // namespace Kol
