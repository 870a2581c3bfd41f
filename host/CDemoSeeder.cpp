#include "host/CDemoSeeder.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "host/CSqliteStatement.h"
#include "host/CSqliteStore.h"
#include "host/CSqliteTransaction.h"

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

}  // namespace

CDemoSeeder::CDemoSeeder(CSqliteStore& store, std::uint64_t randomSeed)
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
    CSqliteTransaction transaction(m_store);
    CSqliteStatement addOwner = m_store.Prepare("INSERT INTO owners(id, name) VALUES (?1, ?2)");
    for (std::uint64_t i = 0; i < plan.owners; ++i) {
        if (i % kOwnersPerGoneOwner != kOwnersPerGoneOwner - 1) {
            const std::int64_t id = plan.firstOwner + static_cast<std::int64_t>(i);
            addOwner.Bind(1, id).Bind(2, "owner-" + std::to_string(id)).Run();
            ++counts.owners;
        }
    }
    transaction.Commit();
}

bool CDemoSeeder::SeedLogs(const Plan& plan, const StopCheck& stop, Counts& counts,
                           std::vector<std::int64_t>& gaps) {
    CSqliteStatement addLog = m_store.Prepare(
        "INSERT INTO logs(id, log_type, retention_class, is_delta, created_at, replicated, "
        "ignored, superseded, owner_id, symbols) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10)");
    CSqliteStatement addBlob =
        m_store.Prepare("INSERT INTO log_blobs(log_id, data) VALUES (?1, ?2)");
    std::uint64_t i = 0;
    while (i < plan.rows) {
        if (stop && stop()) {
            return false;
        }
        CSqliteTransaction transaction(m_store);
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
            addLog.Bind(1, id)
                .Bind(2, static_cast<std::int64_t>(1 + Below(kLogTypes)))
                .Bind(3, static_cast<std::int64_t>(1 + Below(5)))
                .Bind(4, static_cast<std::int64_t>(delta))
                .Bind(5, createdAt)
                .Bind(6, static_cast<std::int64_t>(Below(5) == 0))
                .Bind(7, static_cast<std::int64_t>(Below(33) == 0))
                .Bind(8, static_cast<std::int64_t>(delta && Below(2) == 0));
            if (Below(12) == 0) {
                addLog.BindNull(9);
            } else {
                addLog.Bind(9, plan.firstOwner + static_cast<std::int64_t>(Below(plan.owners)));
            }
            addLog.BindBlob(10, RandomBytes(32, 95)).Run();
            ++counts.logs;
            if (Below(20) == 0) {
                addBlob.Bind(1, id).BindBlob(2, RandomBytes(64, 511)).Run();
                ++counts.blobs;
            }
        }
        transaction.Commit();
    }
    return true;
}

void CDemoSeeder::SeedTheRest(const Plan& plan, const std::vector<std::int64_t>& gaps,
                              Counts& counts) {
    CSqliteTransaction transaction(m_store);
    CSqliteStatement addBlob =
        m_store.Prepare("INSERT INTO log_blobs(log_id, data) VALUES (?1, ?2)");
    for (const std::int64_t gap : gaps) {
        addBlob.Bind(1, gap).BindBlob(2, RandomBytes(64, 511)).Run();
        ++counts.orphanBlobs;
    }
    // Spread evenly over the last 30 days: most are past the 120 hours after
    // which a tombstone goes, some are not.
    CSqliteStatement addTombstone = m_store.Prepare(
        "INSERT OR IGNORE INTO enrollment_tombstones(computer_uuid, removed_at) VALUES (?1, ?2)");
    const std::uint64_t tombstones = plan.rows / 1000 + 5;
    for (std::uint64_t t = 0; t < tombstones; ++t) {
        const std::int64_t age =
            kThirtyDays * static_cast<std::int64_t>(t) / static_cast<std::int64_t>(tombstones);
        counts.tombstones += static_cast<std::uint64_t>(
            addTombstone.Bind(1, RandomUuid()).Bind(2, plan.now - age).Run());
    }
    // Every fifth is marked deleted.
    CSqliteStatement addObject =
        m_store.Prepare("INSERT INTO static_objects(id, name, deleted) VALUES (?1, ?2, ?3)");
    for (std::uint64_t o = 0; o < plan.rows / 100 + 5; ++o) {
        const std::int64_t id = plan.firstObject + static_cast<std::int64_t>(o);
        addObject.Bind(1, id)
            .Bind(2, "object-" + std::to_string(id))
            .Bind(3, static_cast<std::int64_t>(o % 5 == 0))
            .Run();
        ++counts.staticObjects;
    }
    transaction.Commit();
}

}  // namespace Host
}  // namespace Kol
