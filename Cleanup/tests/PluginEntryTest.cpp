#include <memory>
#include <string>

#include <Poco/ClassLoader.h>
#include <Poco/Exception.h>
#include <Poco/Manifest.h>
#include <Poco/SharedLibrary.h>
#include <gtest/gtest.h>

#include "contracts/kernel/IModule.h"

namespace {

using Kol::Common::Kernel::IModule;

const char* const kClassName = "Kol::Cleanup::Agent::CCleanupModule";

TEST(PluginEntry, ClassLoaderFindsOneClassAndCreatesDistinctModules) {
    Poco::ClassLoader<IModule> loader;
    loader.loadLibrary(CLEANUP_PLUGIN_PATH);
    ASSERT_TRUE(loader.isLibraryLoaded(CLEANUP_PLUGIN_PATH));

    const Poco::Manifest<IModule>& manifest = loader.manifestFor(CLEANUP_PLUGIN_PATH);
    ASSERT_EQ(manifest.size(), 1u);
    EXPECT_EQ(std::string(manifest.begin()->name()), kClassName);

    std::unique_ptr<IModule> first(loader.create(kClassName));
    std::unique_ptr<IModule> second(loader.create(kClassName));
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(first->GetName(), "CCleanupModule");
    EXPECT_FALSE(loader.isAutoDelete(kClassName, first.get()));

    try {
        loader.instance(kClassName);
        FAIL() << "instance() must refuse";
    } catch (const Poco::InvalidAccessException& e) {
        EXPECT_EQ(e.message(), "Not a singleton. Use create() to create instances of: " +
                                   std::string(kClassName));
    }

    first.reset();
    second.reset();
    loader.unloadLibrary(CLEANUP_PLUGIN_PATH);
    EXPECT_FALSE(loader.isLibraryLoaded(CLEANUP_PLUGIN_PATH));
}

// A base class the plug-in does not publish anything for.
class IOtherBase {
public:
    virtual ~IOtherBase() = default;
};

TEST(PluginEntry, ManifestOfAnotherBaseStaysEmptyAndInitialisingTwiceIsHarmless) {
    Poco::SharedLibrary library(CLEANUP_PLUGIN_PATH);
    ASSERT_TRUE(library.hasSymbol("pocoBuildManifest"));
    ASSERT_TRUE(library.hasSymbol("pocoInitializeLibrary"));
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
