#include "framework/logs/IdentifierRepeats.h"

#include <algorithm>

namespace Kol {
namespace Common {
namespace Logs {

namespace {

// The identifier in the high half, ordered as a signed number, and the
// position in the low half: 0 for a present identifier, i + 1 for ids[i].
std::uint64_t Key(std::int32_t id, std::size_t position) {
    const std::uint32_t ordered = static_cast<std::uint32_t>(id) ^ 0x80000000u;
    return static_cast<std::uint64_t>(ordered) << 32 | static_cast<std::uint64_t>(position);
}

std::size_t Position(std::uint64_t key) {
    return static_cast<std::size_t>(key & 0xFFFFFFFFu);
}

// Up to this many identifiers in all, comparing pairs is cheaper than sorting.
const std::size_t kPairwiseLimit = 16;
// Up to this many, the sort keys stay on the stack.
const std::size_t kStackKeys = 128;

// The same answer by comparing every pair, for loads too small to be worth
// an allocation and a sort.
std::size_t FindFirstRepeatByPairs(const std::vector<std::int32_t>& present,
                                   const std::int32_t* ids, std::size_t count,
                                   const std::uint8_t* added) {
    for (std::size_t i = 0; i < count; ++i) {
        // Without early exits, so that the compiler can compare in vector
        // registers; the rare hit is confirmed below.
        bool hit = false;
        for (const std::int32_t id : present) {
            hit |= id == ids[i];
        }
        for (std::size_t j = 0; j < i; ++j) {
            hit |= ids[j] == ids[i];
        }
        if (!hit) {
            continue;
        }
        if (added == nullptr ||
            std::find(present.begin(), present.end(), ids[i]) != present.end()) {
            return i;
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (ids[j] == ids[i] && added[j] != 0) {
                return i;
            }
        }
    }
    return count;
}

}  // namespace

std::size_t FindFirstRepeat(const std::vector<std::int32_t>& present, const std::int32_t* ids,
                            std::size_t count, const std::uint8_t* added) {
    const std::size_t total = present.size() + count;
    if (total <= kPairwiseLimit) {
        return FindFirstRepeatByPairs(present, ids, count, added);
    }
    std::uint64_t small[kStackKeys];
    std::vector<std::uint64_t> large(total <= kStackKeys ? 0 : total);
    std::uint64_t* const keys = total <= kStackKeys ? small : large.data();
    std::size_t n = 0;
    for (const std::int32_t id : present) {
        keys[n++] = Key(id, 0);
    }
    for (std::size_t i = 0; i < count; ++i) {
        keys[n++] = Key(ids[i], i + 1);
    }
    std::sort(keys, keys + total);

    // Within a run of one identifier the positions ascend: the entry right
    // after the first one that added a symbol is that identifier's repeat.
    // When every entry adds, that is the second of the run.
    std::size_t first = count;
    for (std::size_t k = 0; k + 1 < total; ++k) {
        if ((keys[k] ^ keys[k + 1]) >> 32 != 0) {
            continue;
        }
        const std::size_t position = Position(keys[k]);
        if (position == 0 || added == nullptr || added[position - 1] != 0) {
            first = std::min(first, Position(keys[k + 1]) - 1);
            // The rest of the run repeats later still.
            while (k + 1 < total && (keys[k] ^ keys[k + 1]) >> 32 == 0) {
                ++k;
            }
        }
    }
    return first;
}

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
