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

// Up to this many identifiers in all, comparing pairs is cheaper than sorting.
const std::size_t kPairwiseLimit = 16;

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
    if (present.size() + count <= kPairwiseLimit) {
        return FindFirstRepeatByPairs(present, ids, count, added);
    }
    std::vector<std::uint64_t> keys;
    keys.reserve(present.size() + count);
    for (const std::int32_t id : present) {
        keys.push_back(Key(id, 0));
    }
    for (std::size_t i = 0; i < count; ++i) {
        keys.push_back(Key(ids[i], i + 1));
    }
    std::sort(keys.begin(), keys.end());

    // Within a run of one identifier the positions ascend: the entry right
    // after the first one that added a symbol is that identifier's repeat.
    std::size_t first = count;
    for (std::size_t run = 0; run < keys.size();) {
        const std::uint64_t id = keys[run] >> 32;
        std::size_t end = run + 1;
        while (end < keys.size() && keys[end] >> 32 == id) {
            ++end;
        }
        for (std::size_t k = run; k + 1 < end; ++k) {
            const std::size_t position = static_cast<std::size_t>(keys[k] & 0xFFFFFFFFu);
            if (position == 0 || added == nullptr || added[position - 1] != 0) {
                first = std::min(first, static_cast<std::size_t>(keys[k + 1] & 0xFFFFFFFFu) - 1);
                break;
            }
        }
        run = end;
    }
    return first;
}

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
