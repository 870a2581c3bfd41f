#pragma once

#include <cstdint>
#include <string>

namespace Kol {
namespace Host {

// How the host writes the figures of store work, the same in a mapper's log
// line, a store's own note and the run's summary: sizes, seconds and the
// sentence of a removal. It lives beside the store interface because the
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
    // "removed 12 rows, freed 1.0 KiB (1024 bytes) inside the file, returned
    // 0 bytes to the file system"; on a dry run "would remove 12 rows, would
    // free ... inside the file, would return ... to the file system".
    static std::string Removal(std::uint64_t rows, std::int64_t freed, std::int64_t returned,
                               bool dryRun);

    CUnits() = delete;
};

}  // namespace Host
}  // namespace Kol
