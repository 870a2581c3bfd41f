#include "framework/security/CSystemUser.h"

#include <sstream>
#include <stdexcept>

namespace Kol {
namespace Common {
namespace Security {

namespace {

// The rights of the system user, in the order they are granted and described.
const char* const kRightUuids[] = {
    "00000000-0000-0000-7004-000000000001", "00000000-0000-0000-7004-000000000002",
    "00000000-0000-0000-7004-000000000003", "00000000-0000-0000-7004-000000000008",
    "00000000-0000-0000-7004-000000000009", "00000000-0000-0000-7004-000000000010",
    "00000000-0000-0000-7004-000000000011", "00000000-0000-0000-7004-000000000012",
    "00000000-0000-0000-7004-000000000020", "00000000-0000-0000-7004-000000000014",
    "00000000-0000-0000-7004-000000000036", "00000000-0000-0000-7004-000000000017",
    "00000000-0000-0000-7004-000000000037", "00000000-0000-0000-7004-000000000018",
    "00000000-0000-0000-7004-000000000038", "00000000-0000-0000-7004-000000000019",
    "00000000-0000-0000-7004-000000000034", "00000000-0000-0000-7004-000000000031",
};

IUser::AccessRights BuildAccessRights() {
    IUser::AccessRights rights;
    for (const char* uuid : kRightUuids) {
        for (std::int32_t accessType = 0; accessType <= 2; ++accessType) {
            rights.push_back(CAccessRight{uuid, accessType, CSystemUser::kScopeUuid});
        }
    }
    return rights;
}

}  // namespace

const char* const CSystemUser::kName = "system-user";
const char* const CSystemUser::kUuid = "00000000-0000-0000-7002-000000000001";
const char* const CSystemUser::kScopeUuid = "00000000-0000-0000-7001-000000000001";

CSystemUser::CSystemUser() : m_accessRights(BuildAccessRights()) {}

CSystemUser::~CSystemUser() = default;

std::string CSystemUser::GetName() const {
    return kName;
}

std::string CSystemUser::GetUuid() const {
    return kUuid;
}

bool CSystemUser::IsSystem() const {
    return true;
}

IUser::AccessRights CSystemUser::GetAccessRights() const {
    return m_accessRights;
}

IUser::AccessRights CSystemUser::GetAccessRightsMatrix(bool required,
                                                       std::vector<std::string>& firstTexts,
                                                       std::vector<std::string>& secondTexts,
                                                       std::vector<std::int32_t>& values) const {
    AccessRights rights = GetAccessRights();
    firstTexts.clear();
    secondTexts.clear();
    values.clear();
    if (required) {
        throw std::runtime_error("Access rights matrix is not available for system user");
    }
    return rights;
}

bool CSystemUser::HasAccessRightsMatrix() const {
    return false;
}

std::string CSystemUser::ToJson() const {
    // Names go out unescaped: the only user described here has plain ASCII ones.
    std::ostringstream json;
    json << "{ \"name\" : \"" << GetName() << "\", \"uuid\" : \"" << GetUuid()
         << "\", \"accessRights\" : [ ";
    bool first = true;
    for (const CAccessRight& right : m_accessRights) {
        if (!first) {
            json << ", ";
        }
        first = false;
        json << "{ \"uuid\" : \"" << right.uuid << "\", \"accessType\" : " << right.accessType
             << " }";
    }
    json << " ]"
         << " }";
    return json.str();
}

}  // namespace Security
}  // namespace Common
}  // namespace Kol
