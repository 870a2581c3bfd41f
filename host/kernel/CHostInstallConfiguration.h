#pragma once

#include <cstdint>
#include <string>

#include "contracts/kernel/IInstallConfigurationResource.h"

namespace Kol {
namespace Host {

// The installation's identity as the command line and the store give it.
// Immutable, so thread-safe.
class CHostInstallConfiguration : public Common::Kernel::IInstallConfigurationResource {
public:
    // `uuid` is the canonical lower-case text form.
    CHostInstallConfiguration(const std::string& uuid, std::int32_t kind);

    std::string GetInstallationUuid() const override;
    std::int32_t GetInstallationKind() const override;

private:
    const std::string m_uuid;
    const std::int32_t m_kind;
};

}  // namespace Host
}  // namespace Kol
