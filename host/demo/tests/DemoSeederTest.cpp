#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/demo/CDemoSeeder.h"
#include "host/testing/CScratchDirectory.h"
#include "host/testing/CTestStore.h"

namespace {

using Kol::Host::CDemoSeeder;
using Kol::Host::Testing::CTestStore;

// The counts are the rows left in the store: one log id in a thousand left
// out with an orphan blob naming it, one owner in twenty gone, a tombstone
// per thousand logs and an object per hundred (five more of each), every
// fifth object deleted; the same seed gives the same rows in another store.
// (That every kind of row an operation removes is there is checked end to end.)
TEST(DemoSeeder, CountsTheRowsItLeftAndRepeatsItselfForTheSameSeed) {
    const Kol::Host::Testing::CScratchDirectory scratch;
    const std::int64_t now = 1700000000;
    std::vector<std::string> seeded;
    for (const char* name : {"/a.db", "/b.db"}) {
        const std::string path = scratch.path + name;
        const auto store = CTestStore::OpenStore(path);
        const CDemoSeeder::Counts c = CDemoSeeder(*store, 20240601).Seed(3000, now);
        EXPECT_EQ((std::vector<std::uint64_t>{c.logs, c.owners, c.orphanBlobs, c.tombstones,
                                              c.staticObjects}),
                  (std::vector<std::uint64_t>{2997, 19, 3, 8, 35}));
        CTestStore written(path);
        EXPECT_EQ(
            written.Ints(
                "SELECT count(*) FROM logs UNION ALL SELECT count(*) FROM owners UNION ALL "
                "SELECT count(*) FROM log_blobs UNION ALL SELECT count(*) FROM log_blobs WHERE "
                "log_id NOT IN (SELECT id FROM logs) UNION ALL SELECT count(*) FROM "
                "enrollment_tombstones UNION ALL SELECT count(*) FROM static_objects UNION ALL "
                "SELECT count(*) FROM static_objects WHERE deleted"),
            (std::vector<std::int64_t>{2997, 19, std::int64_t(c.blobs + 3), 3, 8, 35, 7}));
        const std::string dump = written.Dump();
        seeded.push_back(dump.substr(dump.find("\nlogs:\n")));  // without the store's identity
    }
    EXPECT_EQ(seeded[0], seeded[1]);
}

// A tombstone on the 120-hour cut-off would go in a run started a second
// after the seed but not in a dry run started in the same second, so the two
// would disagree; 1,000 logs give six tombstones, five days apart.
TEST(DemoSeeder, PutsTombstonesOnBothSidesOfTheirCutOffButNoneOnIt) {
    const Kol::Host::Testing::CScratchDirectory scratch;
    const std::int64_t now = 1700000000;
    const std::string path = scratch.path + "/a.db";
    CDemoSeeder(*CTestStore::OpenStore(path), 1).Seed(1000, now);
    const std::string cutoff = std::to_string(now - 120 * 3600);
    EXPECT_EQ(CTestStore(path).Ints(
                  "SELECT count(*) FROM enrollment_tombstones WHERE removed_at < " + cutoff +
                  " UNION ALL SELECT count(*) FROM enrollment_tombstones WHERE abs(removed_at - " +
                  cutoff + ") < 1800"),
              (std::vector<std::int64_t>{5, 0}));
}

}  // namespace
