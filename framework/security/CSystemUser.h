#pragma once

#include <boost/shared_ptr.hpp>

#include "framework/security/IUser.h"

namespace Kol {
namespace Common {
namespace Security {

// The built-in user the module acts as: "system-user",
// 00000000-0000-0000-7002-000000000001, with 18 rights each granted in access
// types 0, 1 and 2 (54 entries) under scope 00000000-0000-0000-7001-000000000001.
// Immutable; always held through a shared pointer. Any thread.
class CSystemUser : public IUser {
public:
    static const char* const kName;
    static const char* const kUuid;
    static const char* const kScopeUuid;

    CSystemUser();
    ~CSystemUser() override;

    CSystemUser(const CSystemUser&) = delete;
    CSystemUser& operator=(const CSystemUser&) = delete;

    std::string GetName() const override;
    std::string GetUuid() const override;
    bool IsSystem() const override;
    AccessRights GetAccessRights() const override;
    // The system user has no matrix: the lists are emptied and, when
    // `required`, std::runtime_error "Access rights matrix is not available
    // for system user" is thrown.
    AccessRights GetAccessRightsMatrix(bool required, std::vector<std::string>& firstTexts,
                                       std::vector<std::string>& secondTexts,
                                       std::vector<std::int32_t>& values) const override;
    bool HasAccessRightsMatrix() const override;
    std::string ToJson() const override;

private:
    const AccessRights m_accessRights;
};

typedef boost::shared_ptr<CSystemUser> CSystemUserPtr;

}  // namespace Security
}  // namespace Common
}  // namespace Kol
