#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "framework/security/IUser.h"

namespace Kol {
namespace Testing {

// The sender of one stress message: its user context travels beside the
// message, and the module's processing thread adopts it while it handles the
// message, so code called there (logger, mappers) can tell which message is
// being handled. Immutable; any thread.
class CStressUser : public Common::Security::IUser {
public:
    explicit CStressUser(std::uint32_t message) : m_message(message) {}

    std::uint32_t GetMessageNumber() const { return m_message; }

    std::string GetName() const override;
    std::string GetUuid() const override;
    bool IsSystem() const override { return false; }
    AccessRights GetAccessRights() const override { return {}; }
    // No matrix: throws std::runtime_error when `required`.
    AccessRights GetAccessRightsMatrix(bool required, std::vector<std::string>& firstTexts,
                                       std::vector<std::string>& secondTexts,
                                       std::vector<std::int32_t>& values) const override;
    bool HasAccessRightsMatrix() const override { return false; }
    std::string ToJson() const override;

private:
    const std::uint32_t m_message;
};

}  // namespace Testing
}  // namespace Kol
