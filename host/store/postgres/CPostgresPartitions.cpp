#include "host/store/postgres/CPostgresPartitions.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <set>

#include <boost/thread/thread.hpp>
#include <pqxx/pqxx>

#include "host/store/postgres/CPostgresStore.h"

namespace Kol {
namespace Host {

namespace {

// 1969-12-29 was a Monday: spans start there, and every kSpanSeconds after.
const std::int64_t kFirstMonday = -3 * 86400;
// Partitions dropped per statement: one catalog commit serves many, and the
// lock that stops the class's writers is held only briefly (about 40 ms
// for 32 on a quiet server).
const std::size_t kDropsPerStatement = 32;
const char* const kDefaultConstraintBroken = "23514";

// "FOR VALUES FROM ('1717372800') TO ('1717977600')": the two bounds.
bool ParseBounds(const std::string& expression, std::int64_t& from, std::int64_t& to) {
    std::int64_t values[2] = {0, 0};
    std::size_t found = 0;
    const char* at = expression.c_str();
    while (*at != '\0' && found < 2) {
        if ((*at >= '0' && *at <= '9') || (*at == '-' && at[1] >= '0' && at[1] <= '9')) {
            char* end = nullptr;
            values[found++] = std::strtoll(at, &end, 10);
            at = end;
        } else {
            ++at;
        }
    }
    from = values[0];
    to = values[1];
    return found == 2;
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

std::string CPostgresPartitions::SpanName(int retentionClass, std::int64_t weekStart) {
    const std::time_t time = static_cast<std::time_t>(weekStart);
    std::tm utc{};
    gmtime_r(&time, &utc);
    char date[48];
    std::snprintf(date, sizeof date, "%04d%02d%02d", utc.tm_year + 1900, utc.tm_mon + 1,
                  utc.tm_mday);
    return ClassTable(retentionClass) + "_" + date;
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
    long long first = 0;
    long long second = 0;
    int end = 0;
    if (std::sscanf(unquoted.c_str(), "FOR VALUES FROM (%lld) TO (%lld)%n", &first, &second,
                    &end) != 2 ||
        static_cast<std::size_t>(end) != unquoted.size()) {
        return false;
    }
    from = first;
    to = second;
    return true;
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
        const std::string bound = row[1].c_str();
        partition.isDefault = bound == "DEFAULT";
        if (partition.isDefault || ParseBounds(bound, partition.from, partition.to)) {
            partitions.push_back(partition);
        }
    }
    return partitions;
}

void CPostgresPartitions::Prepare(std::int64_t from, std::int64_t to) {
    const std::int64_t last = SpanStart(to) + kSpansAhead * kSpanSeconds;
    for (int k = 1; k <= 5; ++k) {
        const std::string parent = ClassTable(k);
        if (!m_store.HasTable(parent)) {
            m_store.RunDdl("CREATE TABLE IF NOT EXISTS " + parent + " PARTITION OF logs " +
                           ClassBound(k) + " PARTITION BY " + kClassKey);
            m_store.RunDdl("CREATE TABLE IF NOT EXISTS " + DefaultName(k) + " PARTITION OF " +
                           parent + " DEFAULT");
        }
        std::set<std::int64_t> present;
        for (const Partition& partition : List(k)) {
            if (!partition.isDefault) {
                present.insert(partition.from);
            }
        }
        for (std::int64_t week = SpanStart(from); week <= last; week += kSpanSeconds) {
            if (present.count(week) != 0) {
                continue;
            }
            try {
                m_store.RunDdl("CREATE TABLE IF NOT EXISTS " + SpanName(k, week) +
                               " PARTITION OF " + parent + " FOR VALUES FROM (" +
                               std::to_string(week) + ") TO (" +
                               std::to_string(week + kSpanSeconds) + ")");
            } catch (const pqxx::sql_error& e) {
                // The week's rows went to the default partition before it
                // was prepared: they stay there.
                if (e.sqlstate() != kDefaultConstraintBroken) {
                    throw;
                }
            }
        }
    }
}

CPostgresPartitions::Dropped CPostgresPartitions::DropBefore(int retentionClass,
                                                             std::int64_t cutoff) {
    std::vector<Partition> old;
    for (const Partition& partition : List(retentionClass)) {
        if (!partition.isDefault && partition.to <= cutoff) {
            old.push_back(partition);
        }
    }
    Dropped dropped;
    for (std::size_t first = 0; first < old.size(); first += kDropsPerStatement) {
        if (boost::this_thread::interruption_requested()) {
            dropped.interrupted = true;  // RunDdl checks too; a dry run runs none
            return dropped;
        }
        // The rows and bytes of the whole group in one statement.
        std::string names;
        std::string rowsSql;
        std::string bytesSql;
        for (std::size_t i = first; i < old.size() && i < first + kDropsPerStatement; ++i) {
            const std::string quoted = m_store.Quote(old[i].name);
            names += (names.empty() ? "" : ", ") + quoted;
            rowsSql += (rowsSql.empty() ? "" : " + ") + ("(SELECT count(*) FROM " + quoted + ")");
            bytesSql += (bytesSql.empty() ? "" : " + ") +
                        ("pg_catalog.pg_total_relation_size(" + old[i].oid + "::oid::regclass)");
        }
        const pqxx::result counted = m_store.Run("SELECT " + rowsSql + ", " + bytesSql);
        const std::uint64_t rows = counted[0][0].as<std::uint64_t>();
        const std::int64_t bytes = counted[0][1].as<std::int64_t>();
        if (!m_store.IsDryRun() && !m_store.RunDdl("DROP TABLE " + names)) {
            dropped.interrupted = true;
            return dropped;
        }
        dropped.partitions += std::min(kDropsPerStatement, old.size() - first);
        dropped.rows += rows;
        dropped.bytes += bytes;
    }
    return dropped;
}

}  // namespace Host
}  // namespace Kol
