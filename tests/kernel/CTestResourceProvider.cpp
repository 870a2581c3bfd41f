#include "tests/kernel/CTestResourceProvider.h"

namespace Kol {
namespace Testing {

CTestResourceProvider::CTestResourceProvider() = default;

CTestResourceProvider::~CTestResourceProvider() = default;

Common::Kernel::IResourcePtr CTestResourceProvider::GetResource(std::int32_t type) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.push_back(type);
    const auto withheld = m_withheld.find(type);
    if (withheld != m_withheld.end()) {
        if (withheld->second == 0) {
            return Common::Kernel::IResourcePtr();
        }
        --withheld->second;
    }
    const auto found = m_resources.find(type);
    return found == m_resources.end() ? Common::Kernel::IResourcePtr() : found->second;
}

void CTestResourceProvider::SetResource(std::int32_t type,
                                        const Common::Kernel::IResourcePtr& resource) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_resources[type] = resource;
}

void CTestResourceProvider::Withhold(std::int32_t type, std::size_t servedFirst) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_withheld[type] = servedFirst;
}

void CTestResourceProvider::Restore(std::int32_t type) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_withheld.erase(type);
}

std::vector<std::int32_t> CTestResourceProvider::GetRequestedTypes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void CTestResourceProvider::ClearRequests() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.clear();
}

}  // namespace Testing
}  // namespace Kol
