#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Kol {
namespace Host {

// The tables and indexes of the PostgreSQL store as this build makes them
// (the two-week partitions of logs apart, CPostgresPartitions): the one place
// that knows them, for making a store, for telling which objects are ours,
// and for walking a table's key.
//
// Stateless and thread-safe.
class CPostgresSchema {
public:
    struct ColumnLayout {
        std::string name;
        std::string type;  // as format_type() names it: "bigint", "text", "bytea"
        bool notNull;
    };
    // A table as Statements() makes it, for checking an existing store
    // against: the statements are made from the same description.
    struct TableLayout {
        std::string name;
        std::vector<ColumnLayout> columns;  // in their order
        std::string primaryKey;             // its one column; "" for none
        std::string partitionKey;           // as pg_get_partkeydef() gives it; "" for none
    };

    // The schema version this build makes: 2 added the run history.
    static constexpr std::int64_t kVersion = 2;

    // The statements that make the schema in an empty one, in order.
    static const std::vector<std::string>& Statements();
    // The statements that bring a store of schema version `from` (1 up to
    // kVersion) to kVersion, in order: the tables added since.
    static std::vector<std::string> Migration(std::int64_t from);
    // The names of the tables of kVersion, in the order they are made.
    static const std::vector<std::string>& Tables();
    // Tables() as an SQL array literal ("{settings,logs,...}"), for a
    // text[] parameter.
    static std::string TablesArray();

    // The tables of schema version `version` (1 up to kVersion), in the
    // order of Tables(), described.
    static std::vector<TableLayout> Layout(std::int64_t version = kVersion);

    // The primary key a batched delete walks on `table`; a name not among
    // Tables() is taken for a partition of logs (keyed like logs).
    static std::string KeyOf(const std::string& table);
    // The key's SQL type: "bigint" or "text".
    static std::string KeyTypeOf(const std::string& table);

    CPostgresSchema() = delete;
};

}  // namespace Host
}  // namespace Kol
