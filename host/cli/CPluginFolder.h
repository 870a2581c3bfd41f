#pragma once

#include <string>

namespace Kol {
namespace Host {

// Where the program's plug-ins are: the folder of the plug-in installed with
// it, which --module NAME searches.
//
// Stateless and thread-safe; nothing here throws.
class CPluginFolder {
public:
    // The plug-in in its private folder relative to this program (bin/ to
    // lib/cleanup-agent/, in the build tree too), else one beside the program.
    static std::string DefaultModule();

    // `module` as --module gave it: a path (anything with a slash, or empty)
    // is returned as it is; a bare NAME is NAME in the folder of
    // `defaultModule`, else libNAME.so there. When neither exists, the one
    // that loading then reports missing: NAME for a name with a dot in it,
    // else libNAME.so. The folder is given by its real path.
    static std::string Find(const std::string& module, const std::string& defaultModule);

    CPluginFolder() = delete;
};

}  // namespace Host
}  // namespace Kol
