#include "host/mappers/CStoreMapper.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

#include <boost/date_time/posix_time/posix_time.hpp>
#include <boost/thread/thread.hpp>

#include "framework/module/LogLevel.h"
#include "host/store/CUnits.h"

namespace Kol {
namespace Host {

CStoreMapper::CStoreMapper(const Context& context) : m_context(context) {}

CStoreMapper::~CStoreMapper() = default;

std::int64_t CStoreMapper::ToUnixSeconds(const boost::posix_time::ptime& time, const char* what) {
    if (time.is_special()) {
        throw std::runtime_error(std::string(what) + " is not a valid point in time");
    }
    const boost::posix_time::ptime epoch(boost::gregorian::date(1970, 1, 1));
    return (time - epoch).ticks() / boost::posix_time::time_duration::ticks_per_second();
}

void CStoreMapper::Log(const std::string& text, std::int32_t level) const {
    if (m_context.logger) {
        m_context.logger->Log(text, level, "host");
    }
}

IStoreMaintenance::ProgressObserver CStoreMapper::Observe(CRunReport::MapperCall& call) const {
    const std::uint64_t before = call.rows;
    return [this, &call, before](const IStoreMaintenance::Progress& soFar) {
        call.rows = before + soFar.rows;
        m_context.report->UpdateMapperCall(call.rows);
        if (soFar.walkBatches > 0) {
            Log(call.label + ": batch " + std::to_string(soFar.walkBatches) + " committed, " +
                    std::to_string(soFar.walkRows) + " rows so far",
                Common::Module::Debug);
        }
    };
}

void CStoreMapper::Record(const IStoreMaintenance::Result& result, std::uint64_t rowsBefore,
                          CRunReport::MapperCall& call) const {
    call.rows = rowsBefore + result.rows;
    call.interrupted = result.interrupted;
    if (!result.detail.empty()) {
        call.detail += (call.detail.empty() ? "" : "; ") + result.detail;
    }
    for (const std::string& warning : result.warnings) {
        Log(call.label + ": " + warning, Common::Module::Warning);
        call.warnings.push_back(warning);
    }
}

void CStoreMapper::DeleteInBatches(const IStore::DeletePlan& plan,
                                   CRunReport::MapperCall& call) const {
    Foresee(plan);
    const std::uint64_t before = call.rows;
    const IStoreMaintenance::ProgressObserver progress = Observe(call);
    const IStore::DeleteResult result =
        Store().DeleteInBatches(plan, BatchRows(), [&progress](const IStore::DeleteResult& soFar) {
            IStoreMaintenance::Progress now;
            now.rows = now.walkRows = soFar.rows;
            now.walkBatches = soFar.batches;
            progress(now);
        });
    call.rows = before + result.rows;
    call.interrupted = result.interrupted;
}

void CStoreMapper::Foresee(const IStore::DeletePlan& plan) const {
    if (m_context.forecast) {
        m_context.forecast->Add(plan);
    }
}

std::string CStoreMapper::LogsLeft() const {
    return m_context.forecast ? m_context.forecast->LogsLeft() : std::string();
}

void CStoreMapper::RunDelete(const std::string& label, const std::string& arguments,
                             const IStore::DeletePlan& plan) {
    RunCall(label, arguments,
            [this, &plan](CRunReport::MapperCall& call) { DeleteInBatches(plan, call); });
}

void CStoreMapper::RunCall(const std::string& label, const std::string& arguments,
                           const Work& work) {
    const auto start = std::chrono::steady_clock::now();
    const std::string title = arguments.empty() ? label : label + " (" + arguments + ")";
    const bool dry = m_context.dryRun;
    CRunReport::MapperCall call;
    call.label = label;
    m_context.report->BeginMapperCall(label);
    Store().TakeLongestTransaction();
    // Counted in this run's own transactions, the committed batches of a
    // call that fails too: other writers may add meanwhile, which shows as
    // growth of the file, never as less freed.
    const std::int64_t freedBefore = Store().GetFreedBytesTotal();
    const std::int64_t returnedBefore = Store().GetReturnedBytesTotal();
    const auto countBytes = [&] {
        call.bytesFreed = std::max<std::int64_t>(0, Store().GetFreedBytesTotal() - freedBefore);
        call.bytesReturned =
            std::max<std::int64_t>(0, Store().GetReturnedBytesTotal() - returnedBefore);
    };
    try {
        const std::string refusal = Store().BeginCall();
        if (!refusal.empty()) {
            call.refused = true;
            throw std::runtime_error(refusal);
        }
        work(call);
        const std::int64_t grown = Store().EndCall();
        countBytes();
        if (grown > 0) {
            call.detail += (call.detail.empty() ? "" : "; ") + std::string("the file grew by ") +
                           std::to_string(grown) + " bytes meanwhile";
        }
    } catch (const std::exception& e) {
        try {
            Store().EndCall();
        } catch (const std::exception&) {
            // The call's own failure is the one to report.
        }
        countBytes();
        call.failed = true;
        AwaitStopAfterSignal();
        call.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        call.longestTransaction = Store().TakeLongestTransaction();
        m_context.report->AddMapperCall(call);
        Log(title + ": failed after " + CUnits::Seconds(call.seconds) + " s, " +
                std::to_string(call.rows) + " rows " +
                (dry ? "would have been removed" : "removed") + " before: " + e.what(),
            Common::Module::Error);
        throw;
    }
    AwaitStopAfterSignal();
    call.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    call.longestTransaction = Store().TakeLongestTransaction();
    m_context.report->AddMapperCall(call);
    std::string line = title + ": " +
                       CUnits::Removal(call.rows, call.bytesFreed, call.bytesReturned, dry) +
                       " in " + CUnits::Seconds(call.seconds) + " s, longest write transaction " +
                       CUnits::Seconds(call.longestTransaction) + " s";
    if (!call.detail.empty()) {
        line += "; " + call.detail;
    }
    if (call.interrupted) {
        line += "; interrupted, the rest is left for a later run";
    }
    Log(line, Common::Module::Information);
}

void CStoreMapper::AwaitStopAfterSignal() const {
    if (!m_context.signalled || !m_context.signalled()) {
        return;
    }
    // The signal's thread is between the store's cancel and the module's
    // stop; the bound only matters when no module thread runs this call.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!boost::this_thread::interruption_requested() &&
           std::chrono::steady_clock::now() < until) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

}  // namespace Host
}  // namespace Kol
