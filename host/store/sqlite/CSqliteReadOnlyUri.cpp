#include "host/store/sqlite/CSqliteReadOnlyUri.h"

#include <cctype>
#include <cstdio>

namespace Kol {
namespace Host {

std::string CSqliteReadOnlyUri::Of(const std::string& path, bool hasLog) {
    std::string uri = "file:";
    for (const char c : path) {
        const unsigned char byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '/' || c == '.' || c == '_' || c == '~' || c == '-') {
            uri += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
            uri += escaped;
        }
    }
    return uri + (hasLog ? "?mode=ro&readonly_shm=1" : "?immutable=1");
}

}  // namespace Host
}  // namespace Kol
