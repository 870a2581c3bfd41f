#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <boost/thread/future.hpp>
#include <boost/thread/thread.hpp>

#include "host/store/CBatchedDelete.h"
#include "host/store/sqlite/CSqliteDeleteWalk.h"
#include "host/store/sqlite/CSqliteSchema.h"
#include "host/store/sqlite/CSqliteStore.h"
#include "host/testing/CScratchDirectory.h"
#include "host/testing/CTestStore.h"

namespace {

using Kol::Host::CSqliteDeleteWalk;
using Kol::Host::CSqliteSchema;
using Kol::Host::CSqliteStore;
using Kol::Host::IStore;
typedef Kol::Host::CBatchedDelete<std::int64_t> CBatchedDelete;
using Kol::Host::Testing::CScratchDirectory;
using Kol::Host::Testing::CTestStore;
using ::testing::ThrowsMessage;

class BatchedDelete : public ::testing::Test {
protected:
    void SetUp() override {
        Kol::Host::StoreOptions options;
        options.db = m_directory + "/agent.db";
        m_store.reset(new CSqliteStore(options));
        m_store->FinishOpening();
        // 20 static objects; the odd ids are marked deleted.
        for (int id = 1; id <= 20; ++id) {
            m_store->Execute("INSERT INTO static_objects(id, name, deleted) VALUES (" +
                             std::to_string(id) + ", 'o', " + std::to_string(id % 2) + ")");
        }
    }
    // For a new SetUp within one test.
    void TearDown() override {
        m_store.reset();
        std::remove((m_directory + "/agent.db").c_str());
    }
    std::vector<std::int64_t> Remaining() {
        return CTestStore(m_directory + "/agent.db")
            .Ints("SELECT id FROM static_objects ORDER BY id");
    }
    // The static objects marked deleted, in batches of `batchRows`.
    static CBatchedDelete::Result DeleteObjects(
        CSqliteStore& store, std::size_t batchRows,
        const CBatchedDelete::BatchObserver& afterBatch = CBatchedDelete::BatchObserver(),
        std::int64_t windowKeys = CSqliteDeleteWalk::kDefaultWindowKeys,
        const std::string& condition = "deleted = $1") {
        CSqliteDeleteWalk walk(store, IStore::DeletePlan("static_objects", condition, {1}),
                               windowKeys);
        return CBatchedDelete(batchRows).Run(walk, afterBatch);
    }

    const CScratchDirectory m_scratch;
    const std::string m_directory = m_scratch.path;
    std::unique_ptr<CSqliteStore> m_store;
};

TEST_F(BatchedDelete, RemovesExactlyTheMatchesInBatchesOfAtMostTheBatchSize) {
    const struct {
        std::size_t batchRows;
        std::int64_t windowKeys;
        std::vector<std::uint64_t> totals;  // after each batch
    } cases[] = {
        {3, 50000, {3, 6, 9, 10}},
        {5, 50000, {5, 10}},
        {10000, 50000, {10}},
        {1, 50000, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}},
        // Sparse matches: a window of four keys holds two of them.
        {10000, 4, {2, 4, 6, 8, 10}},
        {2, 5, {2, 4, 6, 8, 10}},
    };
    for (const auto& c : cases) {
        TearDown();
        SetUp();
        std::vector<std::uint64_t> totals;
        const CBatchedDelete::Result result = DeleteObjects(
            *m_store, c.batchRows,
            [&totals](const CBatchedDelete::Result& soFar) { totals.push_back(soFar.rows); },
            c.windowKeys);
        EXPECT_EQ(totals, c.totals) << c.batchRows << "/" << c.windowKeys;
        EXPECT_EQ(result.rows, 10u);
        EXPECT_EQ(result.batches, c.totals.size());
        EXPECT_FALSE(result.interrupted);
        EXPECT_EQ(Remaining(), (std::vector<std::int64_t>{2, 4, 6, 8, 10, 12, 14, 16, 18, 20}));
    }
}

TEST_F(BatchedDelete, WalksKeysAnywhereInSixtyFourBitsAtTheCostOfTheRows) {
    const std::int64_t min = std::numeric_limits<std::int64_t>::min();
    const std::int64_t max = std::numeric_limits<std::int64_t>::max();
    const std::int64_t far = std::int64_t(1) << 62;
    // Marked deleted: every other key, starting with the first.
    const std::vector<std::int64_t> keySets[] = {
        {1, std::int64_t(1) << 40, far, max},
        {min, -far, -1, 0, 1, max},
        {min, min + 1, max - 1, max},
        {min},
        {max},
    };
    for (const auto& keys : keySets) {
        for (const std::size_t batchRows : {1, 3, 10000}) {
            m_store->Execute("DELETE FROM static_objects");
            std::vector<std::int64_t> kept;
            for (std::size_t i = 0; i < keys.size(); ++i) {
                m_store->Execute("INSERT INTO static_objects(id, name, deleted) VALUES (" +
                                 std::to_string(keys[i]) + ", 'o', " + std::to_string(i % 2 == 0) +
                                 ")");
                if (i % 2 == 1) {
                    kept.push_back(keys[i]);
                }
            }
            const CBatchedDelete::Result result = DeleteObjects(*m_store, batchRows);
            EXPECT_EQ(result.rows, (keys.size() + 1) / 2) << keys.front() << "/" << batchRows;
            EXPECT_EQ(Remaining(), kept) << keys.front() << "/" << batchRows;
        }
    }
}

TEST_F(BatchedDelete, EachBatchIsItsOwnTransactionCommittedOrInADryRunRolledBackAtOnce) {
    m_store.reset();  // lets go of its lock
    for (const bool dryRun : {true, false}) {
        Kol::Host::StoreOptions options;
        options.db = m_directory + "/agent.db";
        options.dryRun = dryRun;
        CSqliteStore store(options);
        store.FinishOpening();
        store.TakeLongestTransaction();
        EXPECT_EQ(store.TakeLongestTransaction(), 0.0);
        const CBatchedDelete::Result result =
            DeleteObjects(store, 4, [this, dryRun](const CBatchedDelete::Result& soFar) {
                // Another connection sees each batch at once: committed, or
                // already rolled back, so no lock outlives its batch.
                CTestStore other(m_directory + "/agent.db");
                EXPECT_EQ(other.Int("SELECT count(*) FROM static_objects"),
                          dryRun ? 20 : 20 - static_cast<std::int64_t>(soFar.rows));
            });
        EXPECT_EQ(result.rows, 10u);
        EXPECT_EQ(result.batches, 3u);
        EXPECT_GT(store.TakeLongestTransaction(), 0.0);
        EXPECT_EQ(Remaining().size(), dryRun ? 20u : 10u);
    }
}

TEST_F(BatchedDelete, StopsAfterTheCurrentBatchWhenTheThreadIsInterrupted) {
    CBatchedDelete::Result result;
    boost::thread worker;
    boost::promise<void> assigned;  // the worker may use `worker` once it is set
    boost::shared_future<void> ready = assigned.get_future().share();
    worker = boost::thread([&] {
        ready.wait();
        result = DeleteObjects(*m_store, 3, [&](const auto&) {
            worker.interrupt();  // as a forced stop does from another thread
        });
    });
    assigned.set_value();
    ASSERT_TRUE(worker.try_join_for(boost::chrono::seconds(10)));
    EXPECT_TRUE(result.interrupted);
    EXPECT_EQ(result.batches, 1u);
    EXPECT_EQ(result.rows, 3u);
    // The first three matches went; the rest waits for a later run.
    EXPECT_EQ(Remaining(), (std::vector<std::int64_t>{2, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16,
                                                      17, 18, 19, 20}));
}

TEST_F(BatchedDelete, AFailingBatchIsRolledBackAndReported) {
    EXPECT_THAT(
        [&] {
            DeleteObjects(*m_store, 3, {}, CSqliteDeleteWalk::kDefaultWindowKeys,
                          "no_such_column = 1");
        },
        ThrowsMessage<std::runtime_error>(
            "no such column: no_such_column in: SELECT max(id), count(*) FROM (SELECT id "
            "FROM static_objects WHERE id >= :first AND id <= :upto AND (no_such_column "
            "= 1) ORDER BY id LIMIT :limit)"));
    EXPECT_EQ(Remaining().size(), 20u);
    EXPECT_THROW(CBatchedDelete(0), std::invalid_argument);
    EXPECT_THROW(DeleteObjects(*m_store, 10, {}, 0), std::invalid_argument);
}

}  // namespace
