// The real plug-in file, loaded and asked for one module as the kernel does,
// on the recording test kernel.

#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include <Poco/ClassLoader.h>
#include <Poco/Manifest.h>
#include <Poco/SharedLibrary.h>
#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

#include "contracts/kernel/IModule.h"
#include "framework/logs/tests/TestSupport.h"
#include "framework/security/CUserContext.h"
#include "tests/kernel/CTestKernel.h"
#include "tests/kernel/CTestMessage.h"
#include "tests/kernel/WaitUntil.h"

namespace Kol::Testing {
namespace {

using Common::Kernel::IModule;
typedef CTestLogger::Record Line;
typedef std::vector<Line> Lines;
const char* const kClassName = "Kol::Cleanup::Agent::CCleanupModule";
const Line kInitialized{"Module initialized", 2, "CCleanupModule"};

class CLoadedModule {
public:
    CLoadedModule() {
        m_loader.loadLibrary(CLEANUP_PLUGIN_PATH);
        m_module.reset(m_loader.create(kClassName));
    }
    ~CLoadedModule() {
        m_module.reset();
        m_loader.unloadLibrary(CLEANUP_PLUGIN_PATH);
    }
    IModule* operator->() const { return m_module.get(); }

private:
    Poco::ClassLoader<IModule> m_loader;
    std::unique_ptr<IModule> m_module;
};

TEST(CleanupModuleRuntime, InitializeTakesResourcesInOrderAndStopsAtTheFirstMissingOne) {
    // The resource type withheld after it was served `servedFirst` times, or
    // handed out as an object of another interface instead (mistyped); the
    // requested types; the interface of the failed cast (nullptr:
    // initialises).
    const std::tuple<std::int32_t, std::size_t, bool, std::vector<std::int32_t>, const char*>
        cases[] = {
            {1, 0, false, {1}, "IBusResource"},
            {3, 0, false, {1, 3}, "ILoggerResource"},
            {3, 0, true, {1, 3}, "ILoggerResource"},
            {4, 0, false, {1, 3, 4}, "IIdGeneratorResource"},
            {2, 0, false, {1, 3, 4, 2}, "IInstallConfigurationResource"},
            {11, 0, false, {1, 3, 4, 2, 11}, "IConfigurationResource"},
            {11, 0, true, {1, 3, 4, 2, 11}, "IConfigurationResource"},
            // The module's own second look at the configuration, and the
            // database, may come back empty.
            {11, 1, false, {1, 3, 4, 2, 11, 11, 6}, nullptr},
            {6, 0, false, {1, 3, 4, 2, 11, 11, 6}, nullptr},
        };
    for (const auto& [withheld, servedFirst, mistyped, requested, error] : cases) {
        SCOPED_TRACE(testing::Message()
                     << withheld << " after " << servedFirst << (mistyped ? " mistyped" : ""));
        CTestKernel kernel;
        if (mistyped) {
            kernel.provider->Set(withheld, kernel.database);
        } else {
            kernel.provider->Withhold(withheld, servedFirst);
        }
        CLoadedModule module;
        if (error) {
            EXPECT_EQ(Common::Logs::Test::ErrorText<std::runtime_error>(
                          [&] { module->Initialize(kernel.provider); }),
                      std::string("Bad cast to Kol::Common::Kernel::") + error);
            EXPECT_TRUE(kernel.bus->Subscriptions().empty());
            EXPECT_TRUE(kernel.logger->Records().empty());
        } else {
            module->Initialize(kernel.provider);
            const auto subscriptions = kernel.bus->Subscriptions();
            ASSERT_EQ(subscriptions.size(), 1u);
            EXPECT_EQ(subscriptions[0].second, 2);
            EXPECT_EQ(kernel.logger->Records(), Lines{kInitialized});
        }
        EXPECT_EQ(kernel.provider->Requests(), requested);
        EXPECT_TRUE(module->Stop(false));
    }
}

// The plug-in's module, initialised and started on a complete kernel.
class CleanupModuleRunning : public ::testing::Test {
protected:
    void SetUp() override {
        module->Initialize(kernel.provider);
        module->Start();
    }
    CTestKernel kernel;
    CLoadedModule module;
};

TEST_F(CleanupModuleRunning,
       ACleanupRequestReachesTheEngineOnTheModulesThreadUnderTheSendersContext) {
    const auto senderContext = boost::make_shared<Common::Security::CUserContext>();
    kernel.bus->Deliver(MakeCleanupRequest(), senderContext);
    const Line rescheduled{"Failed to re-schedule a cleanup: operation {} is not registered", 2,
                           "CCleanupModule"};
    ASSERT_TRUE(kernel.logger->WaitForText(rescheduled.text));
    ASSERT_TRUE(WaitUntil([&] { return module->Stop(false); }));
    EXPECT_EQ(kernel.logger->Records(), (Lines{kInitialized, rescheduled}));

    const auto sent = kernel.bus->Sent();
    ASSERT_EQ(sent.size(), 2u);
    for (const CTestBus::SentRecord& record : sent) {
        EXPECT_EQ(record.message->GetType(), 10368);
        EXPECT_EQ(record.userContext, senderContext);
        EXPECT_NE(record.thread, boost::this_thread::get_id());
    }
}

TEST_F(CleanupModuleRunning, ATypeTwoMessageOfAnotherClassIsABadMapping) {
    kernel.bus->Deliver(boost::make_shared<CTestMessage>(2, "NotACleanupRequest"),
                        boost::make_shared<Common::Security::CUserContext>());
    const std::string expected = "Bad mapping of request type and message type";
    ASSERT_TRUE(kernel.logger->WaitForText(expected));
    EXPECT_EQ(kernel.logger->Records(), (Lines{kInitialized, {expected, 4, "CCleanupModule"}}));
    EXPECT_TRUE(kernel.bus->Sent().empty());
    EXPECT_TRUE(module->Stop(true));
}

// The manifest for modules holds the one class; the class loader creates a
// new module per call (the tests above and ModuleStress, which also fails
// if the plug-in exported a singleton, whose create() throws).

// A base class the plug-in does not publish anything for.
class IOtherBase {
public:
    virtual ~IOtherBase() = default;
};

TEST(PluginEntry, ManifestOfAnotherBaseStaysEmptyAndInitialisingTwiceIsHarmless) {
    Poco::SharedLibrary library(CLEANUP_PLUGIN_PATH);
    // getSymbol throws for a missing symbol.
    auto build =
        reinterpret_cast<bool (*)(Poco::ManifestBase*)>(library.getSymbol("pocoBuildManifest"));
    auto initialize = reinterpret_cast<void (*)()>(library.getSymbol("pocoInitializeLibrary"));

    initialize();
    initialize();

    Poco::Manifest<IOtherBase> other;
    EXPECT_FALSE(build(&other));
    EXPECT_EQ(other.size(), 0u);

    Poco::Manifest<IModule> modules;
    EXPECT_TRUE(build(&modules));
    EXPECT_EQ(modules.size(), 1u);
    EXPECT_NE(modules.find(kClassName), modules.end());
    modules.clear();
    library.unload();
}

}  // namespace
}  // namespace Kol::Testing
