#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/optional.hpp>

#include "contracts/database/ICleanupEventLogsMapper.h"
#include "host/mappers/CStoreMapper.h"
#include "host/store/CCleanupConditions.h"

namespace Kol {
namespace Host {

// Keeps the newest N event logs (is_delta = 0) of each log type, newest by
// created_at, then by id, and deletes the older ones. N is the setting
// max_event_logs_per_type, 100000 when absent.
//
// Called on the module's processing thread; throws std::runtime_error on a
// database failure or when the setting is not a count; stops after the
// current batch when the thread is asked to interrupt.
class CEventLogsMapper : public Common::Database::ICleanupEventLogsMapper,
                         public virtual CStoreMapper {
public:
    static const std::int64_t kDefaultKeep = 100000;

    explicit CEventLogsMapper(const Context& context);

    // The setting's value (kDefaultKeep when absent), parsed as strictly as
    // the command line: decimal digits only, no sign, no blanks. Throws
    // std::invalid_argument "store setting max_event_logs_per_type: "<text>"
    // is not a count of logs". Pure; any thread.
    static std::int64_t ParseKeepCount(const boost::optional<std::string>& text);

    // The store's setting, parsed: throws std::runtime_error for a bad one.
    static std::int64_t ReadKeepCount(IStore& store);
    // The oldest kept event log of each type that has more than `keep`
    // (at least 1) among the logs for which `logsLeft` holds (all for "").
    // Reads only, on the store's thread.
    static std::vector<CCleanupConditions::EventLogBound> ReadBounds(IStore& store,
                                                                     std::int64_t keep,
                                                                     const std::string& logsLeft);

    void Cleanup() final;
};

}  // namespace Host
}  // namespace Kol
