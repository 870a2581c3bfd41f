#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>
#include <boost/thread/thread.hpp>

#include "framework/module/tests/CProbeModule.h"
#include "framework/security/CSystemUser.h"
#include "framework/security/CurrentUserContext.h"
#include "tests/kernel/CTestKernel.h"
#include "tests/kernel/WaitUntil.h"

namespace Kol {
namespace Testing {
namespace {

using namespace Common;

TEST(CCommonModule, InitializeStopsAtTheFirstMissingOrMistypedResource) {
    struct Case {
        std::int32_t missing;
        bool mistyped;  // handed out as an object of another interface
        std::vector<std::int32_t> requested;
        const char* error;
    };
    const Case cases[] = {
        {1, false, {1}, "Bad cast to Kol::Common::Kernel::IBusResource"},
        {3, false, {1, 3}, "Bad cast to Kol::Common::Kernel::ILoggerResource"},
        {3, true, {1, 3}, "Bad cast to Kol::Common::Kernel::ILoggerResource"},
        {4, false, {1, 3, 4}, "Bad cast to Kol::Common::Kernel::IIdGeneratorResource"},
        {2, false, {1, 3, 4, 2}, "Bad cast to Kol::Common::Kernel::IInstallConfigurationResource"},
        {11, false, {1, 3, 4, 2, 11}, "Bad cast to Kol::Common::Kernel::IConfigurationResource"},
        {11, true, {1, 3, 4, 2, 11}, "Bad cast to Kol::Common::Kernel::IConfigurationResource"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error + std::string(c.mistyped ? " (mistyped)" : ""));
        CTestKernel kernel;
        if (c.mistyped) {
            // A database resource is no logger and no configuration.
            kernel.provider->SetResource(c.missing, kernel.database);
        } else {
            kernel.provider->Withhold(c.missing);
        }
        CProbeModule module;
        try {
            module.Initialize(kernel.provider);
            FAIL() << "Initialize must fail";
        } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), c.error);
        }
        EXPECT_EQ(kernel.provider->GetRequestedTypes(), c.requested);
        EXPECT_TRUE(module.GetThreadHolders().empty());
        EXPECT_TRUE(kernel.bus->Subscriptions().empty());
        EXPECT_EQ(module.GetLoggerResource() != nullptr, c.missing != 3 && c.requested.size() > 2);
        if (c.mistyped) {
            // The wrong object was not kept.
            EXPECT_EQ(kernel.database.use_count(), 3);  // the kernel and two provider slots
        }
    }

    // Everything present: the probe's handler types are subscribed, in order.
    CTestKernel kernel;
    CProbeModule module({7, -3, 2});
    module.Initialize(kernel.provider);
    EXPECT_EQ(kernel.provider->GetRequestedTypes(), (std::vector<std::int32_t>{1, 3, 4, 2, 11}));
    ASSERT_EQ(module.GetThreadHolders().size(), 1u);
    const auto subscriptions = kernel.bus->Subscriptions();
    ASSERT_EQ(subscriptions.size(), 3u);
    std::vector<std::int32_t> types;
    for (const auto& subscription : subscriptions) {
        types.push_back(subscription.type);
        EXPECT_EQ(subscription.subscriber, module.Subscriber());
    }
    EXPECT_EQ(types, (std::vector<std::int32_t>{-3, 2, 7}));
    EXPECT_EQ(module.GetLoggerResource(), kernel.logger);
    EXPECT_FALSE(module.Holder()->HasThread());
}

TEST(CCommonModule, LogErrorIgnoresTheThresholdWhileStreamsHonourIt) {
    CTestKernel kernel(5);
    CProbeModule module;
    module.Initialize(kernel.provider);
    module.LogError("always written");
    { module.LogErrorStream() << "filtered"; }
    { module.LogInfo() << "filtered too"; }
    EXPECT_EQ(kernel.logger->Records(),
              (std::vector<CTestLogger::Record>{{"always written", 4, "CCleanupModule"}}));
    EXPECT_EQ(module.GetName(), "CCleanupModule");
}

TEST(CCommonModule, SendMessagePassesTheCallingThreadsContext) {
    CTestKernel kernel;
    CProbeModule module;
    EXPECT_THROW(module.SendMessage(boost::make_shared<CTestMessage>(
                     static_cast<Kernel::MessageType>(10368), "Status")),
                 std::logic_error);
    module.Initialize(kernel.provider);

    const Security::CUserContextPtr given = boost::make_shared<Security::CUserContext>();
    const Kernel::IMessagePtr first =
        boost::make_shared<CTestMessage>(static_cast<Kernel::MessageType>(10368), "Status", 1);
    const Kernel::IMessagePtr second =
        boost::make_shared<CTestMessage>(static_cast<Kernel::MessageType>(10368), "Status", 2);
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
    const char* const systemUuid = "00000000-0000-0000-7002-000000000001";

    struct Step {
        const char* name;
        std::function<void()> call;
    };
    bool stopResult = false;
    const Step steps[] = {
        {"Start", [&] { module.Start(); }},
        {"RequestStop", [&] { module.RequestStop(); }},
        {"Stop", [&] { stopResult = module.Stop(false); }},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        boost::thread kernelThread([&] {
            const Security::CUserContextPtr someone = boost::make_shared<Security::CUserContext>();
            Security::SetCurrentUserContext(someone);
            step.call();
            const Security::CUserContextPtr now = Security::GetCurrentUserContext();
            ASSERT_TRUE(now);
            EXPECT_NE(now, someone);
            EXPECT_EQ(now->GetUserUuid(), systemUuid);
        });
        kernelThread.join();
    }
    EXPECT_EQ(module.startCalls, 1);
    EXPECT_EQ(module.stopRequestedCalls, 1);
    EXPECT_TRUE(stopResult);

    // A module that may not stop changes nothing, forced or not.
    module.Start();
    module.Subscriber()->OnMessage(
        boost::make_shared<CTestMessage>(static_cast<Kernel::MessageType>(2), "Probe", 1),
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
    auto provider = boost::make_shared<CTestResourceProvider>();
    auto logger = tracked(new CTestLogger(1), "logger");
    provider->SetResource(1, tracked(new CTestBus(), "bus"));
    provider->SetResource(3, logger);
    provider->SetResource(4, tracked(new CTestIdGenerator(), "idGenerator"));
    provider->SetResource(2, tracked(new CTestInstallConfiguration(), "installConfiguration"));
    provider->SetResource(11, tracked(new CTestConfiguration(), "configuration"));

    // The processor reports when the holder lets it go.
    class CTrackedProcessor : public Module::IMessageProcessor {
    public:
        explicit CTrackedProcessor(boost::shared_ptr<std::vector<std::string>> log)
            : m_log(std::move(log)) {}
        ~CTrackedProcessor() override { m_log->push_back("processor"); }
        void Process(const Kernel::IMessagePtr&) override {}

    private:
        boost::shared_ptr<std::vector<std::string>> m_log;
    };
    class CModule : public Module::CCommonModule {
    public:
        explicit CModule(boost::shared_ptr<std::vector<std::string>> log) : m_log(std::move(log)) {}
        void OnInitialize(const Kernel::IResourceProviderPtr&) override {
            SubscribeMessageTypes({2}, boost::make_shared<CTrackedProcessor>(m_log));
        }

    private:
        boost::shared_ptr<std::vector<std::string>> m_log;
    };

    std::unique_ptr<CModule> module(new CModule(released));
    module->Initialize(provider);
    module->Start();
    provider.reset();
    const boost::weak_ptr<CTestLogger> weakLogger = logger;
    logger.reset();
    EXPECT_TRUE(released->empty());
    module.reset();
    EXPECT_EQ(*released,
              (std::vector<std::string>{"processor", "configuration", "installConfiguration",
                                        "idGenerator", "logger", "bus"}));
    EXPECT_TRUE(weakLogger.expired());
}

}  // namespace
}  // namespace Testing
}  // namespace Kol
