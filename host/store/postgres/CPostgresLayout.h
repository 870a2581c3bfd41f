#pragma once

#include <cstdint>
#include <string>

namespace Kol {
namespace Host {

class CPostgresStore;

// Checks an existing PostgreSQL store against the layout this build makes
// (CPostgresSchema, CPostgresPartitions) before anything is written: a
// store that differs would have its deletes and partition drops land on what
// they were not meant for (a class partitioned by id instead of by time has
// its fresh rows dropped as old).
//
// Reads the catalog only, a few queries per open. Runs on the calling
// thread; throws std::runtime_error (pqxx::sql_error) on a database failure.
class CPostgresLayout {
public:
    // `store` is open, its identity checked, and outlives this object.
    explicit CPostgresLayout(CPostgresStore& store);

    // Each of our tables of schema version `version` (the store's) with exactly our columns, types,
    // NOT NULL and primary key; logs partitioned by retention class into logs_c1 ... logs_c5, each
    // partitioned by created_at into tables with integer, MINVALUE or
    // MAXVALUE bounds (any width: an administrator's) and a default partition. Throws
    // std::invalid_argument "<store> does not have cleanup-agent's layout: <what differs, found and
    // expected>".
    void Check(std::int64_t version);

    // Refuses (std::invalid_argument "<store> holds what cleanup-agent did
    // not make: ...") a store whose tables or partitions of logs carry
    // triggers, rules or policies: another role's code, which would run with
    // our rights on every write.
    void CheckForeignObjects();

    // Throws std::invalid_argument naming the tables (ours and the
    // partitions of logs) and their owners when a role other than the
    // connected one owns any: the agent would act with rights that are not
    // the store owner's.
    void CheckOwners();

private:
    // What differs, "" when nothing does.
    std::string TablesDiffer(std::int64_t version);
    std::string PartitionsDiffer();
    std::string Shown(const std::string& name) const;

    CPostgresStore& m_store;
};

}  // namespace Host
}  // namespace Kol
