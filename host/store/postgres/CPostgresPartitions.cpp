#include "host/store/postgres/CPostgresPartitions.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <map>

#include <boost/thread/thread.hpp>
#include <pqxx/pqxx>

#include "host/store/postgres/CPostgresStore.h"

namespace Kol {
namespace Host {

namespace {

// 1969-12-29 was a Monday: spans start there, and every kSpanSeconds after.
const std::int64_t kFirstMonday = -3 * 86400;
// Partitions dropped per statement, sized by time: one catalog commit
// serves many, while the lock that stops the class's writers must be held
// only briefly, however busy the server. A group starts at the first size,
// doubles while its drop takes under half the aim and halves when it takes
// longer, between one and the most.
const std::size_t kFirstDropGroup = 8;
const std::size_t kMostDropGroup = 64;
const std::chrono::milliseconds kDropGroupAim(100);
const char* const kDefaultConstraintBroken = "23514";
const char* const kLockNotAvailable = "55P03";
const char* const kDependentObjects = "2BP01";

// One bound as the server gives it, unquoted: an integer, MINVALUE or MAXVALUE.
bool ParseValue(const std::string& text, std::int64_t& value) {
    if (text == "MINVALUE" || text == "MAXVALUE") {
        value = text == "MINVALUE" ? std::numeric_limits<std::int64_t>::min()
                                   : std::numeric_limits<std::int64_t>::max();
        return true;
    }
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno == ERANGE) {
        return false;
    }
    value = parsed;
    return true;
}

}  // namespace

const std::int64_t CPostgresPartitions::kSpanSeconds;
const int CPostgresPartitions::kSpansAhead;
const char* const CPostgresPartitions::kClassKey = "RANGE (created_at)";

CPostgresPartitions::CPostgresPartitions(CPostgresStore& store) : m_store(store) {}

std::int64_t CPostgresPartitions::SpanStart(std::int64_t time) {
    std::int64_t weeks = (time - kFirstMonday) / kSpanSeconds;
    if ((time - kFirstMonday) % kSpanSeconds < 0) {
        --weeks;
    }
    return kFirstMonday + weeks * kSpanSeconds;
}

std::string CPostgresPartitions::SpanName(int retentionClass, std::int64_t start) {
    const std::time_t time = static_cast<std::time_t>(start);
    std::tm utc{};
    gmtime_r(&time, &utc);
    char date[64];
    std::snprintf(date, sizeof date, "%04d%02d%02d", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday);
    std::string name = ClassTable(retentionClass) + "_" + date;
    if (utc.tm_hour != 0 || utc.tm_min != 0 || utc.tm_sec != 0) {
        // A gap that an administrator's partition cut: several may start on one day.
        std::snprintf(date, sizeof date, "_%02d%02d%02d", utc.tm_hour, utc.tm_min, utc.tm_sec);
        name += date;
    }
    return name;
}

std::string CPostgresPartitions::ClassTable(int retentionClass) {
    return "logs_c" + std::to_string(retentionClass);
}

std::string CPostgresPartitions::ClassBound(int retentionClass) {
    return "FOR VALUES IN (" + std::to_string(retentionClass) + ")";
}

std::string CPostgresPartitions::DefaultName(int retentionClass) {
    return ClassTable(retentionClass) + "_default";
}

bool CPostgresPartitions::ParseSpanBound(const std::string& bound, std::int64_t& from,
                                         std::int64_t& to) {
    std::string unquoted;  // the server quotes the values: FROM ('1') TO ('2')
    for (const char c : bound) {
        if (c != '\'') {
            unquoted += c;
        }
    }
    const std::string head = "FOR VALUES FROM (";
    const std::string middle = ") TO (";
    const std::string::size_type at = unquoted.find(middle);
    if (unquoted.compare(0, head.size(), head) != 0 || at == std::string::npos ||
        at < head.size() || unquoted.back() != ')') {
        return false;
    }
    const std::string::size_type second = at + middle.size();
    return ParseValue(unquoted.substr(head.size(), at - head.size()), from) &&
           second < unquoted.size() &&
           ParseValue(unquoted.substr(second, unquoted.size() - 1 - second), to);
}

std::vector<CPostgresPartitions::Partition> CPostgresPartitions::List(int retentionClass) {
    const pqxx::result rows = m_store.Run(
        "SELECT c.relname, pg_catalog.pg_get_expr(c.relpartbound, c.oid), c.oid"
        " FROM pg_catalog.pg_inherits i JOIN pg_catalog.pg_class c ON c.oid = i.inhrelid"
        " WHERE i.inhparent = pg_catalog.to_regclass($1::text) ORDER BY c.relname",
        {m_store.Quote(ClassTable(retentionClass))});
    std::vector<Partition> partitions;
    for (const auto& row : rows) {
        Partition partition;
        partition.name = row[0].c_str();
        partition.oid = row[2].c_str();
        partition.retentionClass = retentionClass;
        const std::string bound = row[1].c_str();
        partition.isDefault = bound == "DEFAULT";
        if (partition.isDefault || ParseSpanBound(bound, partition.from, partition.to)) {
            partitions.push_back(partition);
        }
    }
    return partitions;
}

void CPostgresPartitions::Prepare(std::int64_t from, std::int64_t to) {
    const std::int64_t end = SpanStart(to) + (kSpansAhead + 1) * kSpanSeconds;
    for (int k = 1; k <= 5; ++k) {
        const std::string parent = ClassTable(k);
        if (!m_store.HasTable(parent)) {
            m_store.RunDdl("CREATE TABLE IF NOT EXISTS " + parent + " PARTITION OF logs " +
                           ClassBound(k) + " PARTITION BY " + kClassKey);
            m_store.RunDdl("CREATE TABLE IF NOT EXISTS " + DefaultName(k) + " PARTITION OF " +
                           parent + " DEFAULT");
        }
        std::vector<Range> taken;
        for (const Partition& partition : List(k)) {
            if (!partition.isDefault) {
                taken.emplace_back(partition.from, partition.to);
            }
        }
        for (const Range& gap : Uncovered(taken, SpanStart(from), end)) {
            try {
                m_store.RunDdl("CREATE TABLE IF NOT EXISTS " + SpanName(k, gap.first) +
                               " PARTITION OF " + parent + " FOR VALUES FROM (" +
                               std::to_string(gap.first) + ") TO (" + std::to_string(gap.second) +
                               ")");
            } catch (const pqxx::sql_error& e) {
                // The span's rows went to the default partition before it
                // was prepared: they stay there.
                if (e.sqlstate() != kDefaultConstraintBroken) {
                    throw;
                }
            }
        }
    }
}

std::vector<CPostgresPartitions::Range> CPostgresPartitions::Uncovered(std::vector<Range> taken,
                                                                       std::int64_t first,
                                                                       std::int64_t end) {
    // Partitions never overlap: in the order of their starts, each one
    // that reaches past `at` is the next one in the way.
    std::sort(taken.begin(), taken.end());
    std::vector<Range> gaps;
    std::int64_t at = first;
    auto next = taken.begin();
    while (at < end) {
        while (next != taken.end() && next->second <= at) {
            ++next;
        }
        if (next != taken.end() && next->first <= at) {
            at = next->second;  // covered up to there (MAXVALUE: all the rest)
            continue;
        }
        const std::int64_t stop =
            std::min({end, SpanStart(at) + kSpanSeconds, next != taken.end() ? next->first : end});
        gaps.emplace_back(at, stop);
        at = stop;
    }
    return gaps;
}

CPostgresPartitions::Dropped CPostgresPartitions::DropBefore(int retentionClass,
                                                             std::int64_t cutoff) {
    std::vector<Partition> old;
    for (const Partition& partition : List(retentionClass)) {
        if (!partition.isDefault && partition.to <= cutoff) {
            old.push_back(partition);
        }
    }
    return DropOldestFirst(old);
}

CPostgresPartitions::Dropped CPostgresPartitions::DropOldestFirst(
    const std::vector<Partition>& partitions) {
    Dropped dropped;
    std::size_t size = kFirstDropGroup;
    for (std::size_t first = 0, last = 0; first < partitions.size(); first = last) {
        // The next `size` partitions of each class: one group, one statement each.
        std::map<int, std::vector<Partition>> groups;
        for (last = first; last < partitions.size(); ++last) {
            std::vector<Partition>& group = groups[partitions[last].retentionClass];
            if (group.size() == size) {
                break;
            }
            group.push_back(partitions[last]);
        }
        // RunDdl checks too; a dry run runs none. The slowest group sizes the next.
        std::chrono::steady_clock::duration took{};
        bool done = true;
        try {
            for (auto group = groups.begin(); done && group != groups.end(); ++group) {
                std::chrono::steady_clock::duration one{};
                done =
                    !boost::this_thread::interruption_requested() &&
                    DropGroup(group->first, group->second, 0, group->second.size(), dropped, one);
                took = std::max(took, one);
            }
        } catch (const std::runtime_error&) {
            // A signal cut a statement short: the groups dropped before stay
            // counted, the rest is left for a later run.
            if (!m_store.IsCancelled()) {
                throw;
            }
            done = false;
        }
        if (!done) {
            dropped.interrupted = true;
            return dropped;
        }
        if (took < kDropGroupAim / 2) {
            size = std::min(kMostDropGroup, 2 * size);
        } else if (took > kDropGroupAim) {
            size = std::max<std::size_t>(1, size / 2);
        }
    }
    return dropped;
}

bool CPostgresPartitions::DropGroup(int retentionClass, const std::vector<Partition>& old,
                                    std::size_t first, std::size_t last, Dropped& dropped,
                                    std::chrono::steady_clock::duration& took) {
    // The partitions from..to, their names and their rows and bytes, all
    // counted in one statement.
    pqxx::row counted;
    const auto names = [&](std::size_t from, std::size_t to) {
        std::string list;
        for (std::size_t i = from; i < to; ++i) {
            list += (list.empty() ? "" : ", ") + m_store.Quote(old[i].name);
        }
        return list;
    };
    const auto countAll = [&](std::size_t from, std::size_t to) {
        std::string columns;
        for (std::size_t i = from; i < to; ++i) {
            columns += (columns.empty() ? "" : ", ") +
                       ("(SELECT count(*) FROM " + m_store.Quote(old[i].name) + ")") +
                       (", pg_catalog.pg_total_relation_size(" + old[i].oid + "::oid::regclass)");
        }
        counted = m_store.Run("SELECT " + columns)[0];
    };
    if (m_dropDeadline == std::chrono::steady_clock::time_point()) {
        m_dropDeadline = std::chrono::steady_clock::now() + m_store.GetBusyTimeout();
    }
    const auto until = m_dropDeadline;
    const auto drop = [&](std::size_t from, std::size_t to) {
        if (m_store.IsDryRun()) {
            countAll(from, to);
            return true;
        }
        // Counted in the drop's own transaction under a SHARE lock on the
        // partitions alone: no row can come or go between the count and the
        // drop, so the figure is exact, and writers of current logs, which
        // need only the class table, do not wait for the count; the class
        // table's own lock comes with the DROP, the transaction's last step.
        return m_store.RunDdl("DROP TABLE " + names(from, to), until, [&] {
            m_store.Run("LOCK TABLE " + names(from, to) + " IN SHARE MODE");
            countAll(from, to);
        });
    };
    std::size_t from = first;
    std::size_t to = last;
    const auto start = std::chrono::steady_clock::now();
    while (from < last) {
        try {
            if (!drop(from, to)) {
                return false;
            }
            // The group's time: its lock waits count, as the writers' do.
            took = std::chrono::steady_clock::now() - start;
            for (std::size_t i = from; i < to; ++i) {
                const auto column = static_cast<pqxx::row::size_type>(2 * (i - from));
                ++dropped.partitions;
                dropped.rows += counted[column].as<std::uint64_t>();
                dropped.bytes += counted[column + 1].as<std::int64_t>();
            }
            from = to;
        } catch (const pqxx::sql_error& e) {
            if (e.sqlstate() != kLockNotAvailable && e.sqlstate() != kDependentObjects) {
                throw;
            }
            // One partition stops the group: each goes on its own, and
            // what still cannot go is left for a later run.
            if (to - from == 1) {
                dropped.warnings.push_back(
                    WhyLeft(old[from], retentionClass, e.sqlstate(), e.what()));
                ++from;
            }
        }
        to = from + 1;
    }
    return true;
}

std::string CPostgresPartitions::WhyLeft(const Partition& partition, int retentionClass,
                                         const std::string& sqlstate, const std::string& error) {
    const std::string head = "partition " + partition.name + " left for a later run: ";
    if (sqlstate == kDependentObjects) {
        const pqxx::result views = m_store.Run(
            "SELECT pg_catalog.string_agg(DISTINCT r.ev_class::pg_catalog.regclass::text, ', ')"
            " FROM pg_catalog.pg_depend d JOIN pg_catalog.pg_rewrite r ON r.oid = d.objid"
            " WHERE d.classid = 'pg_catalog.pg_rewrite'::pg_catalog.regclass"
            " AND d.refobjid = $1::oid AND r.ev_class <> $1::oid",
            {partition.oid});
        return head + (views[0][0].is_null()
                           ? error
                           : "view " + std::string(views[0][0].c_str()) + " depends on it");
    }
    // Who holds a lock on it, else on its class's table (the drop needs
    // both): a writer's passing lock on the class table names no culprit
    // while a session holds the partition itself.
    const pqxx::result pids = m_store.Run(
        "WITH held AS (SELECT l.pid, l.relation = $1::oid AS here FROM pg_catalog.pg_locks l"
        " WHERE l.granted AND l.pid <> pg_catalog.pg_backend_pid() AND l.database = (SELECT oid"
        " FROM pg_catalog.pg_database WHERE datname = pg_catalog.current_database())"
        " AND l.relation IN ($1::oid, pg_catalog.to_regclass($2::text)))"
        " SELECT pg_catalog.string_agg(DISTINCT pid::text, ', ' ORDER BY pid::text) FROM held"
        " WHERE here OR NOT EXISTS (SELECT FROM held WHERE here)",
        {partition.oid, m_store.Quote(ClassTable(retentionClass))});
    return head + m_store.WaitedTooLong() +
           (pids[0][0].is_null() ? std::string()
                                 : ", held by pid " + std::string(pids[0][0].c_str()));
}

}  // namespace Host
}  // namespace Kol
