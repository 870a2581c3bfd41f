// The plug-in's two entry points, exported as plain C symbols for the POCO
// class loader.

#include <boost/filesystem/path.hpp>
#include <boost/locale/generator.hpp>

#include <Poco/ClassLibrary.h>
#include <Poco/Manifest.h>
#include <Poco/MetaObject.h>

#include "Cleanup/CleanupAgent/CCleanupModule.h"
#include "contracts/kernel/IModule.h"

namespace {

// The system default locale, built once per process (thread-safe static) and
// kept until exit, so that path conversion uses the user's encoding.
const std::locale& PathLocale() {
    static const std::locale locale = boost::locale::generator()("");
    return locale;
}

}  // namespace

extern "C" {

POCO_LIBRARY_API bool pocoBuildManifest(Poco::ManifestBase* manifest) {
    typedef Poco::Manifest<Kol::Common::Kernel::IModule> ModuleManifest;
    if (std::string(manifest->className()) != typeid(ModuleManifest).name()) {
        return false;
    }
    static_cast<ModuleManifest*>(manifest)->insert(
        new Poco::MetaObject<Kol::Cleanup::Agent::CCleanupModule, Kol::Common::Kernel::IModule>(
            "Kol::Cleanup::Agent::CCleanupModule"));
    return true;
}

POCO_LIBRARY_API void pocoInitializeLibrary() {
    // imbue returns the previous locale, which is released here.
    boost::filesystem::path::imbue(PathLocale());
}

}  // extern "C"
