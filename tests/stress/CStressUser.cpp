#include "tests/stress/CStressUser.h"

#include <cstdio>
#include <stdexcept>

namespace Kol {
namespace Testing {

std::string CStressUser::GetName() const {
    return "stress sender " + std::to_string(m_message);
}

std::string CStressUser::GetUuid() const {
    // The message number in the last group keeps every sender distinct.
    char text[37];
    std::snprintf(text, sizeof text, "57e55000-0000-4000-8000-%012x", m_message);
    return text;
}

CStressUser::AccessRights CStressUser::GetAccessRightsMatrix(
    bool required, std::vector<std::string>& firstTexts, std::vector<std::string>& secondTexts,
    std::vector<std::int32_t>& values) const {
    firstTexts.clear();
    secondTexts.clear();
    values.clear();
    if (required) {
        throw std::runtime_error("The stress sender has no access rights matrix");
    }
    return {};
}

std::string CStressUser::ToJson() const {
    return "{\"name\":\"" + GetName() + "\",\"uuid\":\"" + GetUuid() + "\",\"accessRights\":[]}";
}

}  // namespace Testing
}  // namespace Kol
