#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/store/postgres/CPostgresUri.h"
#include "host/testing/CAgentProcess.h"
#include "host/testing/CScratchDirectory.h"
#include "host/testing/CTestStore.h"

namespace Kol::Host::Testing {

// The end-to-end tests' store: a new store the real program created in a
// scratch folder (a subclass may point m_db at a database of the test server
// before this SetUp runs), one row for each job on request, and a runner of
// the real program on it.
class CEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The program itself creates the store with its schema.
        ASSERT_EQ(CAgentProcess::Run({"--db", m_db, "--create"}), 0);
    }

    // Runs the program on the test's store to its end.
    std::unique_ptr<CAgentProcess> Agent(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--db", m_db});
        if (Kol::Host::CPostgresUri::IsUri(m_db)) {
            arguments.insert(arguments.begin(), {"--backup", m_directory + "/store.dump"});
        }
        std::unique_ptr<CAgentProcess> process(new CAgentProcess(arguments));
        m_status = process->Wait(std::chrono::seconds(60));
        return process;
    }

    static constexpr std::int64_t kDay = 86400;
    // The default retention periods of classes 1 to 5.
    static constexpr std::int64_t kDays[] = {30, 90, 180, 365, 730};

    static std::string Sql(std::int64_t value) { return std::to_string(value); }

    // One row for each job, each matching that job's condition only.
    void FillTables(std::int64_t now) {
        CTestStore store(m_db);
        std::string logs;
        // `flags`: replicated, ignored, superseded.
        auto add = [&logs, now](int id, int type, int retention, int delta, std::int64_t age,
                                const char* flags, const char* owner) {
            logs += (logs.empty() ? "(" : ", (") + std::to_string(id) + "," + std::to_string(type) +
                    "," + std::to_string(retention) + "," + std::to_string(delta) + "," +
                    Sql(now - age) + "," + flags + "," + owner + ")";
        };
        add(1, 101, 5, 0, 3600, "0,0,0", "1");
        add(2, 102, 5, 0, 3600, "1,0,0", "1");     // replicated
        add(3, 103, 5, 1, 3600, "0,0,1", "1");     // obsolete delta
        add(4, 104, 5, 1, 3600, "0,0,0", "1");     // delta, still current
        add(5, 105, 5, 0, 3600, "0,0,1", "1");     // superseded, but not a delta
        add(6, 106, 5, 0, 3600, "0,1,0", "2");     // ignored
        add(7, 107, 5, 0, 3600, "0,0,0", "99");    // abandoned: owner 99 is gone
        add(8, 108, 5, 0, 3600, "0,0,0", "NULL");  // no owner at all
        // Old logs: a day past and a day short of each class's default period.
        for (int k = 1; k <= 5; ++k) {
            add(8 + 2 * k, 108 + 2 * k, k, 0, (kDays[k - 1] + 1) * kDay, "0,0,0", "1");
            add(9 + 2 * k, 109 + 2 * k, k, 0, (kDays[k - 1] - 1) * kDay, "0,0,0", "1");
        }
        // Event logs of type 7, two kept: 34, then 33 (same time as 32, higher id).
        const std::int64_t ages[] = {500, 400, 300, 300, 100};
        for (int i = 0; i < 5; ++i) {
            add(30 + i, 7, 5, 0, ages[i], "0,0,0", "1");
        }
        add(35, 7, 5, 1, 900, "0,0,0", "1");  // a delta log of that type is no event log
        add(36, 8, 5, 0, 900, "0,0,0", "1");
        add(37, 8, 5, 0, 800, "0,0,0", "1");
        store.Execute(
            "INSERT INTO logs(id, log_type, retention_class, is_delta, created_at, replicated,"
            " ignored, superseded, owner_id) VALUES " +
            logs);
        store.Execute(
            "INSERT INTO settings(key, value) VALUES ('max_event_logs_per_type', '2');"
            "INSERT INTO owners(id, name) VALUES (1, 'first'), (2, 'second');"
            "INSERT INTO log_blobs(id, log_id, data) VALUES (1, 1, " +
            store.Blob("01") + "), (2, 2, " + store.Blob("02") + "), (3, 1000, " +
            store.Blob("03") + "), (4, 2000, " + store.Blob("04") +
            ");"
            "INSERT INTO static_objects(id, name, deleted) VALUES (1, 'a', 0), (2, 'b', 1),"
            " (3, 'c', 1), (4, 'd', 0);"
            // In this order, so that the SQLite rowids are the names.
            "INSERT INTO enrollment_tombstones(computer_uuid, removed_at) VALUES ('1', " +
            Sql(now - 6 * kDay) + "), ('2', " + Sql(now - 4 * kDay) + "), ('3', " +
            Sql(now - 5 * kDay - 60) + "), ('4', " + Sql(now - 5 * kDay + 60) + ");");
    }

    // Empties every table the fill writes to.
    void EmptyTables() {
        CTestStore(m_db).Execute(
            "DELETE FROM logs; DELETE FROM owners; DELETE FROM log_blobs;"
            " DELETE FROM static_objects; DELETE FROM enrollment_tombstones;"
            " DELETE FROM status_events; DELETE FROM settings WHERE key = "
            "'max_event_logs_per_type'");
    }

    const CScratchDirectory m_scratch;
    const std::string m_directory = m_scratch.path;
    std::string m_db = m_directory + "/agent.db";
    int m_status = -1;
};

}  // namespace Kol::Host::Testing
