#include <memory>
#include <stdexcept>
#include <utility>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>
#include <boost/system/error_code.hpp>

#include "framework/module/tests/CProbeModule.h"
#include "framework/security/CurrentUserContext.h"
#include "tests/kernel/CTestKernel.h"
#include "tests/kernel/CleanupRequest.h"
#include "tests/kernel/WaitUntil.h"

namespace Kol::Testing {
namespace {

using Common::Kernel::IMessagePtr;
using Common::Security::CUserContext;
using Common::Security::CUserContextPtr;
typedef std::vector<CTestLogger::Record> Lines;

IMessagePtr Request(int serial) {
    return boost::make_shared<CTestMessage>(2, "Probe", serial);
}

CUserContextPtr NewContext() {
    return boost::make_shared<CUserContext>();
}

struct Fixture {
    Fixture() : module(new CProbeModule()) { module->Initialize(kernel.provider); }

    void Deliver(int serial, const CUserContextPtr& context = CUserContextPtr()) {
        kernel.bus->Deliver(Request(serial), context);
    }

    bool Idle() const {
        return module->Subscriber()->IsWaiting() && module->Subscriber()->GetQueueSize() == 0;
    }
    bool Handled(std::size_t count) const { return module->WaitForHandled(count, kWaitBound); }
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

    const CUserContextPtr alice = NewContext();
    const CUserContextPtr bob = NewContext();
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
    module->Subscriber()->OnMessage(boost::make_shared<CTestMessage>(5, "Stray"),
                                    CUserContextPtr());
    // A message of the subscribed type that is not a CTestMessage.
    module->Subscriber()->OnMessage(MakeCleanupRequest(), CUserContextPtr());
    Deliver(4);
    ASSERT_TRUE(Handled(2));
    ASSERT_TRUE(kernel.logger->WaitFor([](const Lines& records) { return records.size() >= 3; },
                                       kWaitBound));
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
    ASSERT_TRUE(kernel.logger->WaitForText(expected, kWaitBound));
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
    std::string description;
    EXPECT_FALSE(subscriber->DescribeQueue(description));
    EXPECT_EQ(description, "Probe:Probe,Probe");
}

}  // namespace
}  // namespace Kol::Testing
