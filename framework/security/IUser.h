#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "framework/security/CAccessRight.h"

namespace Kol {
namespace Common {
namespace Security {

// A user on whose behalf work is done. Implementations are immutable after
// construction, so every operation may be called from any thread.
class IUser {
public:
    typedef std::vector<CAccessRight> AccessRights;

    virtual ~IUser();

    virtual std::string GetName() const = 0;
    // Canonical UUID text of the user.
    virtual std::string GetUuid() const = 0;
    virtual bool IsSystem() const = 0;
    // A copy of the user's access rights in their stored order.
    virtual AccessRights GetAccessRights() const = 0;
    // Returns the access rights and describes the user's access-rights matrix
    // in the three output lists (emptied first). Throws std::runtime_error when
    // `required` is true and the user has no matrix.
    virtual AccessRights GetAccessRightsMatrix(bool required, std::vector<std::string>& firstTexts,
                                               std::vector<std::string>& secondTexts,
                                               std::vector<std::int32_t>& values) const = 0;
    virtual bool HasAccessRightsMatrix() const = 0;
    // One-line JSON description: name, UUID and the access rights (without scope).
    virtual std::string ToJson() const = 0;
};

typedef boost::shared_ptr<IUser> IUserPtr;

}  // namespace Security
}  // namespace Common
}  // namespace Kol
