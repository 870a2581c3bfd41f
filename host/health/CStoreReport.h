#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include <boost/optional.hpp>

#include "host/health/CNextRunForecast.h"
#include "host/store/CStoreDescription.h"
#include "host/store/RunRecord.h"
#include "host/store/SizeLimits.h"

namespace Kol {
namespace Host {

class IStore;

// The store's health at a glance, for --report: what it is, what takes its
// space, how old the oldest kept log of each class is, what the next `all`
// would remove (CNextRunForecast) and how the last runs went. Read with
// statements both stores understand plus the store's own description;
// writes nothing.
class CStoreReport {
public:
    // The last runs shown.
    static constexpr std::size_t kRuns = 10;

    struct Table {
        std::string name;
        std::int64_t rows = 0;
        std::int64_t bytes = 0;  // with its indexes
    };
    struct Class {
        int number = 0;
        int retentionDays = 0;
        std::int64_t logs = 0;
        boost::optional<std::int64_t> bytes;  // where the store can tell cheaply
        boost::optional<std::int64_t> oldestCreatedAt;
        boost::optional<std::int64_t> oldestAgeSeconds;
        std::int64_t expiredLogs = 0;  // what the next old-logs removes
    };
    // What the store does not know of itself.
    struct Context {
        std::string name;  // as logs show it: any password masked
        std::string installationUuid;
        std::int32_t installationKind = 0;
        std::array<std::uint16_t, 5> retention{};
        std::int64_t now = 0;   // Unix seconds
        SizeLimits sizeLimits;  // as configured for the storage operation
    };
    struct Figures {
        Context context;
        CStoreDescription description;
        std::vector<Table> tables;
        std::vector<Class> classes;
        CNextRunForecast::Figures nextRun;
        std::vector<RunRecord> runs;  // newest first
    };

    // Reads only, on the store's thread. Throws std::runtime_error as the
    // store does.
    static Figures Take(IStore& store, const Context& context);

    CStoreReport() = delete;
};

}  // namespace Host
}  // namespace Kol
