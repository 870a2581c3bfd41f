// The module base class, its dispatch and its log streams on the recording
// test kernel. Initialize's order of resources and its failures are covered
// through the real plug-in (ModuleRuntime).

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>

#include "framework/logs/tests/TestSupport.h"
#include "framework/module/CFunctionCallMessageProcessor.h"
#include "framework/module/CModuleLogStream.h"
#include "framework/module/CProcedureCall.h"
#include "framework/module/CReplyProcessor.h"
#include "framework/module/CResponse.h"
#include "framework/module/LogLevel.h"
#include "framework/module/tests/CProbeModule.h"
#include "framework/security/CurrentUserContext.h"
#include "tests/kernel/CTestKernel.h"
#include "tests/kernel/WaitUntil.h"

namespace Kol::Common::Module {
namespace {

using namespace Testing;
typedef std::vector<CTestLogger::Record> Lines;

TEST(CCommonModule, InitializeSubscribesInOrderStartsNoThreadAndLogErrorIgnoresTheThreshold) {
    CTestKernel kernel;
    kernel.logger->SetLogLevel(5);
    CProbeModule module({7, -3, 2});
    module.Initialize(kernel.provider);
    ASSERT_EQ(module.GetThreadHolders().size(), 1u);
    const std::vector<CTestBus::Subscription> expected = {
        {module.Subscriber(), Kernel::MessageType(-3)},
        {module.Subscriber(), Kernel::MessageType(2)},
        {module.Subscriber(), Kernel::MessageType(7)}};
    EXPECT_EQ(kernel.bus->Subscriptions(), expected);
    EXPECT_EQ(module.GetLoggerResource(), kernel.logger);
    EXPECT_EQ(module.Subscriber()->GetName(), CProbeModule::kName);
    EXPECT_FALSE(module.Holder()->HasThread());

    // LogError ignores the threshold (5); the streams honour it.
    module.LogError("always written");
    { module.LogErrorStream() << "filtered"; }
    { module.LogInfo() << "filtered too"; }
    EXPECT_EQ(kernel.logger->Records(), (Lines{{"always written", 4, CProbeModule::kName}}));
    EXPECT_EQ(module.GetName(), CProbeModule::kName);
}

TEST(CCommonModule, SendMessagePassesTheCallingThreadsContext) {
    CTestKernel kernel;
    CProbeModule module;
    EXPECT_THROW(module.SendMessage(boost::make_shared<CTestMessage>(10368, "Status")),
                 std::logic_error);
    module.Initialize(kernel.provider);

    const Security::CUserContextPtr given = boost::make_shared<Security::CUserContext>();
    const Kernel::IMessagePtr first = boost::make_shared<CTestMessage>(10368, "Status", 1);
    const Kernel::IMessagePtr second = boost::make_shared<CTestMessage>(10368, "Status", 2);
    Security::CUserContextPtr madeForThread;
    boost::thread::id threadId;
    boost::thread sender([&] {
        threadId = boost::this_thread::get_id();
        module.SendMessage(first);  // no context yet: an empty one is made
        madeForThread = Security::GetCurrentUserContext();
        Security::SetCurrentUserContext(given);
        module.SendMessage(second);
    });
    sender.join();

    const auto sent = kernel.bus->Sent();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].message, first);
    ASSERT_TRUE(madeForThread);
    EXPECT_EQ(sent[0].userContext, madeForThread);
    EXPECT_FALSE(madeForThread->GetUser());
    EXPECT_EQ(sent[1].message, second);
    EXPECT_EQ(sent[1].userContext, given);
    EXPECT_EQ(sent[0].thread, threadId);
}

TEST(CCommonModule, LifecycleCallsRunUnderTheSystemUserAndCallTheirHooks) {
    CTestKernel kernel;
    CProbeModule module;
    module.Initialize(kernel.provider);
    bool stopResult = false;
    const std::function<void()> steps[] = {
        [&] { module.Start(); },
        [&] { module.RequestStop(); },
        [&] { stopResult = module.Stop(false); },
    };
    for (const auto& step : steps) {
        boost::thread kernelThread([&] {
            const Security::CUserContextPtr someone = boost::make_shared<Security::CUserContext>();
            Security::SetCurrentUserContext(someone);
            step();
            const Security::CUserContextPtr now = Security::GetCurrentUserContext();
            ASSERT_TRUE(now);
            EXPECT_NE(now, someone);
            EXPECT_EQ(now->GetUserUuid(), "00000000-0000-0000-7002-000000000001");
        });
        kernelThread.join();
    }
    EXPECT_EQ(module.startCalls, 1);
    EXPECT_EQ(module.stopRequestedCalls, 1);
    EXPECT_TRUE(stopResult);

    // A module that may not stop changes nothing, forced or not.
    module.Start();
    module.Subscriber()->OnMessage(boost::make_shared<CTestMessage>(2, "Probe", 1),
                                   Security::CUserContextPtr());
    ASSERT_TRUE(module.WaitForHandled(1));
    module.canStop = false;
    EXPECT_FALSE(module.Stop(true));
    EXPECT_FALSE(module.Stop(false));
    EXPECT_TRUE(module.Holder()->IsEnabled());
    EXPECT_TRUE(module.Holder()->HasThread());
    EXPECT_EQ(module.startCalls, 2);
    module.canStop = true;
    EXPECT_TRUE(module.Stop(true));
}

TEST(CCommonModule, DestructionReleasesHoldersThenResourcesInReverseOrder) {
    auto released = boost::make_shared<std::vector<std::string>>();
    // Each resource reports its own release through its deleter.
    auto tracked = [released](auto* object, const char* name) {
        typedef typename std::remove_pointer<decltype(object)>::type Object;
        return boost::shared_ptr<Object>(object, [released, name](Object* o) {
            released->push_back(name);
            delete o;
        });
    };
    auto provider = boost::make_shared<CTestKernel::CProvider>();
    auto logger = tracked(new CTestLogger(1), "logger");
    provider->Set(1, tracked(new CTestBus(), "bus"));
    provider->Set(3, logger);
    provider->Set(4, tracked(new CTestKernel::CIdGenerator(), "idGenerator"));
    provider->Set(2, tracked(new CTestKernel::CInstallConfiguration(), "installation"));
    provider->Set(11, tracked(new Kernel::IConfigurationResource(), "configuration"));

    // Subscribes the processor it is given and keeps no hold on it.
    class CModule : public CCommonModule {
    public:
        explicit CModule(boost::shared_ptr<IMessageProcessor> processor)
            : CCommonModule("M"), m_processor(std::move(processor)) {}
        void OnInitialize(const Kernel::IResourceProviderPtr&) override {
            SubscribeMessageTypes({2}, m_processor);
            m_processor.reset();
        }

    private:
        boost::shared_ptr<IMessageProcessor> m_processor;
    };

    std::unique_ptr<CModule> module(
        new CModule(tracked(new CFunctionCallMessageProcessor(), "processor")));
    module->Initialize(provider);
    module->Start();
    provider.reset();
    const boost::weak_ptr<CTestLogger> weakLogger = logger;
    logger.reset();
    EXPECT_TRUE(released->empty());
    module.reset();
    EXPECT_EQ(*released, (std::vector<std::string>{"processor", "configuration", "installation",
                                                   "idGenerator", "logger", "bus"}));
    EXPECT_TRUE(weakLogger.expired());
}

const Kernel::MessageType kType = Kernel::MessageType(2);

typedef CProcedureCall<CProbeModule, CTestMessage> TestCall;

class CTestResponse : public CResponse {
public:
    explicit CTestResponse(std::uint32_t requestId) : CResponse(requestId) {}
    Kernel::MessageType GetType() const override { return Kernel::MessageType(99); }
    std::string GetName() const override { return "TestResponse"; }
    bool Equals(const Kernel::IMessage& other) const override { return &other == this; }
};

TEST(CFunctionCallMessageProcessor, DispatchesByTypeKeepsFirstRegistrationAndRefusesUnknownTypes) {
    CTestKernel kernel;
    CProbeModule first, second;
    first.Initialize(kernel.provider);
    CFunctionCallMessageProcessor processor;
    EXPECT_TRUE(processor.GetMessageTypes().empty());
    auto callOf = [](CProbeModule& module) {
        return boost::make_shared<TestCall>(&module, &CProbeModule::Handle);
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
    CTestKernel kernel;
    CProbeModule module;
    module.Initialize(kernel.provider);
    TestCall call(&module, &CProbeModule::Handle);

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
    CReplyProcessor processor(boost::make_shared<CTestBus>(),
                              boost::make_shared<CTestKernel::CIdGenerator>());
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

// One line per stream, exactly the text put in, when the stream's level was
// at or above the threshold as it stood when the stream was made.
TEST(CModuleLogStream, OneLinePerEnabledStreamWithNothingAdded) {
    CTestLogger logger(Warning);
    {
        CModuleLogStream info(&logger, Information, "CCleanupModule");
        info << "dropped";
        EXPECT_FALSE(info.IsEnabled());
        EXPECT_FALSE(info.HasBuffer());
        { CModuleLogStream(&logger, Warning, "M") << "at threshold"; }
        {
            CModuleLogStream(&logger, Error, "M")
                << std::string("a") << "b" << 18446744073709551615ull;
        }
        // Lowering the threshold now does not wake the disabled stream.
        logger.SetLogLevel(Debug);
        info << " still dropped";
    }
    {
        CModuleLogStream stream(&logger, Debug, "CCleanupModule");
        stream << "There were " << static_cast<std::uint64_t>(5)
               << " messages left unprocessed in a queue";
    }
    {
        CModuleLogStream first(&logger, Information, "M");
        first << "one ";
        CModuleLogStream second(std::move(first));
        second << "line";
        first << "ignored";
    }
    // No text, an empty text, no logger: nothing.
    { CModuleLogStream stream(&logger, Error, "M"); }
    { CModuleLogStream(&logger, Error, "M") << ""; }
    { CModuleLogStream(nullptr, Error, "M") << "no logger"; }
    EXPECT_EQ(logger.Records(),
              (Lines{{"at threshold", Warning, "M"},
                     {"ab18446744073709551615", Error, "M"},
                     {"There were 5 messages left unprocessed in a queue", Debug, "CCleanupModule"},
                     {"one line", Information, "M"}}));
}

}  // namespace
}  // namespace Kol::Common::Module
