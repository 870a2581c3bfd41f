#include <memory>
#include <stdexcept>
#include <utility>

#include <gtest/gtest.h>
#include <boost/function/function_base.hpp>
#include <boost/make_shared.hpp>
#include <boost/system/error_code.hpp>

#include "framework/logs/tests/TestSupport.h"
#include "framework/module/CSubscriber.h"
#include "framework/module/tests/CProbeModule.h"
#include "framework/security/CurrentUserContext.h"
#include "tests/kernel/CTestKernel.h"
#include "tests/kernel/WaitUntil.h"

namespace Kol::Testing {
namespace {

using namespace Common;
using Common::Module::CSubscriber;
using Common::Security::CUserContext;
using Common::Security::CUserContextPtr;
typedef std::vector<CTestLogger::Record> Lines;

struct Fixture {
    Fixture() : module(new CProbeModule()) { module->Initialize(kernel.provider); }

    void Deliver(int serial, const CUserContextPtr& context = CUserContextPtr()) {
        kernel.bus->Deliver(boost::make_shared<CTestMessage>(2, "Probe", serial), context);
    }

    bool Idle() const {
        return module->Subscriber()->IsWaiting() && module->Subscriber()->GetQueueSize() == 0;
    }
    bool Handled(std::size_t count) const { return module->WaitForHandled(count); }
    // A graceful stop once the thread waits with nothing queued.
    bool StopWhenIdle() const {
        return WaitUntil([&] { return Idle(); }) && module->Stop(false);
    }

    CTestKernel kernel;
    std::unique_ptr<CProbeModule> module;
};
class ProcessingThread : public ::testing::Test, public Fixture {};

TEST_F(ProcessingThread, StartsOnDemandReusesTheWaitingThreadAndAdoptsEachSendersContext) {
    EXPECT_FALSE(module->Holder()->HasThread());
    module->Start();
    EXPECT_FALSE(module->Holder()->HasThread());
    EXPECT_TRUE(module->Subscriber()->IsExited());

    const CUserContextPtr alice = boost::make_shared<CUserContext>();
    const CUserContextPtr bob = boost::make_shared<CUserContext>();
    Deliver(1, alice);
    Deliver(2, bob);
    ASSERT_TRUE(Handled(2));
    EXPECT_TRUE(module->Holder()->HasThread());
    ASSERT_TRUE(WaitUntil([&] { return Idle(); }));
    Deliver(3, alice);
    ASSERT_TRUE(Handled(3));

    EXPECT_EQ(module->HandledSerials(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(module->HandledField(&CProbeModule::Handled::context),
              (std::vector<CUserContextPtr>{alice, bob, alice}));
    // One thread of the module's own, not the delivering (kernel) thread.
    const std::vector<int> threads = module->HandledField(&CProbeModule::Handled::threadSerial);
    EXPECT_EQ(threads, std::vector<int>(3, threads.at(0)));
    EXPECT_NE(threads[0], ThreadSerial());
    EXPECT_TRUE(kernel.logger->Records().empty());
    EXPECT_TRUE(module->Stop(true));
}

// The only test that waits out the idle time-out (5 seconds).
TEST_F(ProcessingThread, IdleThreadLeavesAfterFiveSecondsAndTheNextMessageStartsANewOne) {
    module->Start();
    // The thread's wait begins after this point, so it cannot end sooner than
    // 5 seconds later (both clocks are the monotonic one).
    const auto delivered = std::chrono::steady_clock::now();
    Deliver(1);
    ASSERT_TRUE(Handled(1));
    ASSERT_TRUE(WaitUntil([&] { return module->Subscriber()->IsExited(); },
                          std::chrono::milliseconds(15000)));
    EXPECT_GE(std::chrono::steady_clock::now() - delivered, std::chrono::seconds(5));
    // The ended thread is kept until the next restart joins it.
    EXPECT_TRUE(module->Holder()->HasThread());
    Deliver(2);
    ASSERT_TRUE(Handled(2));
    const std::vector<int> threads = module->HandledField(&CProbeModule::Handled::threadSerial);
    EXPECT_NE(threads.at(1), threads[0]);
    EXPECT_FALSE(module->Subscriber()->IsExited());
    EXPECT_TRUE(kernel.logger->Records().empty());
    // The handler has run; the thread may not be back waiting yet.
    EXPECT_TRUE(StopWhenIdle());
}

TEST_F(ProcessingThread, FailuresAreLoggedAtErrorLevelAndTheNextMessageIsProcessed) {
    module->onHandle = [](const CTestMessage& message) {
        if (message.GetSerial() == 1) {
            throw std::runtime_error("handler failed on 1");
        }
    };
    module->Start();
    Deliver(1);
    // The bus only delivers subscribed types; the kernel may still hand over
    // anything, so the subscriber is called directly for the odd ones.
    module->Subscriber()->OnMessage(boost::make_shared<CTestMessage>(5, "Stray"), nullptr);
    // A message of the subscribed type that is not a CTestMessage.
    module->Subscriber()->OnMessage(MakeCleanupRequest(), nullptr);
    Deliver(4);
    ASSERT_TRUE(Handled(2));
    ASSERT_TRUE(WaitUntil([&] { return kernel.logger->Records().size() >= 3; }));
    EXPECT_EQ(module->HandledSerials(), (std::vector<int>{1, 4}));
    EXPECT_EQ(kernel.logger->Records(),
              (Lines{
                  {"handler failed on 1", 4, CProbeModule::kName},
                  {"No function call was found for received message type", 4, CProbeModule::kName},
                  {"Bad mapping of request type and message type", 4, CProbeModule::kName},
              }));
    EXPECT_TRUE(StopWhenIdle());
}

TEST_F(ProcessingThread, ForcedStopInterruptsTheHandlerAndReportsTheQueuedMessages) {
    const std::pair<std::uint64_t, Lines> cases[] = {
        // queued, lines
        {2, {{"There were 2 messages left unprocessed in a queue", 1, CProbeModule::kName}}},
        {0, {}},
    };
    for (const auto& [queued, lines] : cases) {
        SCOPED_TRACE(queued);
        Fixture f;
        CGate gate;
        bool interrupted = false;
        f.module->onHandle = [&](const CTestMessage&) {
            try {
                gate.Wait();
            } catch (const boost::thread_interrupted&) {
                interrupted = true;
                throw;
            }
        };
        f.module->Start();
        f.Deliver(1);
        // Recorded, so taken from the queue; about to wait at the gate, and
        // an interruption asked for before it waits still ends the wait.
        ASSERT_TRUE(f.Handled(1));
        for (std::uint64_t i = 0; i < queued; ++i) {
            f.Deliver(2);
        }
        EXPECT_EQ(f.module->Subscriber()->GetQueueSize(), queued);

        EXPECT_TRUE(f.module->Stop(true));
        EXPECT_TRUE(interrupted);  // the handler left its wait by the interruption
        EXPECT_FALSE(f.module->Holder()->HasThread());
        EXPECT_FALSE(f.module->Holder()->IsEnabled());
        EXPECT_EQ(f.kernel.logger->Records(), lines);
        EXPECT_EQ(f.module->Subscriber()->GetQueueSize(), queued);

        // Disabled for good: neither Start nor new messages start a thread.
        f.module->Start();
        f.Deliver(9);
        EXPECT_FALSE(f.module->Holder()->HasThread());
        EXPECT_EQ(f.module->Subscriber()->GetQueueSize(), queued + 1);
        EXPECT_EQ(f.module->HandledSerials(), std::vector<int>{1});
    }
}

TEST_F(ProcessingThread, ForcedStopOfAnArmedIdleModuleStartsNoThreadForLaterMessages) {
    module->Start();
    ASSERT_TRUE(module->Subscriber()->IsExited());
    EXPECT_TRUE(module->Stop(true));
    // The message finds the exited flag set and asks for a thread: refused.
    Deliver(1);
    EXPECT_FALSE(module->Subscriber()->IsExited());
    EXPECT_FALSE(module->Holder()->HasThread());
    EXPECT_EQ(module->Subscriber()->GetQueueSize(), 1u);
    EXPECT_TRUE(kernel.logger->Records().empty());
}

TEST_F(ProcessingThread, GracefulStopIsRefusedWhileBusyAndLaterMessagesWaitForStart) {
    // A graceful stop before anything ran must not leave a request behind
    // that would end the first thread.
    EXPECT_TRUE(module->Stop(false));

    CGate gate;
    module->onHandle = [&](const CTestMessage& message) {
        if (message.GetSerial() == 1) {
            gate.Wait();
        }
    };
    module->Start();
    EXPECT_EQ(module->startCalls, 1);
    Deliver(1);
    ASSERT_TRUE(Handled(1));  // and at the gate or about to be
    EXPECT_FALSE(module->Stop(false));
    EXPECT_EQ(module->startCalls, 2);  // re-armed, OnStart called again
    EXPECT_TRUE(module->Holder()->HasThread());
    gate.Open();
    Deliver(2);
    ASSERT_TRUE(Handled(2));
    EXPECT_TRUE(StopWhenIdle());
    EXPECT_FALSE(module->Holder()->HasThread());
    EXPECT_TRUE(module->Holder()->IsEnabled());

    // Stopped gracefully: a message waits.
    Deliver(3);
    EXPECT_FALSE(module->Holder()->HasThread());
    EXPECT_EQ(module->Subscriber()->GetQueueSize(), 1u);
    // A graceful stop with work queued is busy, and re-arming starts the thread.
    EXPECT_FALSE(module->Stop(false));
    ASSERT_TRUE(Handled(3));
    EXPECT_TRUE(StopWhenIdle());

    Deliver(4);
    EXPECT_EQ(module->HandledSerials(), (std::vector<int>{1, 2, 3}));
    module->Start();
    ASSERT_TRUE(Handled(4));
    EXPECT_EQ(module->HandledSerials(), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_TRUE(StopWhenIdle());
    EXPECT_TRUE(kernel.logger->Records().empty());
}

TEST_F(ProcessingThread, StopFromTheProcessingThreadCannotJoinItself) {
    module->onHandle = [&](const CTestMessage&) { module->Stop(true); };
    module->Start();
    Deliver(1);
    const std::string expected =
        "boost thread: trying joining itself: " +
        boost::system::errc::make_error_code(boost::system::errc::resource_deadlock_would_occur)
            .message();
    ASSERT_TRUE(kernel.logger->WaitForText(expected));
    EXPECT_EQ(kernel.logger->Records(), (Lines{{expected, 4, CProbeModule::kName}}));
    // The interruption it asked for still ends the thread; the holder is
    // disabled and the thread object is joined by the next Stop.
    EXPECT_FALSE(module->Holder()->IsEnabled());
    EXPECT_TRUE(module->Stop(true));
    EXPECT_FALSE(module->Holder()->HasThread());
}

TEST_F(ProcessingThread, DestroyedModuleLeavesASubscriberThatOnlyQueues) {
    module->Start();
    Deliver(1);
    ASSERT_TRUE(Handled(1));
    // Wait for the thread to go idle, then end the module. Arm the exited
    // flag again so that the next message calls the restart callback.
    ASSERT_TRUE(StopWhenIdle());
    module->Start();
    const Common::Module::CSubscriberPtr subscriber = module->Subscriber();
    ASSERT_TRUE(subscriber->IsExited());
    module.reset();

    // The bus still holds the subscriber and still delivers.
    Deliver(2);
    Deliver(3);
    EXPECT_EQ(subscriber->GetQueueSize(), 2u);
    EXPECT_FALSE(subscriber->IsExited());
}

Kernel::IMessagePtr Message(const char* name) {
    return boost::make_shared<CTestMessage>(static_cast<Kernel::MessageType>(7), name);
}

// The name of the next queued message, or "" when TakeNext gives nothing.
std::string Take(CSubscriber& subscriber) {
    Kernel::ISubscriber::QueueEntry entry;
    return subscriber.TakeNext(entry) ? entry.first->GetName() : "";
}

TEST(CSubscriber, DescribeQueueAndForEachQueuedFollowQueueOrder) {
    CSubscriber subscriber("CCleanupModule", [] {});
    std::string text = "stale";
    EXPECT_TRUE(subscriber.DescribeQueue(text));
    EXPECT_EQ(text, "");

    const CUserContextPtr first = boost::make_shared<CUserContext>();
    const CUserContextPtr second = boost::make_shared<CUserContext>();
    subscriber.OnMessage(Message("A"), first);
    subscriber.OnMessage(Message("B"), second);
    subscriber.OnMessage(Message("A"), nullptr);
    EXPECT_FALSE(subscriber.DescribeQueue(text));
    EXPECT_EQ(text, "CCleanupModule:A,B,A");
    EXPECT_EQ(subscriber.GetQueueSize(), 3u);

    typedef std::pair<std::string, CUserContextPtr> Seen;
    std::vector<Seen> seen;
    subscriber.ForEachQueued([&](const Kernel::ISubscriber::QueueEntry& entry) {
        seen.emplace_back(entry.first->GetName(), entry.second);
    });
    EXPECT_EQ(seen, (std::vector<Seen>{{"A", first}, {"B", second}, {"A", nullptr}}));
}

// Who starts the thread (Arm with or without work queued, the first message
// after an exit) and busy refusals of a graceful stop: the module-level
// tests above (StartsOnDemand..., GracefulStopIsRefused...).

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
    subscriber.OnMessage(Message("A"), nullptr);
    EXPECT_EQ(Take(subscriber), "A");
    EXPECT_FALSE(subscriber.PrepareGracefulStop(true));  // A is being processed

    // A waiting thread is told to leave, and the request is used up.
    bool taken = true;
    boost::thread waiter([&] {
        Kernel::ISubscriber::QueueEntry mine;
        taken = subscriber.TakeNext(mine);
    });
    ASSERT_TRUE(WaitUntil([&] { return subscriber.IsWaiting(); }));
    EXPECT_TRUE(subscriber.PrepareGracefulStop(true));
    ASSERT_TRUE(waiter.try_join_for(boost::chrono::seconds(10)));
    EXPECT_FALSE(taken);
    EXPECT_FALSE(subscriber.IsExited());
    subscriber.OnMessage(Message("B"), nullptr);
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
                  [&] { subscriber.OnMessage(Message("A"), nullptr); }),
              "no thread today");
    EXPECT_EQ(subscriber.GetQueueSize(), 1u);
    EXPECT_TRUE(subscriber.IsExited());
    subscriber.OnMessage(Message("B"), nullptr);
    EXPECT_EQ(attempts, 2);
    EXPECT_EQ(subscriber.GetQueueSize(), 2u);

    CSubscriber withoutCallback("S", CSubscriber::RestartCallback());
    withoutCallback.Arm();
    EXPECT_THROW(withoutCallback.OnMessage(Message("A"), nullptr), boost::bad_function_call);
}

}  // namespace
}  // namespace Kol::Testing
