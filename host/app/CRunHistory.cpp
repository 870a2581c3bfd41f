#include "host/app/CRunHistory.h"

#include <exception>

#include "framework/module/LogLevel.h"
#include "host/cli/COperationCatalog.h"
#include "host/cli/ExitStatus.h"
#include "host/kernel/CHostLogger.h"
#include "host/report/CRunReport.h"
#include "host/store/IStore.h"

namespace Kol {
namespace Host {

namespace {

const char* const kHost = "host";

void Warn(CHostLogger& logger, const std::string& text) noexcept {
    try {
        logger.Log(text, Common::Module::Warning, kHost);
    } catch (const std::exception&) {
        // The log is gone as well: the run ends as it was going to.
    }
}

}  // namespace

RunRecord CRunHistory::Record(const CHostOptions& options, const CRunReport& report,
                              const std::string& failure, std::int64_t start, std::int64_t end,
                              int status) {
    RunRecord record;
    record.start = start;
    record.end = end;
    record.status = status == kExitSucceeded    ? RunRecord::kSucceeded
                    : status >= kExitSignalBase ? RunRecord::kInterrupted
                                                : RunRecord::kFailed;
    record.exitCode = status;
    record.dryRun = options.dryRun;
    record.operations = COperationCatalog::NamesOf(options.operations);
    for (const CRunReport::Operation& operation : report.GetOperations()) {
        record.rowsRemoved += static_cast<std::int64_t>(operation.rows);
        record.bytesFreed += operation.bytesFreed;
        record.bytesReturned += operation.bytesReturned;
        if (!record.error && !operation.error.empty()) {
            record.error = operation.error;
        }
    }
    if (!failure.empty()) {
        record.error = failure;  // it came before any operation's
    }
    const std::string notStored = report.GetStatusEventFailure();
    if (!record.error && !notStored.empty()) {
        record.error = notStored;
    }
    return record;
}

void CRunHistory::Write(IStore& store, const RunRecord& record, CHostLogger& logger) noexcept {
    try {
        if (!store.AddRun(record)) {
            Warn(logger,
                 "no run history written: the store's schema is older than this program's; a "
                 "real run adds the run history");
        }
    } catch (const std::exception& e) {
        Warn(logger, std::string("no run history written: ") + e.what());
    }
}

boost::optional<std::int64_t> CRunHistory::LastSuccess(IStore& store) noexcept {
    try {
        for (const RunRecord& run : store.ReadRuns(RunRecord::kKeptRows)) {
            if (run.status == RunRecord::kSucceeded && !run.dryRun) {
                return run.end;
            }
        }
    } catch (const std::exception&) {
        // The previous metrics file tells it then.
    }
    return boost::none;
}

}  // namespace Host
}  // namespace Kol
