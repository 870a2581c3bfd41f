#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include <boost/optional.hpp>

#include "host/report/CRunReport.h"
#include "host/store/CRemovalForecast.h"

namespace Kol {
namespace Host {

// Turns a run's report into what the user reads: the summary lines of the
// text output, or the one JSON document of --output json (format 1, as
// host/README.md documents it). Pure functions; any thread.
class CResultWriter {
public:
    // What the report does not know about the run.
    struct Run {
        std::string version;
        std::string store;
        std::timespec start{};
        std::timespec end{};
        bool dryRun = false;
        std::array<std::string, 3> requestUuids;
        bool statusEventsExpected = true;  // installation kind 1
        std::string signal;                // "SIGINT" after a forced stop, else empty
        std::string failure;               // why the run ended before the request, or empty
        int exitCode = 0;
        // A dry run's: the distinct rows and estimated space of the whole
        // request (none when it could not be counted).
        boost::optional<CRemovalForecast::Figures> forecast;
    };

    // "succeeded", "failed", "not-run", "interrupted" ("running" never
    // leaves a finished report).
    static const char* StatusName(CRunReport::Status status);

    static std::vector<std::string> Summary(const CRunReport& report, const Run& run);
    static std::string Json(const CRunReport& report, const Run& run);

    CResultWriter() = delete;

private:
    // The final status in words: "final status 30 (every operation
    // succeeded)", ...
    static std::string FinalStatus(const CRunReport& report, const Run& run);
};

}  // namespace Host
}  // namespace Kol
