#pragma once

#include <string>
#include <vector>

namespace Kol {
namespace Host {

// The tables and indexes of the SQLite store as this build makes them: the
// one place that knows them, for making a store, for telling a store of an
// earlier build by its columns, and for walking a table's key.
//
// Stateless and thread-safe.
class CSqliteSchema {
public:
    // The schema version this build makes: 2 added the run history.
    static constexpr int kVersion = 2;

    // The statements that make whatever is missing of the schema of
    // `version` (1 up to kVersion), in order; each may run again on a store
    // that has it. Version 1 is the schema of the earlier builds.
    static std::vector<std::string> Statements(int version = kVersion);

    // The ascending integer key a batched delete walks on `table`: its
    // INTEGER PRIMARY KEY, or rowid where it has none. Throws
    // std::invalid_argument for a table that is not ours.
    static std::string KeyOf(const std::string& table);

    // Whether a walk of `table`'s key for the rows matching `condition` must
    // read the table itself (NOT INDEXED): where the table has indexes of its
    // own, the planner may choose one for a condition made of several index
    // ranges and then read it whole for every batch. Not where one of the
    // table's partial indexes on its key is made for exactly `condition`:
    // that index is the walk.
    static bool WalksTable(const std::string& table, const std::string& condition);

    CSqliteSchema() = delete;
};

}  // namespace Host
}  // namespace Kol
