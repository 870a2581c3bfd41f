#pragma once

#include <array>
#include <cstdint>

#include <boost/optional.hpp>

namespace Kol {
namespace Host {

class IStore;

// What a store holds at the end of a run, for monitoring: its size on disk
// and per retention class its logs and the age of the oldest one. Read with
// a few statements both stores understand, each served by the logs'
// retention index, plus the store's own size (IStoreMaintenance::StoreBytes).
class CStoreCensus {
public:
    static constexpr int kClasses = 5;  // retention classes 1 to 5

    struct Figures {
        std::int64_t bytes = 0;
        std::array<std::int64_t, kClasses> logs{};  // index: class - 1
        // Seconds from the oldest log's created_at to `now`; none when the
        // class holds no log.
        std::array<boost::optional<std::int64_t>, kClasses> oldestAge;
    };

    // Reads only, on the store's thread; `now` in Unix seconds. Throws
    // std::runtime_error as the store does.
    static Figures Take(IStore& store, std::int64_t now);

    CStoreCensus() = delete;
};

}  // namespace Host
}  // namespace Kol
