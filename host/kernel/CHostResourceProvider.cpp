#include "host/kernel/CHostResourceProvider.h"

namespace Kol {
namespace Host {

void CHostResourceProvider::Add(std::int32_t type, const Common::Kernel::IResourcePtr& resource) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_resources[type] = resource;
}

Common::Kernel::IResourcePtr CHostResourceProvider::GetResource(std::int32_t type) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_resources.find(type);
    return found == m_resources.end() ? Common::Kernel::IResourcePtr() : found->second;
}

}  // namespace Host
}  // namespace Kol
