#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Kol {
namespace Common {
namespace Logs {

// Where a bulk load of `count` identifiers into a container that already
// holds `present` (no repeats among them) meets its first repeat: the
// smallest index i such that ids[i] equals one of `present` or an earlier
// ids[j] that was added. `added` says which loaded entries add a symbol (a
// protobuf entry with an empty value adds none and so cannot be repeated);
// nullptr means all of them. Returns `count` when nothing repeats. Requires
// `count` below 2^32 - 1 (the binary form's count is a signed 32-bit value).
//
// Sorts one copy of the identifiers: O(N log N) time, 8 bytes per identifier.
// Lets the bulk loads skip the linear duplicate search of single adds for
// every entry before the returned index. Any thread.
std::size_t FindFirstRepeat(const std::vector<std::int32_t>& present, const std::int32_t* ids,
                            std::size_t count, const std::uint8_t* added);

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
