#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "host/testing/CAgentProcess.h"
#include "host/testing/CScratchDatabase.h"
#include "host/testing/CScratchDirectory.h"

namespace Kol::Host::Testing {

// A test of the real program, run once per store (the parameter): "sqlite",
// a file in a scratch folder, and "postgres", a scratch database on the test
// server, skipped when there is none. A subclass's SetUp calls this one's
// first and returns when IsSkipped().
class CBothStoresTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        if (GetParam() == "postgres") {
            if (m_database.uri.empty()) {
                GTEST_SKIP() << "no test server: CLEANUP_TEST_PG_URI is not set";
            }
            m_db = m_database.uri;
        }
    }

    bool OnSqlite() const { return GetParam() == "sqlite"; }

    // Runs the program on the test's store, its backup in the scratch
    // folder, to its end; returns the exit status, its output in m_out and
    // m_err.
    int Run(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), {"--db", m_db, "--backup", m_directory + "/backup"});
        return CAgentProcess::Run(arguments, &m_out, &m_err);
    }

    const CScratchDirectory m_scratch;
    const std::string m_directory = m_scratch.path;
    const CScratchDatabase m_database;
    std::string m_db = m_directory + "/agent.db";
    std::string m_out;
    std::string m_err;
};

}  // namespace Kol::Host::Testing
