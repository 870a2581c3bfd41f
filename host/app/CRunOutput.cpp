#include "host/app/CRunOutput.h"

#include <cstdio>

#include <boost/make_shared.hpp>

#include "contracts/kernel/IInstallConfigurationResource.h"
#include "framework/module/LogLevel.h"
#include "host/app/CSignalWatcher.h"
#include "host/cli/COperationCatalog.h"
#include "host/cli/ExitStatus.h"
#include "host/kernel/CHostLogger.h"
#include "host/report/CModuleLineReader.h"
#include "host/report/CResultWriter.h"
#include "host/report/CRunReport.h"

namespace Kol {
namespace Host {

using Common::Module::Error;
using Common::Module::Information;
using Common::Module::Warning;

namespace {

const char* const kHost = "host";
const char* const kModuleName = "CCleanupModule";
// How often a long mapper call gets a progress line.
const std::chrono::seconds kProgressEvery(2);

std::timespec Now() {
    std::timespec now{};
    std::timespec_get(&now, TIME_UTC);
    return now;
}

}  // namespace

CRunOutput::CRunOutput(const CHostOptions& options, std::ostream& out, std::ostream& err)
    : m_options(options),
      m_out(out),
      m_err(err),
      m_start(Now()),
      m_report(boost::make_shared<CRunReport>(options.operations)) {
    // With JSON on standard output the log lines go to standard error.
    m_logger = boost::make_shared<CHostLogger>(
        m_options.output == CHostOptions::Output::kJson ? err : out, m_options.logLevel,
        [this](const std::string& text, std::int32_t level, const std::string& module) {
            OnRecord(text, level, module);
        });
}

void CRunOutput::Log(const std::string& text) const {
    m_logger->Log(text, Information, kHost);
}

int CRunOutput::Fail(const std::string& message, int status) {
    m_failure = message;
    // Escaped like every log line: a file name cannot forge a second record.
    m_err << CHostLogger::ErrorPrefix(m_err) << "cleanup-agent: " << CHostLogger::Escape(message)
          << std::endl;
    return status;
}

void CRunOutput::OnRecord(const std::string& text, std::int32_t level, const std::string& module) {
    if (module != kModuleName) {
        return;
    }
    if (const boost::optional<std::int32_t> rejected =
            CModuleLineReader(*m_report).Read(text, level)) {
        m_logger->Log(COperationCatalog::NameOf(*rejected) + ": this module does not handle " +
                          "operation " + std::to_string(*rejected) +
                          " (see the operations in cleanup-agent --help)",
                      Error, kHost);
    }
}

void CRunOutput::Progress(std::chrono::steady_clock::time_point& last) const {
    const boost::optional<CRunReport::RunningCall> running = m_report->GetRunningCall();
    const auto now = std::chrono::steady_clock::now();
    if (!running || now - running->start < kProgressEvery || now - last < kProgressEvery) {
        return;
    }
    last = now;
    const double elapsed = std::chrono::duration<double>(now - running->start).count();
    char line[160];
    std::snprintf(line, sizeof line, "%s: %s %llu rows so far, %.0f rows/s, %.1f s elapsed",
                  running->label.c_str(), m_options.dryRun ? "would remove" : "removed",
                  static_cast<unsigned long long>(running->rows),
                  static_cast<double>(running->rows) / elapsed, elapsed);
    Log(line);
}

int CRunOutput::Finish(int status, int signal, const std::string& storeName,
                       const std::array<std::string, 3>& requestUuids) {
    CResultWriter::Run run;
    run.version = CLEANUP_AGENT_VERSION;
    run.store = storeName;
    run.start = m_start;
    run.end = m_end = Now();
    run.dryRun = m_options.dryRun;
    run.requestUuids = requestUuids;
    run.statusEventsExpected =
        m_options.installationKind == Common::Kernel::InstallationKindReporting;
    run.signal = signal != 0 ? CSignalWatcher::Name(signal) : "";
    run.failure = m_failure;
    run.exitCode = status;
    run.forecast = m_forecast;
    m_report->MarkNotRun(signal != 0          ? "interrupted by " + run.signal
                         : !m_failure.empty() ? "the run ended before it: " + m_failure
                                              : "the module did not reach it");
    if (m_options.output == CHostOptions::Output::kJson) {
        m_out << CResultWriter::Json(*m_report, run) << std::flush;
    } else if (m_requestSent) {
        const bool calm = status == kExitSucceeded;
        for (const std::string& line : CResultWriter::Summary(*m_report, run)) {
            m_logger->Log(line, calm ? Information : Warning, kHost);
        }
    }
    return status;
}

}  // namespace Host
}  // namespace Kol
