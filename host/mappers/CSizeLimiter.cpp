#include "host/mappers/CSizeLimiter.h"

#include <algorithm>
#include <cmath>

#include "host/store/CUnits.h"
#include "host/store/IStoreMaintenance.h"

namespace Kol {
namespace Host {

namespace {

const char* const kNoShrink =
    "the store does not use incremental auto-vacuum, so its file cannot shrink (run PRAGMA "
    "auto_vacuum = INCREMENTAL and then VACUUM on it once, while no cleanup-agent runs)";

}  // namespace

CSizeLimiter::CSizeLimiter(IStore& store, const SizeLimits& limits, std::int64_t now)
    : m_store(store),
      m_limits(limits),
      m_floor(now - static_cast<std::int64_t>(limits.minAgeDays) * kSecondsPerDay) {}

std::int64_t CSizeLimiter::Excess(const SizeLimits& limits, std::int64_t bytes,
                                  std::int64_t available) {
    std::int64_t excess = 0;
    if (limits.maxSize) {
        excess = std::max(excess, bytes - *limits.maxSize);
    }
    if (limits.keepFree && available >= 0) {
        excess = std::max(excess, *limits.keepFree - available);
    }
    return excess;
}

std::uint64_t CSizeLimiter::LogsFor(std::int64_t excess, std::int64_t logBytes, std::int64_t logs) {
    if (excess <= 0 || logs <= 0) {
        return 0;
    }
    const long double perLog = static_cast<long double>(std::max<std::int64_t>(logBytes, 1)) / logs;
    return std::max<std::uint64_t>(
        1, static_cast<std::uint64_t>(std::ceil(static_cast<long double>(excess) / perLog)));
}

std::int64_t CSizeLimiter::LogBytes(std::int64_t& logs) {
    IStoreMaintenance& maintenance = m_store.Maintenance();
    logs = m_store.QueryInt64("SELECT count(*) FROM logs");
    return maintenance.TableBytes("logs") + maintenance.TableBytes("log_blobs");
}

IStore::DeletePlan CSizeLimiter::Oldest(std::uint64_t logs, bool& floorReached) {
    floorReached = false;
    // The created_at of the last log to go, then its id among the logs of
    // that second: the plan is then a plain range on (created_at, id).
    const std::vector<std::int64_t> last = m_store.QueryInt64s(
        "SELECT created_at FROM logs WHERE created_at < $1 ORDER BY created_at, id LIMIT 1"
        " OFFSET $2",
        {m_floor, static_cast<std::int64_t>(logs - 1)});
    if (last.empty()) {
        floorReached = true;
        if (m_store.QueryInt64("SELECT count(*) FROM logs WHERE created_at < $1", {m_floor}) == 0) {
            return IStore::DeletePlan("logs", "");
        }
        return IStore::DeletePlan("logs", "created_at < $1", {m_floor});
    }
    const std::int64_t older =
        m_store.QueryInt64("SELECT count(*) FROM logs WHERE created_at < $1", {last[0]});
    const std::vector<std::int64_t> id = m_store.QueryInt64s(
        "SELECT id FROM logs WHERE created_at = $1 ORDER BY id LIMIT 1 OFFSET $2",
        {last[0], static_cast<std::int64_t>(logs) - older - 1});
    return IStore::DeletePlan("logs", "created_at < $1 OR (created_at = $1 AND id <= $2)",
                              {last[0], id.empty() ? 0 : id[0]});
}

bool CSizeLimiter::Release() {
    return !m_store.Maintenance().ReleaseSpace().interrupted;
}

SizeLimitOutcome CSizeLimiter::Enforce(const Remove& remove, bool& interrupted) {
    IStoreMaintenance& maintenance = m_store.Maintenance();
    if (maintenance.KeepsDeletedSpace()) {
        return EnforceWhole(remove, interrupted);
    }
    SizeLimitOutcome outcome;
    outcome.limits = m_limits;
    interrupted = !Release();
    outcome.bytesBefore = outcome.bytesAfter = maintenance.LimitedBytes();
    for (int round = 0; !interrupted; ++round) {
        const std::int64_t available = maintenance.AvailableBytes();
        const std::int64_t excess = Excess(m_limits, outcome.bytesAfter, available);
        if (excess <= 0) {
            return outcome;
        }
        if (!maintenance.CanShrink()) {
            return Unmet(outcome, available, kNoShrink);
        }
        if (round == kRounds) {
            return Unmet(outcome, available,
                         "still not met after " + std::to_string(kRounds) + " rounds of removals");
        }
        std::int64_t logs = 0;
        const std::int64_t logBytes = LogBytes(logs);
        bool floorReached = false;
        const IStore::DeletePlan plan =
            Oldest(LogsFor(excess + (round > 0 ? kSlackBytes : 0), logBytes, logs), floorReached);
        if (plan.condition.empty()) {
            return Unmet(outcome, available, FloorCause(outcome.logsRemoved));
        }
        const IStore::DeleteResult removed = remove(plan);
        outcome.logsRemoved += removed.rows;
        interrupted = removed.interrupted || !Release();
        outcome.bytesAfter = maintenance.LimitedBytes();
        if (!interrupted && floorReached &&
            Excess(m_limits, outcome.bytesAfter, maintenance.AvailableBytes()) > 0) {
            return Unmet(outcome, maintenance.AvailableBytes(), FloorCause(outcome.logsRemoved));
        }
    }
    return Unmet(outcome, maintenance.AvailableBytes(),
                 "interrupted, the rest is left for a later run");
}

SizeLimitOutcome CSizeLimiter::Estimate(const Remove& count) {
    IStoreMaintenance& maintenance = m_store.Maintenance();
    if (maintenance.KeepsDeletedSpace()) {
        return EstimateWhole(count);
    }
    SizeLimitOutcome outcome;
    outcome.limits = m_limits;
    outcome.estimate = true;
    // The free pages the storage operation would return first.
    const std::int64_t free = maintenance.EstimateReturnedBytes(0);
    const std::int64_t measured = maintenance.AvailableBytes();
    const std::int64_t available = measured < 0 ? measured : measured + free;
    outcome.bytesBefore = outcome.bytesAfter =
        std::max<std::int64_t>(maintenance.LimitedBytes() - free, 0);
    const std::int64_t excess = Excess(m_limits, outcome.bytesBefore, available);
    if (excess <= 0) {
        return outcome;
    }
    if (!maintenance.CanShrink()) {
        return Unmet(outcome, available, kNoShrink);
    }
    std::int64_t logs = 0;
    const std::int64_t logBytes = LogBytes(logs);
    bool floorReached = false;
    const IStore::DeletePlan plan = Oldest(LogsFor(excess, logBytes, logs), floorReached);
    if (plan.condition.empty()) {
        return Unmet(outcome, available, FloorCause(0));
    }
    outcome.logsRemoved = count(plan).rows;
    const std::int64_t freed = static_cast<std::int64_t>(
        static_cast<long double>(logBytes) * outcome.logsRemoved / std::max<std::int64_t>(logs, 1));
    outcome.bytesAfter = std::max<std::int64_t>(outcome.bytesBefore - freed, 0);
    const std::int64_t availableAfter = available < 0 ? available : available + freed;
    if (Excess(m_limits, outcome.bytesAfter, availableAfter) > 0) {
        return Unmet(outcome, availableAfter, FloorCause(outcome.logsRemoved));
    }
    return outcome;
}

bool CSizeLimiter::CutFor(const std::vector<IStoreMaintenance::WholePart>& parts,
                          std::int64_t floor, std::int64_t excess, std::int64_t& cut,
                          std::int64_t& freed) {
    bool any = false;
    freed = 0;
    for (std::size_t i = 0; i < parts.size() && parts[i].to <= floor; ++i) {
        // Parts that end together go together: the logs before their end do.
        if (any && parts[i].to != cut && freed >= excess) {
            break;
        }
        any = true;
        cut = parts[i].to;
        freed += parts[i].bytes;
    }
    return any;
}

SizeLimitOutcome CSizeLimiter::EnforceWhole(const Remove& remove, bool& interrupted) {
    IStoreMaintenance& maintenance = m_store.Maintenance();
    SizeLimitOutcome outcome;
    outcome.limits = m_limits;
    outcome.wholeParts = true;
    // Measured after a vacuum, as the run ends with one: a table's first
    // vacuum adds its free space and visibility maps to its size.
    interrupted = !Release();
    outcome.bytesBefore = outcome.bytesAfter = maintenance.LimitedBytes();
    for (int round = 0; !interrupted; ++round) {
        const std::int64_t excess = Excess(m_limits, outcome.bytesAfter, -1);
        if (excess <= 0) {
            return outcome;
        }
        if (round == kRounds) {
            return Unmet(outcome, -1,
                         "still not met after " + std::to_string(kRounds) + " rounds of removals");
        }
        const std::vector<IStoreMaintenance::WholePart> parts = maintenance.WholeParts();
        std::int64_t cut = 0;
        std::int64_t freed = 0;
        if (!CutFor(parts, m_floor, excess, cut, freed)) {
            return Unmet(
                outcome, -1,
                WholeFloorCause(parts, outcome.logsRemoved, outcome.bytesAfter,
                                m_store.QueryInt64(
                                    "SELECT count(*) FROM logs WHERE created_at < $1", {m_floor})));
        }
        const IStoreMaintenance::Result dropped = maintenance.DropWholeParts(cut);
        outcome.logsRemoved += dropped.rows;
        m_droppedLogs += dropped.rows;
        m_warnings.insert(m_warnings.end(), dropped.warnings.begin(), dropped.warnings.end());
        interrupted = dropped.interrupted;
        if (!interrupted) {
            // The logs older than the cut that no part dropped held (a default
            // partition's, a wider one's), but none of a part left behind.
            std::int64_t before = cut;
            if (!dropped.warnings.empty()) {
                for (const IStoreMaintenance::WholePart& left : maintenance.WholeParts()) {
                    before = left.to <= cut ? std::min(before, left.from) : before;
                }
            }
            const IStore::DeleteResult removed =
                remove(IStore::DeletePlan("logs", "created_at < $1", {before}));
            outcome.logsRemoved += removed.rows;
            interrupted = removed.interrupted || !Release();
        }
        outcome.bytesAfter = maintenance.LimitedBytes();
        if (!interrupted && !dropped.warnings.empty() &&
            Excess(m_limits, outcome.bytesAfter, -1) > 0) {
            // Another round would only wait for the same locks again.
            return Unmet(outcome, -1,
                         "partitions that could not be dropped are left for a later run");
        }
    }
    return Unmet(outcome, -1, "interrupted, the rest is left for a later run");
}

SizeLimitOutcome CSizeLimiter::EstimateWhole(const Remove& count) {
    IStoreMaintenance& maintenance = m_store.Maintenance();
    SizeLimitOutcome outcome;
    outcome.limits = m_limits;
    outcome.estimate = true;
    outcome.wholeParts = true;
    outcome.bytesBefore = outcome.bytesAfter = maintenance.LimitedBytes();
    const std::int64_t excess = Excess(m_limits, outcome.bytesBefore, -1);
    if (excess <= 0) {
        return outcome;
    }
    std::vector<IStoreMaintenance::WholePart> parts = maintenance.WholeParts();
    const std::int64_t older =
        m_store.QueryInt64("SELECT count(*) FROM logs WHERE created_at < $1", {m_floor});
    std::int64_t cut = 0;
    std::int64_t freed = 0;
    if (!CutFor(parts, m_floor, excess, cut, freed)) {
        return Unmet(outcome, -1, WholeFloorCause(parts, 0, outcome.bytesBefore, older));
    }
    outcome.logsRemoved = count(IStore::DeletePlan("logs", "created_at < $1", {cut})).rows;
    outcome.bytesAfter = outcome.bytesBefore - freed;
    if (Excess(m_limits, outcome.bytesAfter, -1) > 0) {
        // What a second round would find: the parts after the cut.
        parts.erase(std::remove_if(
                        parts.begin(), parts.end(),
                        [cut](const IStoreMaintenance::WholePart& part) { return part.to <= cut; }),
                    parts.end());
        return Unmet(outcome, -1,
                     WholeFloorCause(parts, outcome.logsRemoved, outcome.bytesAfter,
                                     older - static_cast<std::int64_t>(outcome.logsRemoved)));
    }
    return outcome;
}

std::string CSizeLimiter::WholeFloorCause(const std::vector<IStoreMaintenance::WholePart>& parts,
                                          std::uint64_t removed, std::int64_t bytes,
                                          std::int64_t olderLeft) const {
    std::int64_t inParts = 0;
    std::int64_t young = 0;
    for (const IStoreMaintenance::WholePart& part : parts) {
        inParts += part.bytes;
        young += part.to > m_floor ? part.bytes : 0;
    }
    const std::string head = olderLeft <= 0 ? FloorCause(removed)
                                            : "the " + std::to_string(olderLeft) +
                                                  " logs left older than --min-age (" +
                                                  std::to_string(m_limits.minAgeDays) +
                                                  " days) share their partitions with younger ones";
    return head + "; no removal gives back the " + CUnits::Size(young) +
           " of the partitions of younger logs and of the days to come, nor the " +
           CUnits::Size(std::max<std::int64_t>(bytes - inParts, 0)) +
           " of log_blobs and the default partitions, whose free space is reused for new rows";
}

SizeLimitOutcome CSizeLimiter::Unmet(SizeLimitOutcome outcome, std::int64_t available,
                                     const std::string& cause) const {
    std::string state;
    if (m_limits.maxSize && outcome.bytesAfter > *m_limits.maxSize) {
        state = "the store takes " + CUnits::Size(outcome.bytesAfter) + ", more than --max-size " +
                CUnits::Size(*m_limits.maxSize);
    }
    if (m_limits.keepFree && available >= 0 && available < *m_limits.keepFree) {
        state += (state.empty() ? "" : ", and ") + std::string("its file system has ") +
                 CUnits::Size(available) + " available, less than --keep-free " +
                 CUnits::Size(*m_limits.keepFree);
    }
    outcome.met = false;
    outcome.reason = (state.empty() ? std::string() : state + ": ") + cause;
    return outcome;
}

std::string CSizeLimiter::FloorCause(std::uint64_t removed) const {
    const std::string floor = "--min-age (" + std::to_string(m_limits.minAgeDays) + " days)";
    return removed == 0 ? "no log is older than " + floor
                        : "the logs left are all younger than " + floor;
}

std::string CSizeLimiter::Describe(const SizeLimitOutcome& outcome) {
    const SizeLimits& limits = outcome.limits;
    std::string text = "size limits";
    if (limits.maxSize) {
        text += " --max-size " + CUnits::Size(*limits.maxSize);
    }
    if (limits.keepFree) {
        text += std::string(limits.maxSize ? "," : "") + " --keep-free " +
                CUnits::Size(*limits.keepFree);
    }
    text += ", --min-age " + std::to_string(limits.minAgeDays) + " days: ";
    if (outcome.estimate && outcome.wholeParts) {
        return text + "would remove " + std::to_string(outcome.logsRemoved) +
               " logs, oldest first (whole partitions, planned by their own sizes), the store " +
               CUnits::Size(outcome.bytesBefore) + " before, about " +
               CUnits::Size(outcome.bytesAfter) + " after";
    }
    if (outcome.estimate) {
        return text + "would remove about " + std::to_string(outcome.logsRemoved) +
               " logs, oldest first (an estimate from the store's bytes per log), the store " +
               CUnits::Size(outcome.bytesBefore) + " before, about " +
               CUnits::Size(outcome.bytesAfter) + " after";
    }
    return text + "removed " + std::to_string(outcome.logsRemoved) +
           " logs, oldest first, the store " + CUnits::Size(outcome.bytesBefore) + " before, " +
           CUnits::Size(outcome.bytesAfter) + " after";
}

}  // namespace Host
}  // namespace Kol
