#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <boost/optional.hpp>

#include "host/store/StoreOptions.h"
#include "host/store/sqlite/CSqliteStore.h"
#include "host/store/sqlite/CStoreLock.h"
#include "host/testing/CScratchDirectory.h"
#include "host/testing/CTestStore.h"

namespace {

using Kol::Host::CSqliteStore;
using Kol::Host::CStoreLock;
using Kol::Host::StoreOptions;
using Kol::Host::Testing::CScratchDirectory;
using Kol::Host::Testing::CTestStore;
using ::testing::ThrowsMessage;

TEST(StoreLock, TakenOnlyWhenFreeAndItsFileRemovedOnlyByTheRunThatMadeIt) {
    const std::string pid = std::to_string(::getpid());
    const struct {
        boost::optional<std::string> left;  // the lock file's content beforehand
        bool held;                          // another run keeps it locked
        std::chrono::seconds wait;
        std::string refusal;                 // the holder named; "" when taken
        boost::optional<std::string> after;  // the file's content once let go
    } cases[] = {
        {boost::none, false, std::chrono::seconds(0), "", boost::none},
        // Left by a killed run: taken, and kept (it may be someone else's).
        {std::string("999999"), false, std::chrono::seconds(0), "", pid},
        {std::string("4242"), true, std::chrono::seconds(0), "pid 4242", std::string("4242")},
        // A signal ends the wait at once.
        {std::string(), true, std::chrono::seconds(600), "pid unknown", std::string()},
    };
    for (const auto& c : cases) {
        const CScratchDirectory scratch;
        const std::string store = scratch.path + "/agent.db";
        const std::string path = store + ".lock";
        if (c.left) {
            CTestStore::WriteFile(path, *c.left);
        }
        const int other = c.held ? ::open(path.c_str(), O_RDWR) : -1;
        ASSERT_TRUE(!c.held || ::flock(other, LOCK_EX) == 0) << c.refusal;
        const auto take = [&] {
            return std::unique_ptr<CStoreLock>(new CStoreLock(store, c.wait, [] { return true; }));
        };
        if (!c.refusal.empty()) {
            EXPECT_THAT(take,
                        ThrowsMessage<std::runtime_error>("another cleanup-agent (" + c.refusal +
                                                          ") is cleaning " + store));
        } else {
            const std::unique_ptr<CStoreLock> lock = take();
            EXPECT_EQ(CTestStore::ReadFile(path), pid);
        }
        ::close(other);
        EXPECT_EQ(CTestStore::Exists(path) ? CTestStore::ReadFile(path) : "(none)",
                  c.after.value_or("(none)"))
            << c.refusal;
    }
}

TEST(StoreLock, IsTheSqliteStoresOwnFromItsFirstWriteToItsEnd) {
    const CScratchDirectory scratch;
    StoreOptions options;
    options.db = scratch.path + "/agent.db";
    CSqliteStore first(options);  // a new file: locked before it is made
    first.FinishOpening();
    CSqliteStore second(options);  // reads only
    EXPECT_THAT([&] { second.FinishOpening(); },
                ThrowsMessage<std::invalid_argument>("another cleanup-agent (pid " +
                                                     std::to_string(::getpid()) + ") is cleaning " +
                                                     second.GetPath()));
}

}  // namespace
