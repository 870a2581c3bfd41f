#pragma once

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

    // The statements that make the schema in an empty one, in order.
    static const std::vector<std::string>& Statements();
    // The names of the tables, in the order they are made.
    static const std::vector<std::string>& Tables();
    // Tables() as an SQL array literal ("{settings,logs,...}"), for a
    // text[] parameter.
    static std::string TablesArray();

    // The tables of Tables(), in that order, described.
    static const std::vector<TableLayout>& Layout();

    // The primary key a batched delete walks on `table`; a name not among
    // Tables() is taken for a partition of logs (keyed like logs).
    static std::string KeyOf(const std::string& table);
    // The key's SQL type: "bigint" or "text".
    static std::string KeyTypeOf(const std::string& table);

    CPostgresSchema() = delete;
};

}  // namespace Host
}  // namespace Kol
