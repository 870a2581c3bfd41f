#include "host/mappers/CEventLogsMapper.h"

#include <cctype>
#include <charconv>
#include <stdexcept>

#include "host/store/CCleanupConditions.h"
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

std::int64_t CEventLogsMapper::ReadKeepCount(IStore& store) {
    try {
        return ParseKeepCount(store.GetSetting("max_event_logs_per_type"));
    } catch (const std::invalid_argument& e) {
        throw std::runtime_error(e.what());
    }
}

std::vector<CCleanupConditions::EventLogBound> CEventLogsMapper::ReadBounds(
    IStore& store, std::int64_t keep, const std::string& logsLeft) {
    // The oldest kept log of each type bounds what goes; types with no more
    // than `keep` event logs get no bound and keep all. A dry run leaves out
    // the logs that earlier operations would take, as a real run finds them
    // gone. The kept row is found by its id, and its time read by that id,
    // so that a log written in between cannot pair one row's time with
    // another's id.
    const std::string eventLogs = "is_delta = 0" + (logsLeft.empty() ? "" : " AND " + logsLeft);
    // The types and their counts come from the event logs' index alone:
    // leaving some logs out only lowers a count, so a type within `keep`
    // before stays within it.
    std::vector<CCleanupConditions::EventLogBound> bounds;
    for (const std::int64_t type :
         store.QueryInt64s("SELECT DISTINCT log_type FROM logs WHERE is_delta = 0")) {
        if (store.QueryInt64("SELECT count(*) FROM logs WHERE log_type = $1 AND is_delta = 0",
                             {type}) <= keep) {
            continue;
        }
        const std::vector<std::int64_t> kept =
            store.QueryInt64s("SELECT id FROM logs WHERE log_type = $1 AND " + eventLogs +
                                  " ORDER BY created_at DESC, id DESC LIMIT 1 OFFSET $2",
                              {type, keep - 1});
        if (kept.empty()) {
            continue;
        }
        CCleanupConditions::EventLogBound bound;
        bound.logType = type;
        bound.id = kept.front();
        bound.createdAt = store.QueryInt64("SELECT created_at FROM logs WHERE id = $1", {bound.id});
        bounds.push_back(bound);
    }
    return bounds;
}

void CEventLogsMapper::Cleanup() {
    RunCall("event-logs", "", [this](CRunReport::MapperCall& call) {
        const std::int64_t keep = ReadKeepCount(Store());
        call.detail = "kept the newest " + std::to_string(keep) + " of each log type";
        DeleteInBatches(keep == 0
                            ? CCleanupConditions::EventLogs({}, true)
                            : CCleanupConditions::EventLogs(ReadBounds(Store(), keep, LogsLeft())),
                        call);
    });
}

}  // namespace Host
}  // namespace Kol
