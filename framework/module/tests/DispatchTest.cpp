#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>

#include "framework/logs/tests/TestSupport.h"
#include "framework/module/CFunctionCallMessageProcessor.h"
#include "framework/module/CProcedureCall.h"
#include "framework/module/CReplyProcessor.h"
#include "framework/module/CResponse.h"
#include "framework/module/tests/CProbeModule.h"
#include "tests/kernel/CTestKernel.h"
#include "tests/kernel/CTestMessage.h"

namespace Kol::Common::Module {
namespace {

using Testing::CTestMessage;

const Kernel::MessageType kType = Kernel::MessageType(2);

typedef CProcedureCall<Testing::CProbeModule, CTestMessage> TestCall;
typedef std::vector<Testing::CTestLogger::Record> Lines;

class CTestResponse : public CResponse {
public:
    explicit CTestResponse(std::uint32_t requestId) : CResponse(requestId) {}
    Kernel::MessageType GetType() const override { return Kernel::MessageType(99); }
    std::string GetName() const override { return "TestResponse"; }
    bool Equals(const Kernel::IMessage& other) const override { return &other == this; }
};

TEST(CFunctionCallMessageProcessor, DispatchesByTypeKeepsFirstRegistrationAndRefusesUnknownTypes) {
    Testing::CTestKernel kernel;
    Testing::CProbeModule first, second;
    first.Initialize(kernel.provider);
    CFunctionCallMessageProcessor processor;
    EXPECT_TRUE(processor.GetMessageTypes().empty());
    auto callOf = [](Testing::CProbeModule& module) {
        return boost::make_shared<TestCall>(&module, &Testing::CProbeModule::Handle);
    };
    EXPECT_TRUE(processor.RegisterFunctionCall(Kernel::MessageType(5), callOf(first)));
    EXPECT_TRUE(processor.RegisterFunctionCall(Kernel::MessageType(-1), callOf(first)));
    EXPECT_TRUE(processor.RegisterFunctionCall(kType, callOf(first)));
    EXPECT_FALSE(processor.RegisterFunctionCall(Kernel::MessageType(5), callOf(second)));
    // Signed order: a negative type comes first.
    EXPECT_EQ(processor.GetMessageTypes(), (std::vector<std::int32_t>{-1, 2, 5}));

    processor.Process(boost::make_shared<CTestMessage>(5, "five", 5));
    EXPECT_EQ(first.HandledSerials(), std::vector<int>{5});
    EXPECT_TRUE(second.HandledSerials().empty());

    // Its exact text: ProcessingThread.FailuresAreLogged...
    EXPECT_THROW(processor.Process(boost::make_shared<CTestMessage>(3, "three")),
                 std::runtime_error);
    EXPECT_EQ(first.HandledSerials(), std::vector<int>{5});
    EXPECT_TRUE(kernel.logger->Records().empty());
}

TEST(CProcedureCall, ChecksTheClassAndKeepsHandlerFailuresInside) {
    Testing::CTestKernel kernel;
    Testing::CProbeModule module;
    module.Initialize(kernel.provider);
    TestCall call(&module, &Testing::CProbeModule::Handle);

    const Kernel::IMessagePtr request = boost::make_shared<CTestMessage>(kType, "request", 1);
    call.Call(request);
    EXPECT_EQ(module.HandledSerials(), std::vector<int>{1});
    // Right type, wrong class; its exact text: ProcessingThread.FailuresAreLogged...
    EXPECT_THROW(call.Call(boost::make_shared<CTestResponse>(1)), std::runtime_error);
    EXPECT_EQ(module.HandledSerials(), std::vector<int>{1});

    // A handler's std::exception is logged with its bare text and stops here;
    // an interruption is no std::exception: it must reach the thread.
    std::function<void()> failure;
    module.onHandle = [&](const CTestMessage&) { failure(); };
    failure = [] { throw std::runtime_error("disk on fire"); };
    EXPECT_NO_THROW(call.Call(request));
    failure = [] { throw std::logic_error("impossible state"); };
    EXPECT_NO_THROW(call.Call(request));
    failure = [] { throw boost::thread_interrupted(); };
    EXPECT_THROW(call.Call(request), boost::thread_interrupted);

    // An empty function object fails inside Invoke, which is guarded too.
    TestCall empty(&module, TestCall::Function());
    EXPECT_NO_THROW(empty.Call(request));
    EXPECT_EQ(kernel.logger->Records(), (Lines{{"disk on fire", 4, "Probe"},
                                               {"impossible state", 4, "Probe"},
                                               {boost::bad_function_call().what(), 4, "Probe"}}));
    EXPECT_THROW(empty.Invoke(boost::make_shared<CTestMessage>(kType, "direct")),
                 boost::bad_function_call);
}

TEST(CReplyProcessor, HandsResponsesToTheirWaitersAndDropsTheRest) {
    CReplyProcessor processor(boost::make_shared<Testing::CTestBus>(),
                              boost::make_shared<Testing::CTestKernel::CIdGenerator>());
    EXPECT_EQ(Logs::Test::ErrorText<std::runtime_error>([&] {
                  processor.Process(boost::make_shared<CTestMessage>(kType, "not a response"));
              }),
              "Bad cast to Kol::Common::Module::CResponse");
    // Nobody waits for 7: dropped quietly.
    EXPECT_NO_THROW(processor.Process(boost::make_shared<CTestResponse>(7)));

    CReplyProcessor::CPendingReply slot;
    ASSERT_TRUE(processor.AddPendingReply(4000000000u, slot));
    EXPECT_FALSE(processor.AddPendingReply(4000000000u, slot));
    EXPECT_FALSE(processor.WaitForReply(slot, boost::chrono::milliseconds(1)));

    CResponsePtr received;
    boost::thread waiter(
        [&] { received = processor.WaitForReply(slot, boost::chrono::seconds(10)); });
    const CResponsePtr answer = boost::make_shared<CTestResponse>(4000000000u);
    processor.Process(boost::make_shared<CTestResponse>(8));
    processor.Process(answer);
    ASSERT_TRUE(waiter.try_join_for(boost::chrono::seconds(10)));
    EXPECT_EQ(received, answer);

    // A later answer replaces the earlier one; after removal answers are dropped.
    const CResponsePtr newer = boost::make_shared<CTestResponse>(4000000000u);
    processor.Process(newer);
    EXPECT_EQ(processor.WaitForReply(slot, boost::chrono::seconds(10)), newer);
    processor.RemovePendingReply(4000000000u);
    processor.Process(boost::make_shared<CTestResponse>(4000000000u));
    EXPECT_EQ(processor.WaitForReply(slot, boost::chrono::seconds(10)), newer);
}

}  // namespace
}  // namespace Kol::Common::Module
