// The files a run keeps beside the store, on real files in a scratch folder:
// what is made, with which mode, and what is left alone.

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "host/store/CStoreFiles.h"
#include "host/testing/CScratchDirectory.h"
#include "host/testing/CTestStore.h"

namespace {

using Kol::Host::CStoreFiles;
using Kol::Host::Testing::CScratchDirectory;
using Kol::Host::Testing::CTestStore;
using ::testing::MatchesRegex;
using ::testing::ThrowsMessage;

class StoreFiles : public ::testing::Test {
protected:
    void SetUp() override {
        CTestStore::WriteFile(m_store, "store");
        ASSERT_EQ(::chmod(m_store.c_str(), 0640), 0);
    }
    static mode_t Mode(const std::string& path) {
        struct stat status {};
        return ::stat(path.c_str(), &status) == 0 ? status.st_mode & 0777 : 0;
    }

    const CScratchDirectory m_scratch;
    const std::string m_store = m_scratch.path + "/agent.db";
};

TEST_F(StoreFiles, MadeFilesTakeTheStoresModeAndNeverReplaceAnothersFile) {
    ASSERT_EQ(::symlink(m_store.c_str(), (m_scratch.path + "/link.db").c_str()), 0);
    ASSERT_EQ(::mkfifo((m_scratch.path + "/fifo").c_str(), 0600), 0);
    EXPECT_EQ(CStoreFiles::RealPath(m_scratch.path + "/link.db"), CStoreFiles::RealPath(m_store));

    std::string made = m_store + ".bak";
    bool isNew = false;
    ::close(CStoreFiles::Create(m_store, made, false, &isNew));
    EXPECT_TRUE(isNew);
    EXPECT_EQ(Mode(made), 0640u);
    CTestStore::WriteFile(made, "kept");
    ::close(CStoreFiles::Create(m_store, made, false, &isNew));
    EXPECT_FALSE(isNew);
    EXPECT_EQ(CTestStore::ReadFile(made), "kept");
    std::string temporary = m_store + ".bak.tmp-";
    ::close(CStoreFiles::Create(m_store, temporary, true));
    EXPECT_THAT(temporary, MatchesRegex(".*/agent\\.db\\.bak\\.tmp-[A-Za-z0-9]{6}"));
    EXPECT_EQ(Mode(temporary), 0640u);

    for (const char* name : {"/link.db", "/fifo"}) {
        std::string path = m_scratch.path + name;
        EXPECT_THAT([&] { CStoreFiles::Create(m_store, path, false); },
                    ThrowsMessage<std::runtime_error>(
                        "cannot create " + path +
                        (name[1] == 'l' ? ": it is a symbolic link; it is left as it is"
                                        : ": it is not a regular file; it is left as it is")));
    }
}

TEST_F(StoreFiles, OnlyTheTemporariesThisProgramMakesAreRemoved) {
    const std::string backup = m_scratch.path + "/agent.db.bak";
    for (const char* name : {"agent.db.bak.tmp", "agent.db.bak.tmp-Ab12cD", "agent.db.bak.tmp-wal",
                             "agent.db.bak.tmp-Ab12cD-journal", "agent.db.bak.tmp-Ab12c",
                             "agent.db.bak.tmp.old", "agent.db.bak", "agentXdb.bak.tmp"}) {
        CTestStore::WriteFile(m_scratch.path + "/" + name, "x");
    }
    EXPECT_EQ(CStoreFiles::RemoveStaleTemporaries(backup), 4);
    EXPECT_EQ(CTestStore::Files(m_scratch.path),
              (std::set<std::string>{"agent.db", "agent.db.bak", "agent.db.bak.tmp-Ab12c",
                                     "agent.db.bak.tmp.old", "agentXdb.bak.tmp"}));
}

TEST_F(StoreFiles, AChosenBackupIsNeverTheStoreNorSomeoneElsesFile) {
    const std::string other = m_scratch.path + "/other";
    CTestStore::WriteFile(other, "SQLite format 3");
    const std::string refused = "--backup: " + other + " exists and is not ";
    const struct {
        std::string backup;
        std::string error;  // "" when it may be written
    } cases[] = {
        {m_store + "-wal", "--backup: " + m_store + "-wal is the store's own file"},
        {m_store + ".lock", "--backup: " + m_store + ".lock is the store's own file"},
        {m_scratch.path + "/absent", ""},
        {other, refused + "a backup of a cleanup-agent store; it is left as it is"},
    };
    for (const auto& c : cases) {
        if (c.error.empty()) {
            EXPECT_NO_THROW(CStoreFiles::CheckChosenBackup(m_store, c.backup));
            EXPECT_NO_THROW(CStoreFiles::CheckChosenDump(c.backup));
        } else {
            EXPECT_THAT([&] { CStoreFiles::CheckChosenBackup(m_store, c.backup); },
                        ThrowsMessage<std::invalid_argument>(c.error));
        }
    }
    EXPECT_THAT(
        [&] { CStoreFiles::CheckChosenDump(other); },
        ThrowsMessage<std::invalid_argument>(refused + "a pg_dump archive; it is left as it is"));
}

}  // namespace
