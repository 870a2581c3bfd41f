#pragma once

#include <string>

namespace Kol {
namespace Host {

// The check sshd and sudo make before they trust a file: the configuration
// file and the plug-in say what runs with this program's rights, so neither
// they nor any folder above them may be replaced by someone else.
//
// Stateless and thread-safe.
class CTrustedPath {
public:
    // Throws std::runtime_error "bad owner or permissions on <path>: ..."
    // (naming the file or the folder at fault) when the real path of `path`,
    // or a folder above it, belongs to a user other than root or this
    // program's, or is writable by its group or by others. A folder writable
    // by all with the sticky bit (as /tmp) passes: only the owner of a file
    // may replace it there. Throws with the system's reason when `path`
    // cannot be resolved. Reads only.
    static void Check(const std::string& path);

    CTrustedPath() = delete;
};

}  // namespace Host
}  // namespace Kol
