// The partitions of `logs` on a real test server: found and dropped by their
// bounds whatever their names say, so that a mixed-case or hostile name is
// quoted, never run, and a partition that straddles the cut-off stays.

#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/store/postgres/CPostgresPartitions.h"
#include "host/store/postgres/CPostgresStore.h"
#include "host/testing/CScratchDatabase.h"
#include "host/testing/CTestStore.h"

namespace {

using Kol::Host::CPostgresPartitions;
using Kol::Host::CPostgresStore;
using Kol::Host::Testing::CScratchDatabase;
using Kol::Host::Testing::CTestStore;

TEST(PostgresPartitions, SpansAndDropsFollowTheBoundsNotTheNames) {
    EXPECT_EQ(CPostgresPartitions::SpanStart(0), -259200);  // Monday 29 December 1969
    EXPECT_EQ(CPostgresPartitions::SpanStart(-259201), -259200 - 1209600);
    EXPECT_EQ(CPostgresPartitions::SpanStart(1717372800 + 1209599), 1717372800);
    EXPECT_EQ(CPostgresPartitions::SpanName(3, 1717372800), "logs_c3_20240603");
    const CScratchDatabase database;
    if (database.uri.empty()) {
        GTEST_SKIP() << "no test server: CLEANUP_TEST_PG_URI is not set";
    }
    Kol::Host::StoreOptions options;
    options.db = database.uri;
    CPostgresStore(options).FinishOpening();  // makes the schema
    const std::string of = " PARTITION OF logs_c2 FOR VALUES FROM ";
    CTestStore(database.uri)
        .Execute("CREATE TABLE important(x int); CREATE TABLE \"logs_c2_Old\"" + of +
                 "(0) TO (86400); CREATE TABLE \"logs_c2_x/**/,/**/important\"" + of +
                 "(86400) TO (172800); CREATE TABLE logs_c2_straddles" + of +
                 "(172800) TO (259200); INSERT INTO logs(log_type, retention_class, created_at)"
                 " VALUES (1, 2, 10), (1, 2, 20), (1, 2, 90000), (1, 2, 172801)");
    // A dry run counts what a real one drops; the straddling span stays.
    for (const bool dryRun : {true, false}) {
        options.dryRun = dryRun;
        CPostgresStore store(options);
        store.FinishOpening();
        CPostgresPartitions partitions(store);
        std::vector<std::string> listed;
        for (const CPostgresPartitions::Partition& p : partitions.List(2)) {
            if (p.isDefault || p.to <= 259200) {
                listed.push_back(p.name + " " + std::to_string(p.from) + "-" +
                                 std::to_string(p.to) + (p.isDefault ? " default" : ""));
            }
        }
        EXPECT_EQ(listed,
                  (std::vector<std::string>{"logs_c2_Old 0-86400", "logs_c2_default 0-0 default",
                                            "logs_c2_straddles 172800-259200",
                                            "logs_c2_x/**/,/**/important 86400-172800"}));
        const CPostgresPartitions::Dropped dropped = partitions.DropBefore(2, 172900);
        EXPECT_EQ(dropped.partitions, 2u);
        EXPECT_EQ(dropped.rows, 3u);
        EXPECT_GT(dropped.bytes, 0);
        EXPECT_FALSE(dropped.interrupted);
    }
    CTestStore left(database.uri);
    EXPECT_EQ(left.Int("SELECT count(*) FROM pg_tables WHERE tablename IN ('important',"
                       " 'logs_c2_straddles', 'logs_c2_Old', 'logs_c2_x/**/,/**/important')"),
              2);
    EXPECT_EQ(left.Int("SELECT count(*) FROM logs"), 1);
}

}  // namespace
