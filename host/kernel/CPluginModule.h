#pragma once

#include <memory>
#include <mutex>
#include <string>

#include <Poco/ClassLoader.h>

#include "contracts/kernel/IModule.h"

namespace Kol {
namespace Host {

// The module the plug-in publishes, loaded with the POCO class loader (which
// calls the library's pocoInitializeLibrary and pocoBuildManifest) and
// created through its meta object. Owns the module object and the loaded
// library: the destructor deletes the module, then unloads the library.
//
// Thread-safe: the IModule operations are serialised on one mutex, since the
// kernel calls them one at a time (a forced Stop from the signal thread waits
// for a graceful Stop of the main thread to return, and the other way round).
class CPluginModule {
public:
    // `libraryPath` is a path, relative ones to the working directory; it is
    // never searched for on the library path. The file must be a whole shared
    // object of this machine, checked before it is loaded. Throws
    // std::runtime_error "cannot load plug-in <path>: <reason>" or
    // "plug-in <path> does not publish <class name>".
    CPluginModule(const std::string& libraryPath, const std::string& className);
    ~CPluginModule();

    CPluginModule(const CPluginModule&) = delete;
    CPluginModule& operator=(const CPluginModule&) = delete;

    // Pass on what the module throws.
    void Initialize(const Common::Kernel::IResourceProviderPtr& provider);
    void Start();
    void RequestStop();
    bool Stop(bool force);
    std::string GetName() const;

    // Deletes the module (after a Stop that returned true); later calls do
    // nothing and Stop returns true.
    void Destroy();

private:
    mutable std::mutex m_mutex;
    const std::string m_path;  // real path
    Poco::ClassLoader<Common::Kernel::IModule> m_loader;
    std::unique_ptr<Common::Kernel::IModule> m_module;  // guarded by m_mutex
};

}  // namespace Host
}  // namespace Kol
