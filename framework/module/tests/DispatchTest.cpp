#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>

#include "framework/module/CFunctionCallMessageProcessor.h"
#include "framework/module/CProcedureCall.h"
#include "framework/module/CReplyProcessor.h"
#include "framework/module/CResponse.h"
#include "tests/kernel/CTestKernel.h"
#include "tests/kernel/CTestMessage.h"

namespace Kol {
namespace Common {
namespace Module {
namespace {

using Testing::CTestMessage;

const Kernel::MessageType kType = Kernel::MessageType(2);

// Stands in for a module: a handler member and the LogError the procedure
// call reports to.
class CRecordingModule {
public:
    void Handle(const Kernel::IMessagePtr& message) {
        handled.push_back(message);
        if (failure) {
            failure();
        }
    }
    void LogError(const std::string& text) { errors.push_back(text); }

    std::vector<Kernel::IMessagePtr> handled;
    std::vector<std::string> errors;
    std::function<void()> failure;
};

typedef CProcedureCall<CRecordingModule, CTestMessage> TestCall;

class CTestResponse : public CResponse {
public:
    CTestResponse(std::uint32_t requestId, int answer) : CResponse(requestId), m_answer(answer) {}
    Kernel::MessageType GetType() const override { return Kernel::MessageType(99); }
    std::string GetName() const override { return "TestResponse"; }
    bool Equals(const Kernel::IMessage& other) const override {
        const CTestResponse* response = dynamic_cast<const CTestResponse*>(&other);
        return response && response->GetRequestId() == GetRequestId() &&
               response->m_answer == m_answer;
    }

private:
    int m_answer;
};

TEST(CFunctionCallMessageProcessor, DispatchesByTypeKeepsFirstRegistrationAndRefusesUnknownTypes) {
    CRecordingModule first;
    CRecordingModule second;
    CFunctionCallMessageProcessor processor;
    EXPECT_TRUE(processor.GetMessageTypes().empty());
    auto callOf = [](CRecordingModule& module) {
        return boost::make_shared<TestCall>(&module, &CRecordingModule::Handle);
    };
    EXPECT_TRUE(processor.RegisterFunctionCall(Kernel::MessageType(5), callOf(first)));
    EXPECT_TRUE(processor.RegisterFunctionCall(Kernel::MessageType(-1), callOf(first)));
    EXPECT_TRUE(processor.RegisterFunctionCall(kType, callOf(first)));
    EXPECT_FALSE(processor.RegisterFunctionCall(Kernel::MessageType(5), callOf(second)));
    // Signed order: a negative type comes first.
    EXPECT_EQ(processor.GetMessageTypes(), (std::vector<std::int32_t>{-1, 2, 5}));

    const Kernel::IMessagePtr five = boost::make_shared<CTestMessage>(5, "five");
    processor.Process(five);
    ASSERT_EQ(first.handled.size(), 1u);
    EXPECT_EQ(first.handled[0], five);
    EXPECT_TRUE(second.handled.empty());

    // Its exact text: ProcessingThread.FailuresAreLogged...
    EXPECT_THROW(processor.Process(boost::make_shared<CTestMessage>(3, "three")),
                 std::runtime_error);
    EXPECT_EQ(first.handled.size(), 1u);
    EXPECT_TRUE(first.errors.empty());
}

TEST(CProcedureCall, ChecksTheClassAndKeepsHandlerFailuresInside) {
    CRecordingModule module;
    TestCall call(&module, &CRecordingModule::Handle);

    const Kernel::IMessagePtr request = boost::make_shared<CTestMessage>(kType, "request");
    call.Call(request);
    ASSERT_EQ(module.handled.size(), 1u);
    EXPECT_EQ(module.handled[0], request);

    // Right type, wrong class; its exact text: ProcessingThread.FailuresAreLogged...
    EXPECT_THROW(call.Call(boost::make_shared<CTestResponse>(1, 0)), std::runtime_error);
    EXPECT_EQ(module.handled.size(), 1u);

    // A handler's std::exception is logged with its bare text and stops here.
    module.failure = [] { throw std::runtime_error("disk on fire"); };
    EXPECT_NO_THROW(call.Call(request));
    module.failure = [] { throw std::logic_error("impossible state"); };
    EXPECT_NO_THROW(call.Call(request));
    EXPECT_EQ(module.errors, (std::vector<std::string>{"disk on fire", "impossible state"}));

    // An interruption is no std::exception: it must reach the thread.
    module.failure = [] { throw boost::thread_interrupted(); };
    EXPECT_THROW(call.Call(request), boost::thread_interrupted);
    EXPECT_EQ(module.errors.size(), 2u);

    // An empty function object fails inside Invoke, which is guarded too.
    TestCall empty(&module, TestCall::Function());
    EXPECT_NO_THROW(empty.Call(request));
    ASSERT_EQ(module.errors.size(), 3u);
    EXPECT_EQ(module.errors[2], boost::bad_function_call().what());
    EXPECT_THROW(empty.Invoke(boost::make_shared<CTestMessage>(kType, "direct")),
                 boost::bad_function_call);
}

TEST(CReplyProcessor, HandsResponsesToTheirWaitersAndDropsTheRest) {
    CReplyProcessor processor(boost::make_shared<Testing::CTestBus>(),
                              boost::make_shared<Testing::CTestKernel::CIdGenerator>());
    try {
        processor.Process(boost::make_shared<CTestMessage>(kType, "not a response"));
        FAIL() << "a non-response must be refused";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Bad cast to Kol::Common::Module::CResponse");
    }
    // Nobody waits for 7: dropped quietly.
    EXPECT_NO_THROW(processor.Process(boost::make_shared<CTestResponse>(7, 1)));

    CReplyProcessor::CPendingReply slot;
    ASSERT_TRUE(processor.AddPendingReply(4000000000u, slot));
    EXPECT_FALSE(processor.AddPendingReply(4000000000u, slot));
    EXPECT_FALSE(processor.WaitForReply(slot, boost::chrono::milliseconds(1)));

    CResponsePtr received;
    boost::thread waiter(
        [&] { received = processor.WaitForReply(slot, boost::chrono::seconds(10)); });
    const CResponsePtr answer = boost::make_shared<CTestResponse>(4000000000u, 42);
    processor.Process(boost::make_shared<CTestResponse>(8, 0));
    processor.Process(answer);
    ASSERT_TRUE(waiter.try_join_for(boost::chrono::seconds(10)));
    EXPECT_EQ(received, answer);

    // A later answer replaces the earlier one; after removal answers are dropped.
    const CResponsePtr newer = boost::make_shared<CTestResponse>(4000000000u, 43);
    processor.Process(newer);
    EXPECT_EQ(processor.WaitForReply(slot, boost::chrono::seconds(10)), newer);
    processor.RemovePendingReply(4000000000u);
    processor.Process(boost::make_shared<CTestResponse>(4000000000u, 44));
    EXPECT_EQ(processor.WaitForReply(slot, boost::chrono::seconds(10)), newer);
}

}  // namespace
}  // namespace Module
}  // namespace Common
}  // namespace Kol
