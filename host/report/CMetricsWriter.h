#pragma once

#include <ctime>
#include <string>

#include <boost/optional.hpp>

#include "host/report/CRunReport.h"
#include "host/store/CStoreCensus.h"

namespace Kol {
namespace Host {

// Turns a run's report into the metrics file of --metrics-file: the
// Prometheus text exposition format (version 0.0.4), every metric a gauge
// with its HELP and TYPE, the names prefixed cleanup_agent_ and ending in
// their unit. The operations' figures are the report's, as the JSON result
// has them; an operation requested twice is one series with the sum of its
// figures, successful when every one of them was. A family without a sample
// (no operation, no store) is left out. Pure functions; any thread.
class CMetricsWriter {
public:
    // What the report does not know about the run.
    struct Run {
        std::timespec start{};
        std::timespec end{};
        int exitCode = 0;  // success is 0
        // When the last successful run before this one ended, Unix seconds;
        // none when there never was one. A failed run keeps it as the last
        // success time; a successful one replaces it by its own end.
        boost::optional<double> previousSuccess;
        // The end of the newest successful real (not dry) run in the store's
        // run history; when there is one it is the last success time,
        // whatever this run and previousSuccess say. None for a real run
        // that succeeded: its own end is the newest.
        boost::optional<double> historySuccess;
        // The store after the run; none when no store was open.
        boost::optional<CStoreCensus::Figures> store;
    };

    static std::string Text(const CRunReport& report, const Run& run);

    // The value of cleanup_agent_last_success_timestamp_seconds (without
    // labels) in a metrics file's text; none when it has no such line or its
    // value is no finite number.
    static boost::optional<double> LastSuccess(const std::string& text);

    CMetricsWriter() = delete;
};

}  // namespace Host
}  // namespace Kol
