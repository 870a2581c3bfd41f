// The module base class on the recording test kernel. Initialize's order of
// resources and its failures are covered through the real plug-in
// (ModuleRuntime).

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>

#include "framework/module/tests/CProbeModule.h"
#include "framework/security/CurrentUserContext.h"
#include "tests/kernel/CTestKernel.h"
#include "tests/kernel/WaitUntil.h"

namespace Kol::Testing {
namespace {

using namespace Common;

TEST(CCommonModule, InitializeSubscribesEveryHandlerTypeInOrderAndStartsNoThread) {
    CTestKernel kernel;
    CProbeModule module({7, -3, 2});
    module.Initialize(kernel.provider);
    EXPECT_EQ(kernel.provider->Requests(), (std::vector<std::int32_t>{1, 3, 4, 2, 11}));
    ASSERT_EQ(module.GetThreadHolders().size(), 1u);
    const std::vector<CTestBus::Subscription> expected = {
        {module.Subscriber(), Kernel::MessageType(-3)},
        {module.Subscriber(), Kernel::MessageType(2)},
        {module.Subscriber(), Kernel::MessageType(7)}};
    EXPECT_EQ(kernel.bus->Subscriptions(), expected);
    EXPECT_EQ(module.GetLoggerResource(), kernel.logger);
    EXPECT_EQ(module.Subscriber()->GetName(), CProbeModule::kName);
    EXPECT_FALSE(module.Holder()->HasThread());
}

TEST(CCommonModule, LogErrorIgnoresTheThresholdWhileStreamsHonourIt) {
    CTestKernel kernel;
    kernel.logger->SetLogLevel(5);
    CProbeModule module;
    module.Initialize(kernel.provider);
    module.LogError("always written");
    { module.LogErrorStream() << "filtered"; }
    { module.LogInfo() << "filtered too"; }
    EXPECT_EQ(kernel.logger->Records(),
              (std::vector<CTestLogger::Record>{{"always written", 4, CProbeModule::kName}}));
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
    ASSERT_TRUE(module.WaitForHandled(1, kWaitBound));
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
    class CModule : public Module::CCommonModule {
    public:
        explicit CModule(boost::shared_ptr<Module::IMessageProcessor> processor)
            : CCommonModule("M"), m_processor(std::move(processor)) {}
        void OnInitialize(const Kernel::IResourceProviderPtr&) override {
            SubscribeMessageTypes({2}, m_processor);
            m_processor.reset();
        }

    private:
        boost::shared_ptr<Module::IMessageProcessor> m_processor;
    };

    std::unique_ptr<CModule> module(
        new CModule(tracked(new Module::CFunctionCallMessageProcessor(), "processor")));
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

}  // namespace
}  // namespace Kol::Testing
