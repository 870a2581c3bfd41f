#include "host/mappers/CEventLogsMapper.h"

#include <cctype>
#include <charconv>
#include <limits>
#include <stdexcept>

#include "host/store/IStore.h"

namespace Kol {
namespace Host {

const std::int64_t CEventLogsMapper::kDefaultKeep;

CEventLogsMapper::CEventLogsMapper(const Context& context) : CStoreMapper(context) {}

std::int64_t CEventLogsMapper::ParseKeepCount(const boost::optional<std::string>& text) {
    if (!text) {
        return kDefaultKeep;
    }
    std::int64_t value = -1;
    const char* end = text->data() + text->size();
    const std::from_chars_result result = std::from_chars(text->data(), end, value);
    if (text->empty() || !std::isdigit(static_cast<unsigned char>(text->front())) ||
        result.ec != std::errc() || result.ptr != end) {
        throw std::invalid_argument("store setting max_event_logs_per_type: \"" + *text +
                                    "\" is not a count of logs");
    }
    return value;
}

std::int64_t CEventLogsMapper::ReadKeepCount() const {
    try {
        return ParseKeepCount(Store().GetSetting("max_event_logs_per_type"));
    } catch (const std::invalid_argument& e) {
        throw std::runtime_error(e.what());
    }
}

void CEventLogsMapper::Cleanup() {
    RunCall("event-logs", "", [this](CRunReport::MapperCall& call) {
        const std::int64_t keep = ReadKeepCount();
        call.detail = "kept the newest " + std::to_string(keep) + " of each log type";
        // The oldest kept log of each type bounds what goes; types with
        // no more than `keep` event logs get no bound and keep all. A scratch
        // table of this connection: neither written to the store's files
        // nor seen by anyone else.
        Store().Execute(
            "CREATE TEMP TABLE IF NOT EXISTS event_log_bounds(log_type BIGINT PRIMARY KEY,"
            " created_at BIGINT NOT NULL, id BIGINT NOT NULL)");
        Store().Execute("DELETE FROM event_log_bounds");
        const std::int64_t beyond = std::numeric_limits<std::int64_t>::max();
        for (const std::int64_t type :
             Store().QueryInt64s("SELECT DISTINCT log_type FROM logs WHERE is_delta = 0")) {
            if (keep == 0) {
                Store().Execute("INSERT INTO event_log_bounds VALUES ($1, $2, $2)", {type, beyond});
                continue;
            }
            Store().Execute(
                "INSERT INTO event_log_bounds SELECT log_type, created_at, id FROM logs"
                " WHERE log_type = $1 AND is_delta = 0"
                " ORDER BY created_at DESC, id DESC LIMIT 1 OFFSET $2",
                {type, keep - 1});
        }
        IStore::DeletePlan plan{"logs",
                                "is_delta = 0 AND EXISTS (SELECT 1 FROM event_log_bounds b WHERE "
                                "b.log_type = logs.log_type AND (logs.created_at < b.created_at OR "
                                "(logs.created_at = b.created_at AND logs.id < b.id)))"};
        DeleteInBatches(plan, call);
        Store().Execute("DELETE FROM event_log_bounds");
    });
}

}  // namespace Host
}  // namespace Kol
