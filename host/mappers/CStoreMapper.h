#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <boost/date_time/posix_time/ptime.hpp>
#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>

#include "contracts/kernel/ILoggerResource.h"
#include "host/report/CRunReport.h"
#include "host/store/CRemovalForecast.h"
#include "host/store/IStore.h"
#include "host/store/IStoreMaintenance.h"
#include "host/store/SizeLimits.h"
#include "host/store/StoreOptions.h"

namespace Kol {
namespace Host {

// Common ground of the host's mappers: the store they work on, the batch size,
// and the bookkeeping of each mapper call (one host log line with the rows
// removed and the time taken, and an entry in the run report).
//
// A virtual base of every mapper, so that an object answering several mapper
// interfaces (CLogsCleanupMapper) carries one context.
//
// Mappers are called on the module's processing thread, one call at a time.
class CStoreMapper {
public:
    struct Context {
        boost::shared_ptr<IStore> store;
        boost::shared_ptr<CRunReport> report;
        Common::Kernel::ILoggerResourcePtr logger;
        std::size_t batchRows = StoreOptions::kDefaultBatchRows;
        bool dryRun = false;    // every figure is what a real run would remove
        SizeLimits sizeLimits;  // the storage operation's (CSizeLimiter)
        // A dry run's: every plan the mappers delete along, in order (set
        // only in a dry run; the mappers' thread writes it while the module
        // runs, the main thread reads it after).
        boost::shared_ptr<CRemovalForecast> forecast;
        // True once a signal came (any thread may ask). The signal cancels
        // the store's statement first and then stops the module; empty for
        // a run no signal can stop.
        boost::function<bool()> signalled;
    };

    virtual ~CStoreMapper();

    CStoreMapper(const CStoreMapper&) = delete;
    CStoreMapper& operator=(const CStoreMapper&) = delete;

    // Unix seconds of a UTC time. Throws std::runtime_error "<what> is not a
    // valid point in time" for a special value.
    static std::int64_t ToUnixSeconds(const boost::posix_time::ptime& time, const char* what);

protected:
    // Fills the rows removed, whether the work stopped early, and details.
    typedef boost::function<void(CRunReport::MapperCall& call)> Work;

    explicit CStoreMapper(const Context& context);

    // Runs `work` and measures it: time, bytes freed inside the file and
    // returned to the file system, the longest write transaction. Writes the
    // host line ("<label> (<arguments>): removed ..." or "<label>: failed
    // ...") and adds the call to the report. What the work throws is passed
    // on after that. `label` is the operation's dashed name (old-logs).
    void RunCall(const std::string& label, const std::string& arguments, const Work& work);
    // After a call that a signal cut short: waits (bounded) until the
    // module's thread is asked to stop, which the signal does right after
    // cancelling the store, so that the module ends its loop with this call
    // instead of starting the next operation on a cancelled store.
    void AwaitStopAfterSignal() const;

    // Deletes the rows of `plan` in batches as (part of) `call`'s work: after
    // each committed batch `call`'s row count (added to what it held), the
    // report's progress and a debug line are brought up to date; `call`
    // notes an early stop. A dry run records `plan` in its forecast.
    void DeleteInBatches(const IStore::DeletePlan& plan, CRunReport::MapperCall& call) const;
    // Tells of the progress of a maintenance call as (part of) `call`'s
    // work: `call`'s row count (added to what it held when made), the
    // report's progress and, after each delete batch, a debug line.
    IStoreMaintenance::ProgressObserver Observe(CRunReport::MapperCall& call) const;
    // Adds what a maintenance call did to `call`: its rows (to what `call`
    // held before it), its detail (after `call`'s own, "; " between), whether
    // it stopped early, and its warnings (each also a warning line).
    void Record(const IStoreMaintenance::Result& result, std::uint64_t rowsBefore,
                CRunReport::MapperCall& call) const;
    // A whole mapper call whose work is DeleteInBatches(plan).
    void RunDelete(const std::string& label, const std::string& arguments,
                   const IStore::DeletePlan& plan);

    // Records `plan` in a dry run's forecast (no effect in a real run), for
    // deletes that go along it other than through DeleteInBatches.
    void Foresee(const IStore::DeletePlan& plan) const;
    // The dry run's condition on the logs that earlier operations of the
    // request leave (see CRemovalForecast::LogsLeft); "" in a real run, where
    // those are simply the rows still there.
    std::string LogsLeft() const;

    IStore& Store() const { return *m_context.store; }
    std::size_t BatchRows() const { return m_context.batchRows; }
    bool IsDryRun() const { return m_context.dryRun; }
    const SizeLimits& GetSizeLimits() const { return m_context.sizeLimits; }

private:
    void Log(const std::string& text, std::int32_t level) const;

    const Context m_context;
};

}  // namespace Host
}  // namespace Kol
