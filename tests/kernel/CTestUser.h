#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "framework/security/IUser.h"

namespace Kol::Testing {

// A user that is never the system user: any UUID text, no rights, and a
// number a test may use to tell senders apart. Immutable; any thread.
class CTestUser : public Common::Security::IUser {
public:
    explicit CTestUser(std::string uuid, std::int64_t number = -1)
        : number(number), m_uuid(std::move(uuid)) {}

    std::string GetName() const override { return "someone"; }
    std::string GetUuid() const override { return m_uuid; }
    bool IsSystem() const override { return false; }
    AccessRights GetAccessRights() const override { return {}; }
    AccessRights GetAccessRightsMatrix(bool, std::vector<std::string>&, std::vector<std::string>&,
                                       std::vector<std::int32_t>&) const override {
        return {};
    }
    bool HasAccessRightsMatrix() const override { return false; }
    std::string ToJson() const override { return "{}"; }

    const std::int64_t number;

private:
    const std::string m_uuid;
};

}  // namespace Kol::Testing
