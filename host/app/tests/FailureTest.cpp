// Opening the store: its identity, its lock and the files beside it; start-up
// failures give a clear message, exit 2 or 3, and leave the store untouched.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <boost/filesystem/path.hpp>

#include "host/testing/CAgentProcess.h"
#include "host/testing/CScratchDirectory.h"
#include "host/testing/CTestStore.h"

namespace {

using Kol::Host::Testing::CAgentProcess;
using Kol::Host::Testing::CScratchDirectory;
using Kol::Host::Testing::CTestStore;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// The store's directory holds the store and nothing beside it.
const std::set<std::string> kStoreOnly = {"agent.db"};

class Failure : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(Run({"--seed-demo", "500"}), 0); }

    // Runs the program on this test's store (or, `onStore` false, with the
    // arguments alone); its output goes to m_out and m_err.
    int Run(std::vector<std::string> arguments, bool onStore = true) {
        if (onStore) {
            arguments.insert(arguments.begin(), {"--db", m_db});
        }
        return CAgentProcess::Run(arguments, &m_out, &m_err);
    }

    const CScratchDirectory m_scratch;
    const std::string m_directory = m_scratch.path;
    const std::string m_db = m_directory + "/agent.db";
    std::string m_out;
    std::string m_err;
};

TEST_F(Failure, APlugInThatCannotBeLoadedExitsThreeBeforeTheStoreIsOpened) {
    const std::string before = CTestStore::ReadFile(m_db);
    // A copy cut short would fault (SIGBUS) once mapped: it is refused before loading.
    const std::string plugin = CTestStore::ReadFile(CLEANUP_PLUGIN_PATH);
    const CScratchDirectory elsewhere;
    const std::string cut = elsewhere.path + "/libCut.so";
    CTestStore::WriteFile(cut, plugin.substr(0, plugin.size() / 2));
    std::string foreign = plugin;
    foreign[18] = static_cast<char>(foreign[18] ^ 1);  // e_machine
    CTestStore::WriteFile(elsewhere.path + "/libForeign.so", foreign);
    const std::string contracts =
        boost::filesystem::path(CLEANUP_PLUGIN_PATH).parent_path().parent_path().string() +
        "/libcleanup-contracts.so.1";
    const std::string folder = boost::filesystem::path(CLEANUP_PLUGIN_PATH).parent_path().string();
    const struct {
        std::string module;
        std::string reason;  // the message's start after "cannot load plug-in <module>: "
        std::string shown;   // the module the message names, when not `module`
    } cases[] = {
        {m_directory + "/libMissing.so", "No such file or directory", ""},
        {m_db, "it is not an ELF shared object", ""},
        {elsewhere.path + "/libForeign.so", "it is not a shared object for this machine", ""},
        {cut,
         "the file is cut short (" + std::to_string(plugin.size() / 2) +
             " bytes; its headers describe ",
         ""},
        // A whole library that is no plug-in: the class loader finds no manifest.
        {contracts, "", ""},
        // A name without a slash is a file of the plug-in folder, here none:
        // the library path, where a libsqlite3.so.0 is, is not searched.
        {"libsqlite3.so.0", "No such file or directory", folder + "/libsqlite3.so.0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run({"--module", c.module, "all"}), 3);
        EXPECT_THAT(m_err, StartsWith("cleanup-agent: cannot load plug-in " +
                                      (c.shown.empty() ? c.module : c.shown) + ": " + c.reason));
        EXPECT_EQ(std::count(m_err.begin(), m_err.end(), '\n'), 1) << m_err;
        EXPECT_EQ(m_out, "");
        EXPECT_EQ(CTestStore::ReadFile(m_db), before);
        EXPECT_EQ(CTestStore::Files(m_directory), kStoreOnly);
    }
    // The whole plug-in in the working directory is loaded by its path, and
    // the installed one by its bare name; the store is named by its absolute path.
    CTestStore::WriteFile(m_directory + "/plugin.so", plugin);
    for (const char* module : {"./plugin.so", "CleanupAgent"}) {
        CAgentProcess run({"--db", "agent.db", "--module", module, "indexes"}, nullptr,
                          m_directory);
        EXPECT_EQ(run.Wait(std::chrono::seconds(60)), 0) << run.Out() << run.Err();
        EXPECT_THAT(run.Out(), HasSubstr(" INFO host: store " + m_db + " open; "));
    }
}

// A user other than root on another user's store is told whose it is before
// any file is made beside it (the lock would be the first).
TEST_F(Failure, AStoreOfAnotherUserIsRefusedBeforeItsLock) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "only root can run the program as another user (nobody) here";
    }
    ASSERT_EQ(::chmod(m_directory.c_str(), 0755), 0);
    const std::string before = CTestStore::ReadFile(m_db);
    CAgentProcess run({"-u", "nobody", "--", CLEANUP_AGENT_PATH, "--db", m_db, "indexes"},
                      "/usr/sbin/runuser");
    EXPECT_EQ(run.Wait(std::chrono::seconds(60)), 3) << run.Out();
    EXPECT_EQ(run.Err(), "cleanup-agent: " + m_db +
                             " belongs to user root (uid 0); you are user nobody (uid 65534): "
                             "run cleanup-agent as the store's owner\n");
    EXPECT_EQ(CTestStore::ReadFile(m_db), before);
    EXPECT_EQ(CTestStore::Files(m_directory), kStoreOnly);
}

TEST_F(Failure, AnUnwritableDirectoryGivesAClearMessageAndNoFile) {
    // Root may write anywhere except in such pseudo file systems.
    std::string directory = m_directory + "/locked";
    if (::geteuid() == 0) {
        directory = "/proc/self";
    } else {
        ASSERT_EQ(::mkdir(directory.c_str(), 0555), 0);
    }
    const std::string db = directory + "/agent.db";
    EXPECT_EQ(Run({"--db", db, "--create", "all"}, false), 3);
    // The lock beside the store is the first file it would make.
    EXPECT_THAT(m_err, StartsWith("cleanup-agent: cannot create /"));
    EXPECT_THAT(m_err, HasSubstr("/agent.db.lock: "));
    EXPECT_EQ(m_out, "");
    EXPECT_FALSE(CTestStore::Exists(db));
}

TEST_F(Failure, EveryRefusalComesBeforeTheFirstWriteAndLeavesTheFileAsItWas) {
    const std::string ours = CTestStore::ReadFile(m_db);
    // An earlier build's store: no identity, and the tables of schema version 1.
    const std::string earlier =
        "PRAGMA application_id = 0; PRAGMA user_version = 0; DROP TABLE run_history;";
    const std::string notOurs = m_db + " is not a cleanup-agent store";
    const std::string usage = "\nTry 'cleanup-agent --help'.";
    std::string garbage;
    for (int i = 0; i < 4096; ++i) {
        garbage += static_cast<char>(i * 7 + 3);
    }
    const CScratchDirectory elsewhere;
    const std::string notes = elsewhere.path + "/notes.db";
    CTestStore(notes).Execute("CREATE TABLE notes(text TEXT)");
    const std::string noteBytes = CTestStore::ReadFile(notes);
    // Opening a FIFO for reading waits for a writer: a backup there must not.
    const std::string fifo = elsewhere.path + "/backup.fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // Configuration files and a plug-in that someone else could replace.
    const std::string conf = elsewhere.path + "/", open = conf + "open",
                      uid = std::to_string(::geteuid());
    CTestStore::WriteFile(conf + "bom.conf",
                          "\xef\xbb\xbf"
                          "batch-rows = x\n");
    CTestStore::WriteFile(conf + "bad.conf", "b\xff\xc3 = 1\n");
    CTestStore::WriteFile(conf + "others.conf", "");
    CTestStore::WriteFile(conf + "nobody.conf", "");
    ASSERT_EQ(::chmod((conf + "others.conf").c_str(), 0666) |
                  ::chown((conf + "nobody.conf").c_str(), 65534, 0) | ::mkdir(open.c_str(), 0777) |
                  ::chmod(open.c_str(), 0777),
              0);
    CTestStore::WriteFile(open + "/lib.so", CTestStore::ReadFile(CLEANUP_PLUGIN_PATH));
    const std::string
        bad = "bad owner or permissions on ",
        mustBe = "): it must belong to root or to this user and be writable by no one else";
    const struct {
        std::string file;    // the store's bytes
        std::string change;  // SQL on them, if any
        std::vector<std::string> arguments;
        int status;
        std::string message;
    } cases[] = {
        // clang-format off
        // Usage errors: two lines, exit 2.
        {ours, "", {"--request", "a,b,c", "all"}, 2,
         "--request: \"a\" is not a UUID (expected 8-4-4-4-12 hexadecimal digits)" + usage},
        {ours, "", {"old-logs", "2147483648"}, 2,
         "operation 2147483648 is not a 32-bit value" + usage},
        {ours, "", {"-x"}, 2, "unrecognised option '-x'" + usage},
        // No database at all is as foreign as another program's database.
        {garbage, "", {"all"}, 3, notOurs},
        {"milk\neggs\n", "", {"all"}, 3, notOurs},
        {ours, "DROP TABLE owners; CREATE TABLE customers(name TEXT);" + earlier, {"all"}, 3,
         notOurs},
        {ours, "ALTER TABLE logs DROP COLUMN symbols;" + earlier, {"old-logs"}, 3, notOurs},
        {ours, "PRAGMA application_id = 7;", {"all"}, 3, notOurs},
        {"", "", {"all"}, 3, notOurs},
        {ours, "PRAGMA user_version = 3;", {"all"}, 3,
         m_db + " was made by a newer cleanup-agent (schema version 3; this one knows up to 2)"},
        // A store of an earlier build is marked only after its settings passed.
        {ours, "INSERT INTO settings VALUES ('retention_days_1', '30d');" + earlier, {"old-logs"},
         3, "cannot use store " + m_db +
             ": store setting retention_days_1: \"30d\" is not a number of days from 0 to 65535"},
        {ours, "INSERT INTO settings VALUES ('max_event_logs_per_type', ' 5');", {"event-logs"}, 3,
         "cannot use store " + m_db +
             ": store setting max_event_logs_per_type: \" 5\" is not a count of logs"},
        {ours, "", {"--seed-demo", "100"}, 2,
         "--seed-demo: " + m_db + " already holds 500 logs; seed only a new or empty store"},
        // A chosen backup never replaces someone else's file nor the store's own.
        {ours, "", {"--backup", notes, "storage"}, 3, "--backup: " + notes +
             " exists and is not a backup of a cleanup-agent store; it is left as it is"},
        {ours, "", {"--backup", m_db + "-wal", "storage"}, 3,
         "--backup: " + m_db + "-wal is the store's own file"},
        {ours, "", {"--backup", fifo, "storage"}, 3,
         "--backup: " + fifo + " exists and is not a regular file; it is left as it is"},
        // Code that is not ours would run with the agent's rights on its deletes.
        {ours, "CREATE TRIGGER wipe AFTER DELETE ON logs BEGIN DELETE FROM static_objects; END;"
         "CREATE VIEW v AS SELECT 1;", {"old-logs"}, 3, m_db + " holds schema objects cleanup-agent "
         "did not make (trigger wipe, view v); they would run with its rights on its deletes, so "
         "the store is left as it is"},
        {ours, "", {"--config", conf + "others.conf", "all"}, 3, bad + conf + "others.conf (owner uid " + uid + ", mode 0666" + mustBe},
        {ours, "", {"--config", conf + "nobody.conf", "all"}, 3, bad + conf + "nobody.conf (owner uid 65534, mode 0644" + mustBe},
        {ours, "", {"--module", open + "/lib.so", "all"}, 3, bad + open + " (owner uid " + uid + ", mode 0777" + mustBe},
        {ours, "", {"--config", elsewhere.path, "all"}, 2, "--config: " + elsewhere.path + " is not a regular file" + usage},
        // A byte order mark is skipped; bytes that are not UTF-8 are shown escaped.
        {ours, "", {"--config", conf + "bom.conf", "all"}, 2, conf + "bom.conf:1: --batch-rows: \"x\" is not a number of rows from 1 to 10000" + usage},
        {ours, "", {"--config", conf + "bad.conf", "all"}, 2, conf + "bad.conf:1: unrecognised option 'b\\xff\\xc3'" + usage},
        // clang-format on
    };
    for (const auto& c : cases) {
        CTestStore::WriteFile(m_db, c.file);
        if (!c.change.empty()) {
            CTestStore(m_db).Execute(c.change);
        }
        const std::string before = CTestStore::ReadFile(m_db);
        EXPECT_EQ(Run(c.arguments), c.status) << c.message;
        EXPECT_EQ(m_err, "cleanup-agent: " + c.message + "\n");
        EXPECT_EQ(m_out, "") << c.message;
        EXPECT_EQ(CTestStore::ReadFile(m_db) == before, true) << c.message;
        EXPECT_EQ(CTestStore::Files(m_directory), kStoreOnly) << c.message;
    }
    EXPECT_EQ(CTestStore::ReadFile(notes), noteBytes);

    // A relative name is shown absolute, where it was looked for.
    CAgentProcess relative({"--db", "typo.db", "old-logs"}, nullptr, m_directory);
    EXPECT_EQ(relative.Wait(std::chrono::seconds(60)), 3);
    EXPECT_EQ(relative.Err(), "cleanup-agent: no store at " + m_directory +
                                  "/typo.db (use --create to make one)\n");
    // An absent store is made only when asked, and never by a dry run. A
    // newline in its name does not forge a second line.
    const std::string absent = m_directory + "/typo\n2026-01-01T00:00:00.000Z ERROR host: x.db";
    for (const bool dryRun : {false, true}) {
        std::vector<std::string> arguments = {"--db", absent, "old-logs"};
        if (dryRun) {
            arguments.insert(arguments.end(), {"--dry-run", "--create"});
        }
        EXPECT_EQ(Run(arguments, false), 3);
        EXPECT_EQ(m_err,
                  "cleanup-agent: no store at " + m_directory +
                      "/typo\\n2026-01-01T00:00:00.000Z ERROR host: x.db" +
                      (dryRun ? " (a dry run creates none)\n" : " (use --create to make one)\n"));
        EXPECT_EQ(CTestStore::ReadFile(m_db), ours);
        EXPECT_EQ(CTestStore::Files(m_directory), kStoreOnly);
        EXPECT_FALSE(CTestStore::Exists(absent));
    }
}

TEST_F(Failure, NothingMoreIsWrittenToAStoreFoundDamaged) {
    std::int64_t root = 0;
    {
        CTestStore store(m_db);
        root = store.Int("SELECT rootpage FROM sqlite_master WHERE name = 'logs'");
        ASSERT_GT(store.Int("SELECT count(*) FROM static_objects WHERE deleted = 1"), 0);
    }
    std::string bytes = CTestStore::ReadFile(m_db);
    const std::size_t page = 4096;
    ASSERT_GE(bytes.size(), static_cast<std::size_t>(root) * page);
    bytes.replace(static_cast<std::size_t>(root - 1) * page, page, std::string(page, '\x5a'));
    CTestStore::WriteFile(m_db, bytes);
    CTestStore::WriteFile(m_db + ".bak", "the previous backup");

    // Kind 1: the status event of the start goes to the log before the
    // damage shows; the store file itself is never written.
    EXPECT_EQ(Run({"replicated-logs", "static-objects", "storage"}), 1) << m_out << m_err;
    const std::string damaged =
        ": the store is damaged: database disk image is malformed; nothing more was changed; "
        "check it with PRAGMA integrity_check and restore from " +
        m_db + ".bak\n";
    for (const auto& [call, end] :
         {std::make_pair("replicated-logs", std::string(": database disk image is malformed\n")),
          std::make_pair("static-objects", damaged), std::make_pair("storage", damaged)}) {
        const std::string::size_type at =
            m_out.find(std::string("ERROR host: ") + call + ": failed after ");
        ASSERT_NE(at, std::string::npos) << call << m_out;
        EXPECT_THAT(m_out.substr(at, m_out.find('\n', at) - at + 1), EndsWith(end));
    }
    EXPECT_THAT(m_out, HasSubstr(" WARNING host: summary: not run: static-objects (the store is "
                                 "damaged), storage (the store is damaged)\n"));
    EXPECT_EQ(CTestStore::ReadFile(m_db) == bytes, true);
    EXPECT_EQ(CTestStore::ReadFile(m_db + ".bak"), "the previous backup");
}

// A disk with room for little more than one batch: the log is copied back
// after every batch and reused, so old-logs still takes every old row.
TEST_F(Failure, ADiskWithRoomForOneBatchStillTakesEveryOldLog) {
    const std::string db = m_directory + "/big.db";
    ASSERT_EQ(Run({"--db", db, "--seed-demo", "5000"}, false), 0);
    const std::string cutoff = std::to_string(std::time(nullptr)) +
                               " - CASE retention_class WHEN 1 THEN 30 WHEN 2 THEN 90 WHEN 3 THEN"
                               " 180 WHEN 4 THEN 365 ELSE 730 END * 86400",
                      old = "SELECT count(*) FROM logs WHERE created_at < " + cutoff;
    CTestStore(db).Execute("DELETE FROM logs WHERE abs(created_at - (" + cutoff + ")) < 600");
    const std::int64_t all = CTestStore(db).Int("SELECT count(*) FROM logs"),
                       gone = CTestStore(db).Int(old);
    ASSERT_GT(gone, 1000);
    EXPECT_EQ(Run({"--db", db, "--inject-disk-space", "300000", "--batch-rows", "100",
                   "--retention", "30,90,180,365,730", "old-logs"},
                  false),
              0)
        << m_out << m_err;
    CTestStore store(db);
    EXPECT_EQ(store.Text("PRAGMA integrity_check"), "ok");
    EXPECT_EQ(store.Int("SELECT count(*) FROM logs"), all - gone);
    EXPECT_EQ(store.Int(old), 0);
}

TEST_F(Failure, StoresAreStampedAndThoseOfEarlierBuildsMarkedOrMigrated) {
    {
        CTestStore store(m_db);
        EXPECT_EQ(store.Int("PRAGMA application_id"), 0x4B4F4C43);
        EXPECT_EQ(store.Int("PRAGMA user_version"), 2);
    }
    const struct {
        std::string change;
        std::string line;
    } cases[] = {
        {"PRAGMA application_id = 0; PRAGMA user_version = 0; DROP INDEX logs_ignored;"
         " DROP TABLE run_history;",
         "marked the store of an earlier cleanup-agent as ours (application id 1263488067, "
         "schema version 2)"},
        {"PRAGMA user_version = 0; DROP INDEX logs_ignored;",
         "migrated the store from schema version 0 to 2"},
    };
    for (const auto& c : cases) {
        CTestStore(m_db).Execute(c.change);
        EXPECT_EQ(Run({"indexes"}), 0) << m_out;
        EXPECT_EQ(m_out.substr(25, m_out.find('\n') - 25), "INFO host: " + c.line);
        CTestStore store(m_db);
        EXPECT_EQ(store.Int("PRAGMA application_id"), 0x4B4F4C43);
        EXPECT_EQ(store.Int("PRAGMA user_version"), 2);
        EXPECT_EQ(store.Int("SELECT count(*) FROM sqlite_master WHERE name = 'logs_ignored'"), 1);
        EXPECT_EQ(store.Int("SELECT count(*) FROM sqlite_master WHERE name = 'run_history'"), 1);
    }
}

TEST_F(Failure, OneRunPerStoreAtATimeAndItsFilesGoBesideTheRealFile) {
    // Another run holds the lock (this test, with a pid of its choice).
    const std::string lockPath = m_db + ".lock";
    const int lock = ::open(lockPath.c_str(), O_RDWR | O_CREAT, 0600);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX), 0);
    ASSERT_EQ(::write(lock, "4242", 4), 4);
    EXPECT_EQ(Run({"storage"}), 3);
    EXPECT_EQ(m_err, "cleanup-agent: another cleanup-agent (pid 4242) is cleaning " + m_db + "\n");
    EXPECT_FALSE(CTestStore::Exists(m_db + ".bak"));
    // With --wait it goes on once the other run lets go.
    CAgentProcess waiting({"--db", m_db, "--wait", "60", "storage"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::unlink(lockPath.c_str());
    ::close(lock);
    EXPECT_EQ(waiting.Wait(std::chrono::seconds(60)), 0) << waiting.Out() << waiting.Err();
    EXPECT_TRUE(CTestStore::Exists(m_db + ".bak"));
    EXPECT_FALSE(CTestStore::Exists(lockPath));

    // A symbolic link: the backup and the lock go beside the file itself.
    const CScratchDirectory otherScratch;
    const std::string other = otherScratch.path;
    // A lock is never followed through a link, nor touched for a store that
    // is not ours, nor removed by a run that did not make it; log lines never
    // go into it when standard output is closed.
    CTestStore::WriteFile(other + "/secret", "secret");
    ASSERT_EQ(::symlink((other + "/secret").c_str(), lockPath.c_str()), 0);
    EXPECT_EQ(Run({"storage"}), 3);
    EXPECT_EQ(m_err, "cleanup-agent: cannot create " + lockPath +
                         ": it is a symbolic link; it is left as it is\n");
    ::unlink(lockPath.c_str());
    CTestStore::WriteFile(other + "/app.db", "not a store");
    CTestStore::WriteFile(other + "/app.db.lock", "1");
    EXPECT_EQ(Run({"--db", other + "/app.db", "storage"}, false), 3);
    CTestStore::WriteFile(lockPath, "1");
    CAgentProcess closed(
        {"-c", "exec \"$0\" \"$@\" >&-", CLEANUP_AGENT_PATH, "--db", m_db, "indexes"}, "/bin/sh");
    EXPECT_EQ(closed.Wait(std::chrono::seconds(60)), 0) << closed.Err();
    for (const auto& [kept, bytes] :
         {std::make_pair(other + "/secret", "secret"), std::make_pair(other + "/app.db.lock", "1"),
          std::make_pair(lockPath, "[0-9]+")}) {
        EXPECT_THAT(CTestStore::ReadFile(kept), ::testing::MatchesRegex(bytes)) << kept;
    }
    ::unlink(lockPath.c_str());
    // A result that cannot be written is a failure.
    CAgentProcess full({"-c", "exec \"$0\" \"$@\" >/dev/full", CLEANUP_AGENT_PATH, "--db", m_db,
                        "--output", "json", "indexes"},
                       "/bin/sh");
    EXPECT_EQ(full.Wait(std::chrono::seconds(60)), 1);
    EXPECT_THAT(
        full.Err(),
        EndsWith("cleanup-agent: cannot write to standard output: No space left on device\n"));
    ASSERT_EQ(::symlink(m_db.c_str(), (other + "/link.db").c_str()), 0);
    EXPECT_EQ(CAgentProcess::Run({"--db", other + "/link.db", "storage"}), 0);
    EXPECT_FALSE(CTestStore::Exists(other + "/link.db.bak"));
    EXPECT_FALSE(CTestStore::Exists(other + "/link.db.lock"));

    // A name that looks like an SQLite URI is a plain file name.
    CAgentProcess uri({"--db", "file:agent.db?psow=1", "--create", "storage"}, nullptr,
                      m_directory);
    EXPECT_EQ(uri.Wait(std::chrono::seconds(60)), 0) << uri.Out() << uri.Err();
    EXPECT_TRUE(CTestStore::Exists(m_directory + "/file:agent.db?psow=1.bak"));
    // The runs through the name and the link cleaned agent.db, not this one.
    EXPECT_EQ(CTestStore(m_db).Int("SELECT count(*) FROM status_events"), 8);
}

}  // namespace
