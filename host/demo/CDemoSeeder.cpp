#include "host/demo/CDemoSeeder.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "host/store/IStore.h"

namespace Kol {
namespace Host {

namespace {

const std::int64_t kTwoYears = 730LL * 86400;
const std::int64_t kThirtyDays = 30LL * 86400;
const std::uint64_t kLogsPerTransaction = 20000;
const std::uint64_t kLogTypes = 20;
// One id in this many is left out, as if that log had gone before.
const std::uint64_t kGapEvery = 1000;
// One owner in this many is gone: its logs are abandoned.
const std::uint64_t kOwnersPerGoneOwner = 20;
const std::vector<std::string> kLogColumns = {
    "id",         "log_type", "retention_class", "is_delta", "created_at",
    "replicated", "ignored",  "superseded",      "owner_id", "symbols"};

}  // namespace

CDemoSeeder::CDemoSeeder(IStore& store, std::uint64_t randomSeed)
    : m_store(store), m_random(randomSeed) {}

std::string CDemoSeeder::RandomBytes(std::size_t minimum, std::size_t maximum) {
    const std::size_t length = minimum + Below(maximum - minimum + 1);
    std::string bytes(length, '\0');
    for (std::size_t i = 0; i < length; i += 8) {
        const std::uint64_t word = m_random();
        for (std::size_t j = 0; j < 8 && i + j < length; ++j) {
            bytes[i + j] = static_cast<char>((word >> (8 * j)) & 0xff);
        }
    }
    return bytes;
}

std::string CDemoSeeder::RandomUuid() {
    const std::uint64_t high = m_random();
    const std::uint64_t low = m_random();
    char text[40];
    std::snprintf(text, sizeof text, "%08llx-%04llx-4%03llx-%04llx-%012llx",
                  static_cast<unsigned long long>(high >> 32),
                  static_cast<unsigned long long>((high >> 16) & 0xffff),
                  static_cast<unsigned long long>(high & 0xfff),
                  static_cast<unsigned long long>(0x8000 | ((low >> 48) & 0x3fff)),
                  static_cast<unsigned long long>(low & 0xffffffffffffULL));
    return text;
}

CDemoSeeder::Counts CDemoSeeder::Seed(std::uint64_t rows, std::int64_t now, const StopCheck& stop) {
    Plan plan;
    plan.rows = rows;
    plan.now = now;
    plan.firstLog = m_store.QueryInt64("SELECT coalesce(max(id), 0) + 1 FROM logs");
    plan.firstOwner = m_store.QueryInt64("SELECT coalesce(max(id), 0) + 1 FROM owners");
    plan.firstObject = m_store.QueryInt64("SELECT coalesce(max(id), 0) + 1 FROM static_objects");
    // At least one gone owner at any size, so that abandoned logs appear.
    plan.owners = std::max<std::uint64_t>(kOwnersPerGoneOwner, rows / 200);
    Counts counts;
    SeedOwners(plan, counts);
    std::vector<std::int64_t> gaps;
    if (SeedLogs(plan, stop, counts, gaps)) {
        SeedTheRest(plan, gaps, counts);
    }
    return counts;
}

void CDemoSeeder::SeedOwners(const Plan& plan, Counts& counts) {
    const std::unique_ptr<IStore::RowWriter> owners = m_store.WriteRows("owners", {"id", "name"});
    for (std::uint64_t i = 0; i < plan.owners; ++i) {
        if (i % kOwnersPerGoneOwner != kOwnersPerGoneOwner - 1) {
            const std::int64_t id = plan.firstOwner + static_cast<std::int64_t>(i);
            owners->Add({Value::Integer(id), Value::Text("owner-" + std::to_string(id))});
            ++counts.owners;
        }
    }
    owners->Commit();
}

bool CDemoSeeder::SeedLogs(const Plan& plan, const StopCheck& stop, Counts& counts,
                           std::vector<std::int64_t>& gaps) {
    std::uint64_t i = 0;
    while (i < plan.rows) {
        if (stop && stop()) {
            return false;
        }
        // The blobs of a chunk follow its logs: a store's bulk writer takes
        // one table at a time.
        std::vector<std::vector<Value>> blobs;
        const std::unique_ptr<IStore::RowWriter> logs = m_store.WriteRows(
            "logs", kLogColumns, IStore::TimeSpan{plan.now - kTwoYears, plan.now});
        const std::uint64_t end = std::min(plan.rows, i + kLogsPerTransaction);
        for (; i < end; ++i) {
            const std::int64_t id = plan.firstLog + static_cast<std::int64_t>(i);
            if (i % kGapEvery == kGapEvery - 1) {
                gaps.push_back(id);
                continue;
            }
            const bool delta = Below(10) < 3;
            const std::int64_t createdAt =
                std::min(plan.now, plan.now - kTwoYears +
                                       static_cast<std::int64_t>(i * kTwoYears / plan.rows) +
                                       static_cast<std::int64_t>(Below(600)));
            const Value type = Value::Integer(static_cast<std::int64_t>(1 + Below(kLogTypes)));
            const Value retention = Value::Integer(static_cast<std::int64_t>(1 + Below(5)));
            const Value replicated = Value::Integer(Below(5) == 0);
            const Value ignored = Value::Integer(Below(33) == 0);
            const Value superseded = Value::Integer(delta && Below(2) == 0);
            const Value owner = Below(12) == 0
                                    ? Value::Null()
                                    : Value::Integer(plan.firstOwner +
                                                     static_cast<std::int64_t>(Below(plan.owners)));
            logs->Add({Value::Integer(id), type, retention, Value::Integer(delta),
                       Value::Integer(createdAt), replicated, ignored, superseded, owner,
                       Value::Blob(RandomBytes(32, 95))});
            ++counts.logs;
            if (Below(20) == 0) {
                blobs.push_back({Value::Integer(id), Value::Blob(RandomBytes(64, 511))});
            }
        }
        logs->Commit();
        WriteAll("log_blobs", {"log_id", "data"}, blobs);
        counts.blobs += blobs.size();
    }
    return true;
}

void CDemoSeeder::WriteAll(const std::string& table, const std::vector<std::string>& columns,
                           const std::vector<std::vector<Value>>& rows) {
    const std::unique_ptr<IStore::RowWriter> writer = m_store.WriteRows(table, columns);
    for (const std::vector<Value>& row : rows) {
        writer->Add(row);
    }
    writer->Commit();
}

void CDemoSeeder::SeedTheRest(const Plan& plan, const std::vector<std::int64_t>& gaps,
                              Counts& counts) {
    std::vector<std::vector<Value>> rows;
    for (const std::int64_t gap : gaps) {
        rows.push_back({Value::Integer(gap), Value::Blob(RandomBytes(64, 511))});
    }
    WriteAll("log_blobs", {"log_id", "data"}, rows);
    counts.orphanBlobs += rows.size();
    // Spread evenly over the last 30 days: most are past the 120 hours after
    // which a tombstone goes, some are not. Each lies half an hour past a
    // whole hour, so none sits on that cut-off: one there would go in a run
    // a second later but not in one (or a dry run) started the same second.
    rows.clear();
    const std::uint64_t tombstones = plan.rows / 1000 + 5;
    for (std::uint64_t t = 0; t < tombstones; ++t) {
        const std::int64_t age = kThirtyDays * static_cast<std::int64_t>(t) /
                                     static_cast<std::int64_t>(tombstones) / 3600 * 3600 +
                                 1800;
        rows.push_back({Value::Text(RandomUuid()), Value::Integer(plan.now - age)});
    }
    WriteAll("enrollment_tombstones", {"computer_uuid", "removed_at"}, rows);
    counts.tombstones += rows.size();
    // Every fifth is marked deleted.
    rows.clear();
    for (std::uint64_t o = 0; o < plan.rows / 100 + 5; ++o) {
        const std::int64_t id = plan.firstObject + static_cast<std::int64_t>(o);
        rows.push_back({Value::Integer(id), Value::Text("object-" + std::to_string(id)),
                        Value::Integer(o % 5 == 0)});
    }
    WriteAll("static_objects", {"id", "name", "deleted"}, rows);
    counts.staticObjects += rows.size();
}

}  // namespace Host
}  // namespace Kol
