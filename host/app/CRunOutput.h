#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <ostream>
#include <string>

#include <boost/shared_ptr.hpp>

#include <boost/optional.hpp>

#include "host/cli/CHostOptions.h"
#include "host/store/CRemovalForecast.h"

namespace Kol {
namespace Host {

class CHostLogger;
class CRunReport;

// What a run says: the log lines (on `out`, on `err` with --output json), the
// host's word on an operation the module does not handle, progress lines on a
// long mapper call, start-up failures on `err`, and at the end the summary
// lines or the one JSON document on `out`.
//
// Fail, Progress, RequestSent and Finish are called on the main thread; the
// logger and the report are thread-safe.
class CRunOutput {
public:
    CRunOutput(const CHostOptions& options, std::ostream& out, std::ostream& err);

    CRunOutput(const CRunOutput&) = delete;
    CRunOutput& operator=(const CRunOutput&) = delete;

    const boost::shared_ptr<CHostLogger>& Logger() const { return m_logger; }
    const boost::shared_ptr<CRunReport>& Report() const { return m_report; }
    // When the run began, and when Finish was called (zero before).
    const std::timespec& Start() const { return m_start; }
    const std::timespec& End() const { return m_end; }

    // A host line at Information.
    void Log(const std::string& text) const;

    // Keeps why the run ended early and writes it to `err`; returns `status`.
    int Fail(const std::string& message, int status);
    // Why the run ended early (Fail's message); "" when it did not.
    const std::string& Failure() const { return m_failure; }

    // What a dry run's request would remove in all, for the summary.
    void SetForecast(const CRemovalForecast::Figures& figures) { m_forecast = figures; }

    // The request is on its way: the end of the run gets a summary.
    void RequestSent() { m_requestSent = true; }

    // A host line on the mapper at work, every kProgressEvery once it runs
    // longer than that; `last` is when the previous one was written.
    void Progress(std::chrono::steady_clock::time_point& last) const;

    // The summary or the JSON document of the run that ends with `status`
    // (`signal` the signal that stopped it, 0 when none); returns `status`.
    int Finish(int status, int signal, const std::string& storeName,
               const std::array<std::string, 3>& requestUuids);

private:
    // Called for every record; adds the host's word on an operation the
    // module does not handle.
    void OnRecord(const std::string& text, std::int32_t level, const std::string& module);

    const CHostOptions& m_options;
    std::ostream& m_out;
    std::ostream& m_err;
    const std::timespec m_start;
    std::timespec m_end{};
    boost::shared_ptr<CRunReport> m_report;
    boost::shared_ptr<CHostLogger> m_logger;
    bool m_requestSent = false;
    std::string m_failure;  // why the run ended early
    boost::optional<CRemovalForecast::Figures> m_forecast;
};

}  // namespace Host
}  // namespace Kol
