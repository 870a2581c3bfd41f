#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/pointer_cast.hpp>

#include "framework/security/CurrentUserContext.h"
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

    // The number of the message the calling thread is handling, or -1.
    static std::int64_t Current() {
        const auto context = Common::Security::GetCurrentUserContext();
        const auto user = context ? boost::dynamic_pointer_cast<CStressUser>(context->GetUser())
                                  : boost::shared_ptr<CStressUser>();
        return user ? static_cast<std::int64_t>(user->m_message) : -1;
    }

    std::string GetName() const override { return "stress sender " + std::to_string(m_message); }
    std::string GetUuid() const override { return "stress-" + std::to_string(m_message); }
    bool IsSystem() const override { return false; }
    AccessRights GetAccessRights() const override { return {}; }
    AccessRights GetAccessRightsMatrix(bool required, std::vector<std::string>& firstTexts,
                                       std::vector<std::string>& secondTexts,
                                       std::vector<std::int32_t>& values) const override {
        firstTexts.clear();
        secondTexts.clear();
        values.clear();
        if (required) {
            throw std::runtime_error("The stress sender has no access rights matrix");
        }
        return {};
    }
    bool HasAccessRightsMatrix() const override { return false; }
    std::string ToJson() const override { return "{\"name\":\"" + GetName() + "\"}"; }

private:
    const std::uint32_t m_message;
};

}  // namespace Testing
}  // namespace Kol
