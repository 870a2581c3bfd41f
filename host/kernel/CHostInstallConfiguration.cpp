#include "host/kernel/CHostInstallConfiguration.h"

namespace Kol {
namespace Host {

CHostInstallConfiguration::CHostInstallConfiguration(const std::string& uuid, std::int32_t kind)
    : m_uuid(uuid), m_kind(kind) {}

std::string CHostInstallConfiguration::GetInstallationUuid() const {
    return m_uuid;
}

std::int32_t CHostInstallConfiguration::GetInstallationKind() const {
    return m_kind;
}

}  // namespace Host
}  // namespace Kol
