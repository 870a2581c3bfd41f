// The POCO class loader's entry point. The host asks for the class name of
// the cleanup module, so the example publishes itself under that name.

#include <string>
#include <typeinfo>

#include <Poco/ClassLibrary.h>
#include <Poco/Manifest.h>
#include <Poco/MetaObject.h>

#include "CHelloModule.h"
#include "contracts/kernel/IModule.h"

extern "C" {

POCO_LIBRARY_API bool pocoBuildManifest(Poco::ManifestBase* manifest) {
    typedef Poco::Manifest<Kol::Common::Kernel::IModule> ModuleManifest;
    // A host built against another interface gets nothing rather than a
    // wrongly typed object.
    if (std::string(manifest->className()) != typeid(ModuleManifest).name()) {
        return false;
    }
    static_cast<ModuleManifest*>(manifest)->insert(
        new Poco::MetaObject<Hello::CHelloModule, Kol::Common::Kernel::IModule>(
            "Kol::Cleanup::Agent::CCleanupModule"));
    return true;
}

}  // extern "C"
