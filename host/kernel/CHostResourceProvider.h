#pragma once

#include <cstdint>
#include <map>
#include <mutex>

#include "contracts/kernel/IResourceProvider.h"

namespace Kol {
namespace Host {

// Hands out the host's resources by type number. Thread-safe.
class CHostResourceProvider : public Common::Kernel::IResourceProvider {
public:
    // Registers (or replaces) the resource of `type`.
    void Add(std::int32_t type, const Common::Kernel::IResourcePtr& resource);

    // The resource of `type`, or an empty handle.
    Common::Kernel::IResourcePtr GetResource(std::int32_t type) override;

private:
    std::mutex m_mutex;
    std::map<std::int32_t, Common::Kernel::IResourcePtr> m_resources;  // guarded by m_mutex
};

}  // namespace Host
}  // namespace Kol
