#include <memory>
#include <stdexcept>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>
#include <boost/system/error_code.hpp>

#include "framework/module/tests/CProbeModule.h"
#include "framework/security/CurrentUserContext.h"
#include "tests/kernel/CTestKernel.h"
#include "tests/kernel/CleanupRequest.h"
#include "tests/kernel/WaitUntil.h"

namespace Kol {
namespace Testing {
namespace {

using Common::Kernel::IMessagePtr;
using Common::Security::CUserContext;
using Common::Security::CUserContextPtr;

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

    CTestKernel kernel;
    std::unique_ptr<CProbeModule> module;
};

TEST(ProcessingThread, StartsOnDemandReusesTheWaitingThreadAndAdoptsEachSendersContext) {
    Fixture f;
    EXPECT_FALSE(f.module->Holder()->HasThread());
    f.module->Start();
    EXPECT_FALSE(f.module->Holder()->HasThread());
    EXPECT_TRUE(f.module->Subscriber()->IsExited());

    const CUserContextPtr alice = NewContext();
    const CUserContextPtr bob = NewContext();
    f.Deliver(1, alice);
    f.Deliver(2, bob);
    ASSERT_TRUE(f.module->WaitForHandled(2, kWaitBound));
    EXPECT_TRUE(f.module->Holder()->HasThread());
    ASSERT_TRUE(WaitUntil([&] { return f.Idle(); }));
    f.Deliver(3, alice);
    ASSERT_TRUE(f.module->WaitForHandled(3, kWaitBound));

    const auto handled = f.module->HandledMessages();
    ASSERT_EQ(handled.size(), 3u);
    EXPECT_EQ(f.module->HandledSerials(), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(handled[0].context, alice);
    EXPECT_EQ(handled[1].context, bob);
    EXPECT_EQ(handled[2].context, alice);
    // One thread of the module's own, not the delivering (kernel) thread.
    EXPECT_EQ(handled[1].threadSerial, handled[0].threadSerial);
    EXPECT_EQ(handled[2].threadSerial, handled[0].threadSerial);
    EXPECT_NE(handled[0].threadSerial, ThreadSerial());
    EXPECT_TRUE(f.kernel.logger->Records().empty());
    EXPECT_TRUE(f.module->Stop(true));
}

// The only test that waits out the idle time-out (5 seconds).
TEST(ProcessingThread, IdleThreadLeavesAfterFiveSecondsAndTheNextMessageStartsANewOne) {
    Fixture f;
    f.module->Start();
    // The thread's wait begins after this point, so it cannot end sooner than
    // 5 seconds later (both clocks are the monotonic one).
    const auto delivered = std::chrono::steady_clock::now();
    f.Deliver(1);
    ASSERT_TRUE(f.module->WaitForHandled(1, kWaitBound));
    ASSERT_TRUE(WaitUntil([&] { return f.module->Subscriber()->IsExited(); },
                          std::chrono::milliseconds(15000)));
    EXPECT_GE(std::chrono::steady_clock::now() - delivered, std::chrono::seconds(5));
    // The ended thread is kept until the next restart joins it.
    EXPECT_TRUE(f.module->Holder()->HasThread());
    f.Deliver(2);
    ASSERT_TRUE(f.module->WaitForHandled(2, kWaitBound));
    const auto handled = f.module->HandledMessages();
    EXPECT_NE(handled[1].threadSerial, handled[0].threadSerial);
    EXPECT_FALSE(f.module->Subscriber()->IsExited());
    EXPECT_TRUE(f.kernel.logger->Records().empty());
    // The handler has run; the thread may not be back waiting yet.
    ASSERT_TRUE(WaitUntil([&] { return f.Idle(); }));
    EXPECT_TRUE(f.module->Stop(false));
}

TEST(ProcessingThread, FailuresAreLoggedAtErrorLevelAndTheNextMessageIsProcessed) {
    Fixture f;
    f.module->onHandle = [](const CTestMessage& message) {
        if (message.GetSerial() == 1) {
            throw std::runtime_error("handler failed on 1");
        }
    };
    f.module->Start();
    f.Deliver(1);
    // The bus only delivers subscribed types; the kernel may still hand over
    // anything, so the subscriber is called directly for the odd ones.
    f.module->Subscriber()->OnMessage(boost::make_shared<CTestMessage>(5, "Stray"),
                                      CUserContextPtr());
    // A message of the subscribed type that is not a CTestMessage.
    f.module->Subscriber()->OnMessage(MakeCleanupRequest(), CUserContextPtr());
    f.Deliver(4);
    ASSERT_TRUE(f.module->WaitForHandled(2, kWaitBound));
    ASSERT_TRUE(f.kernel.logger->WaitFor(
        [](const std::vector<CTestLogger::Record>& records) { return records.size() >= 3; },
        kWaitBound));
    EXPECT_EQ(f.module->HandledSerials(), (std::vector<int>{1, 4}));
    EXPECT_EQ(f.kernel.logger->Records(),
              (std::vector<CTestLogger::Record>{
                  {"handler failed on 1", 4, CProbeModule::kName},
                  {"No function call was found for received message type", 4, CProbeModule::kName},
                  {"Bad mapping of request type and message type", 4, CProbeModule::kName},
              }));
    ASSERT_TRUE(WaitUntil([&] { return f.Idle(); }));
    EXPECT_TRUE(f.module->Stop(false));
}

TEST(ProcessingThread, ForcedStopInterruptsTheHandlerAndReportsTheQueuedMessages) {
    struct Case {
        int queued;
        std::vector<CTestLogger::Record> lines;
    };
    const Case cases[] = {
        {2, {{"There were 2 messages left unprocessed in a queue", 1, CProbeModule::kName}}},
        {0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.queued);
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
        ASSERT_TRUE(gate.WaitForEntered(1, kWaitBound));
        for (int i = 0; i < c.queued; ++i) {
            f.Deliver(2 + i);
        }
        EXPECT_EQ(f.module->Subscriber()->GetQueueSize(), static_cast<std::uint64_t>(c.queued));

        EXPECT_TRUE(f.module->Stop(true));
        EXPECT_TRUE(interrupted);  // the handler left its wait by the interruption
        EXPECT_FALSE(f.module->Holder()->HasThread());
        EXPECT_FALSE(f.module->Holder()->IsEnabled());
        EXPECT_EQ(f.kernel.logger->Records(), c.lines);
        EXPECT_EQ(f.module->Subscriber()->GetQueueSize(), static_cast<std::uint64_t>(c.queued));

        // Disabled for good: neither Start nor new messages start a thread.
        f.module->Start();
        f.Deliver(9);
        EXPECT_FALSE(f.module->Holder()->HasThread());
        EXPECT_EQ(f.module->Subscriber()->GetQueueSize(), static_cast<std::uint64_t>(c.queued + 1));
        EXPECT_EQ(f.module->HandledSerials(), std::vector<int>{1});
    }
}

TEST(ProcessingThread, ForcedStopOfAnArmedIdleModuleStartsNoThreadForLaterMessages) {
    Fixture f;
    f.module->Start();
    ASSERT_TRUE(f.module->Subscriber()->IsExited());
    EXPECT_TRUE(f.module->Stop(true));
    // The message finds the exited flag set and asks for a thread: refused.
    f.Deliver(1);
    EXPECT_FALSE(f.module->Subscriber()->IsExited());
    EXPECT_FALSE(f.module->Holder()->HasThread());
    EXPECT_EQ(f.module->Subscriber()->GetQueueSize(), 1u);
    EXPECT_TRUE(f.kernel.logger->Records().empty());
}

TEST(ProcessingThread, GracefulStopIsRefusedWhileBusyAndLaterMessagesWaitForStart) {
    Fixture f;
    // A graceful stop before anything ran must not leave a request behind
    // that would end the first thread.
    EXPECT_TRUE(f.module->Stop(false));

    CGate gate;
    f.module->onHandle = [&](const CTestMessage& message) {
        if (message.GetSerial() == 1) {
            gate.Wait();
        }
    };
    f.module->Start();
    EXPECT_EQ(f.module->startCalls, 1);
    f.Deliver(1);
    ASSERT_TRUE(gate.WaitForEntered(1, kWaitBound));
    EXPECT_FALSE(f.module->Stop(false));
    EXPECT_EQ(f.module->startCalls, 2);  // re-armed, OnStart called again
    EXPECT_TRUE(f.module->Holder()->HasThread());
    gate.Open();
    f.Deliver(2);
    ASSERT_TRUE(f.module->WaitForHandled(2, kWaitBound));
    ASSERT_TRUE(WaitUntil([&] { return f.Idle(); }));
    EXPECT_TRUE(f.module->Stop(false));
    EXPECT_FALSE(f.module->Holder()->HasThread());
    EXPECT_TRUE(f.module->Holder()->IsEnabled());

    // Stopped gracefully: a message waits.
    f.Deliver(3);
    EXPECT_FALSE(f.module->Holder()->HasThread());
    EXPECT_EQ(f.module->Subscriber()->GetQueueSize(), 1u);
    // A graceful stop with work queued is busy, and re-arming starts the thread.
    EXPECT_FALSE(f.module->Stop(false));
    ASSERT_TRUE(f.module->WaitForHandled(3, kWaitBound));
    ASSERT_TRUE(WaitUntil([&] { return f.Idle(); }));
    EXPECT_TRUE(f.module->Stop(false));

    f.Deliver(4);
    EXPECT_EQ(f.module->HandledSerials(), (std::vector<int>{1, 2, 3}));
    f.module->Start();
    ASSERT_TRUE(f.module->WaitForHandled(4, kWaitBound));
    EXPECT_EQ(f.module->HandledSerials(), (std::vector<int>{1, 2, 3, 4}));
    ASSERT_TRUE(WaitUntil([&] { return f.Idle(); }));
    EXPECT_TRUE(f.module->Stop(false));
    EXPECT_TRUE(f.kernel.logger->Records().empty());
}

TEST(ProcessingThread, StopFromTheProcessingThreadCannotJoinItself) {
    Fixture f;
    f.module->onHandle = [&](const CTestMessage&) { f.module->Stop(true); };
    f.module->Start();
    f.Deliver(1);
    const std::string expected =
        "boost thread: trying joining itself: " +
        boost::system::errc::make_error_code(boost::system::errc::resource_deadlock_would_occur)
            .message();
    ASSERT_TRUE(f.kernel.logger->WaitForText(expected, kWaitBound));
    EXPECT_EQ(f.kernel.logger->Records(),
              (std::vector<CTestLogger::Record>{{expected, 4, CProbeModule::kName}}));
    // The interruption it asked for still ends the thread; the holder is
    // disabled and the thread object is joined by the next Stop.
    EXPECT_FALSE(f.module->Holder()->IsEnabled());
    EXPECT_TRUE(f.module->Stop(true));
    EXPECT_FALSE(f.module->Holder()->HasThread());
}

TEST(ProcessingThread, DestroyedModuleLeavesASubscriberThatOnlyQueues) {
    Fixture f;
    f.module->Start();
    f.Deliver(1);
    ASSERT_TRUE(f.module->WaitForHandled(1, kWaitBound));
    // Wait for the thread to go idle, then end the module. Arm the exited
    // flag again so that the next message calls the restart callback.
    ASSERT_TRUE(WaitUntil([&] { return f.Idle(); }));
    ASSERT_TRUE(f.module->Stop(false));
    f.module->Start();
    const Common::Module::CSubscriberPtr subscriber = f.module->Subscriber();
    ASSERT_TRUE(subscriber->IsExited());
    f.module.reset();

    // The bus still holds the subscriber and still delivers.
    f.Deliver(2);
    f.Deliver(3);
    EXPECT_EQ(subscriber->GetQueueSize(), 2u);
    EXPECT_FALSE(subscriber->IsExited());
    std::string description;
    EXPECT_FALSE(subscriber->DescribeQueue(description));
    EXPECT_EQ(description, "Probe:Probe,Probe");
}

}  // namespace
}  // namespace Testing
}  // namespace Kol
