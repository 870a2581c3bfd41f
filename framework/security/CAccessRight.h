#pragma once

#include <cstdint>
#include <string>

namespace Kol {
namespace Common {
namespace Security {

// One row of a user's access rights: the right, the kind of access granted for
// it and the scope the right is carried with. A plain value; copy freely.
struct CAccessRight {
    std::string uuid;         // the right, canonical 36-character UUID text
    std::int32_t accessType;  // 0, 1 or 2 for the system user
    std::string scopeUuid;    // not part of the JSON description

    bool operator==(const CAccessRight& other) const {
        return uuid == other.uuid && accessType == other.accessType && scopeUuid == other.scopeUuid;
    }
    bool operator!=(const CAccessRight& other) const { return !(*this == other); }
};

}  // namespace Security
}  // namespace Common
}  // namespace Kol
