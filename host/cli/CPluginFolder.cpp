#include "host/cli/CPluginFolder.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>

namespace Kol {
namespace Host {

namespace {

const char* const kPluginFile = "libCleanupAgent.so";

bool Exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

}  // namespace

std::string CPluginFolder::DefaultModule() {
    std::string directory = ".";
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        const std::string program(self, static_cast<std::size_t>(length));
        directory = program.substr(0, program.rfind('/'));
    }
    // The plug-in's private folder, placed relative to the program in the
    // build tree as when installed; else a plug-in copied beside the program.
    const std::string installed =
        directory + "/" + CLEANUP_PLUGIN_DIR_FROM_PROGRAM + "/" + kPluginFile;
    const std::string beside = directory + "/" + kPluginFile;
    return !Exists(installed) && Exists(beside) ? beside : installed;
}

std::string CPluginFolder::Find(const std::string& module, const std::string& defaultModule) {
    if (module.empty() || module.find('/') != std::string::npos) {
        return module;
    }
    const std::string::size_type slash = defaultModule.rfind('/');
    std::string folder = slash == std::string::npos ? "." : defaultModule.substr(0, slash);
    // Without the program's "bin/..", so that a message names the folder plainly.
    if (char* real = ::realpath(folder.c_str(), nullptr)) {
        folder = real;
        std::free(real);
    }
    const std::string exact = folder + "/" + module;
    const std::string library = folder + "/lib" + module + ".so";
    if (Exists(exact) || (!Exists(library) && module.find('.') != std::string::npos)) {
        return exact;
    }
    return library;
}

}  // namespace Host
}  // namespace Kol
