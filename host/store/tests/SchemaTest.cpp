// The two stores a new run makes, read back from a real SQLite file and a
// real PostgreSQL database: the same tables with the same columns of the
// same types, whatever each store's own DDL says.

#include <string>

#include <gtest/gtest.h>

#include "host/testing/CScratchDatabase.h"
#include "host/testing/CScratchDirectory.h"
#include "host/testing/CTestStore.h"

namespace {

using Kol::Host::Testing::CScratchDatabase;
using Kol::Host::Testing::CScratchDirectory;
using Kol::Host::Testing::CTestStore;

TEST(Schema, BothStoresMakeTheSameTablesColumnsAndTypes) {
    const CScratchDatabase database;
    if (database.uri.empty()) {
        GTEST_SKIP() << "no test server: CLEANUP_TEST_PG_URI is not set";
    }
    const CScratchDirectory scratch;
    const std::string file = scratch.path + "/agent.db";
    {
        CTestStore::OpenStore(file);
        CTestStore::OpenStore(database.uri);
    }

    // "table.column type" in the server's names for the types, one a line.
    const std::string onFile = CTestStore(file).Text(
        "SELECT group_concat(line, char(10)) FROM (SELECT m.name || '.' || p.name || ' ' ||"
        " CASE lower(p.type) WHEN 'integer' THEN 'bigint' WHEN 'blob' THEN 'bytea'"
        " ELSE lower(p.type) END AS line FROM sqlite_master m, pragma_table_info(m.name) p"
        " WHERE m.type = 'table' ORDER BY m.name, p.cid)");
    // The tables, not the partitions of logs.
    const std::string onServer =
        CTestStore(database.uri)
            .Text(
                "SELECT string_agg(c.table_name || '.' || c.column_name || ' ' ||"
                " c.data_type, chr(10) ORDER BY c.table_name COLLATE \"C\", c.ordinal_position)"
                " FROM information_schema.columns c JOIN pg_catalog.pg_class r"
                " ON r.relname = c.table_name AND r.relnamespace = c.table_schema::regnamespace"
                " WHERE c.table_schema = current_schema() AND NOT r.relispartition");
    EXPECT_EQ(onFile, onServer);
    // Read at all: the first column of the first table.
    EXPECT_EQ(onFile.substr(0, onFile.find('\n')), "enrollment_tombstones.computer_uuid text");
}

}  // namespace
