#include "framework/module/CSubscriber.h"

#include <stdexcept>

#include <gtest/gtest.h>
#include <boost/function/function_base.hpp>
#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>

#include "framework/logs/tests/TestSupport.h"
#include "framework/security/CUserContext.h"
#include "tests/kernel/CTestMessage.h"
#include "tests/kernel/WaitUntil.h"

namespace Kol::Common::Module {
namespace {

using Testing::CTestMessage;

Kernel::IMessagePtr Message(const char* name) {
    return boost::make_shared<CTestMessage>(static_cast<Kernel::MessageType>(7), name);
}

// The name of the next queued message, or "" when TakeNext gives nothing.
std::string Take(CSubscriber& subscriber) {
    Kernel::ISubscriber::QueueEntry entry;
    return subscriber.TakeNext(entry) ? entry.first->GetName() : "";
}

TEST(CSubscriber, DescribeQueueAndForEachQueuedFollowQueueOrder) {
    int restarts = 0;
    CSubscriber subscriber("CCleanupModule", [&] { ++restarts; });
    std::string text = "stale";
    EXPECT_TRUE(subscriber.DescribeQueue(text));
    EXPECT_EQ(text, "");
    // Nothing queued: an empty visitor is never called.
    EXPECT_NO_THROW(subscriber.ForEachQueued(Kernel::ISubscriber::QueueVisitor()));

    const Security::CUserContextPtr first = boost::make_shared<Security::CUserContext>();
    const Security::CUserContextPtr second = boost::make_shared<Security::CUserContext>();
    subscriber.OnMessage(Message("A"), first);
    subscriber.OnMessage(Message("B"), second);
    subscriber.OnMessage(Message("A"), Security::CUserContextPtr());
    EXPECT_FALSE(subscriber.DescribeQueue(text));
    EXPECT_EQ(text, "CCleanupModule:A,B,A");
    EXPECT_EQ(subscriber.GetQueueSize(), 3u);

    typedef std::pair<std::string, Security::CUserContextPtr> Seen;
    std::vector<Seen> seen;
    subscriber.ForEachQueued([&](const Kernel::ISubscriber::QueueEntry& entry) {
        seen.emplace_back(entry.first->GetName(), entry.second);
    });
    EXPECT_EQ(seen, (std::vector<Seen>{{"A", first}, {"B", second}, {"A", nullptr}}));
    EXPECT_THROW(subscriber.ForEachQueued(Kernel::ISubscriber::QueueVisitor()),
                 boost::bad_function_call);
    // Never exited, so no message asked for a thread.
    EXPECT_EQ(restarts, 0);
}

TEST(CSubscriber, ExitedFlagDecidesWhoStartsTheThread) {
    int restarts = 0;
    CSubscriber subscriber("S", [&] { ++restarts; });
    EXPECT_TRUE(subscriber.IsWaiting());
    EXPECT_FALSE(subscriber.IsExited());

    // Arming with nothing queued leaves it to the next message.
    subscriber.Arm();
    EXPECT_TRUE(subscriber.IsExited());
    EXPECT_EQ(restarts, 0);
    subscriber.OnMessage(Message("A"), Security::CUserContextPtr());
    EXPECT_FALSE(subscriber.IsExited());
    EXPECT_EQ(restarts, 1);
    // The thread now counts as started: further messages only queue.
    subscriber.OnMessage(Message("B"), Security::CUserContextPtr());
    EXPECT_EQ(restarts, 1);

    // Arming with work queued starts the thread at once.
    subscriber.Arm();
    EXPECT_FALSE(subscriber.IsExited());
    EXPECT_EQ(restarts, 2);

    // Busy while something is queued; a taken entry clears waiting until the
    // next TakeNext.
    EXPECT_FALSE(subscriber.PrepareGracefulStop(true));
    EXPECT_EQ(Take(subscriber), "A");
    EXPECT_EQ(Take(subscriber), "B");
    EXPECT_FALSE(subscriber.IsWaiting());
    EXPECT_EQ(subscriber.GetQueueSize(), 0u);
    EXPECT_FALSE(subscriber.PrepareGracefulStop(true));
}

TEST(CSubscriber, GracefulStopEndsAWaitingThreadOrClearsExited) {
    CSubscriber subscriber("S", [] {});

    // A thread that left for lack of work: the exited flag is cleared, so the
    // next message starts nothing.
    subscriber.Arm();
    ASSERT_TRUE(subscriber.IsExited());
    EXPECT_TRUE(subscriber.PrepareGracefulStop(false));
    EXPECT_FALSE(subscriber.IsExited());

    // No thread at all: no stop request may be left behind, or it would end
    // the next thread before its first message.
    EXPECT_TRUE(subscriber.PrepareGracefulStop(false));
    subscriber.OnMessage(Message("A"), Security::CUserContextPtr());
    EXPECT_EQ(Take(subscriber), "A");
    EXPECT_FALSE(subscriber.PrepareGracefulStop(true));  // A is being processed

    // A waiting thread is told to leave, and the request is used up.
    bool taken = true;
    boost::thread waiter([&] {
        Kernel::ISubscriber::QueueEntry mine;
        taken = subscriber.TakeNext(mine);
    });
    ASSERT_TRUE(Testing::WaitUntil([&] { return subscriber.IsWaiting(); }));
    EXPECT_TRUE(subscriber.PrepareGracefulStop(true));
    ASSERT_TRUE(waiter.try_join_for(boost::chrono::seconds(10)));
    EXPECT_FALSE(taken);
    EXPECT_FALSE(subscriber.IsExited());
    subscriber.OnMessage(Message("B"), Security::CUserContextPtr());
    EXPECT_EQ(Take(subscriber), "B");
}

TEST(CSubscriber, FailedRestartLetsTheNextMessageTryAgain) {
    int attempts = 0;
    CSubscriber subscriber("S", [&] {
        if (++attempts == 1) {
            throw std::runtime_error("no thread today");
        }
    });
    subscriber.Arm();
    // The restart failure reaches the caller.
    EXPECT_EQ(Logs::Test::ErrorText<std::runtime_error>(
                  [&] { subscriber.OnMessage(Message("A"), Security::CUserContextPtr()); }),
              "no thread today");
    EXPECT_EQ(subscriber.GetQueueSize(), 1u);
    EXPECT_TRUE(subscriber.IsExited());
    subscriber.OnMessage(Message("B"), Security::CUserContextPtr());
    EXPECT_EQ(attempts, 2);
    EXPECT_EQ(subscriber.GetQueueSize(), 2u);

    CSubscriber withoutCallback("S", CSubscriber::RestartCallback());
    withoutCallback.Arm();
    EXPECT_THROW(withoutCallback.OnMessage(Message("A"), Security::CUserContextPtr()),
                 boost::bad_function_call);
}

}  // namespace
}  // namespace Kol::Common::Module
