#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IResourceProvider.h"

namespace Kol {
namespace Testing {

// Hands out the resources it was given, except those withheld, and records
// every requested type in order. Thread-safe.
class CTestResourceProvider : public Common::Kernel::IResourceProvider {
public:
    CTestResourceProvider();
    ~CTestResourceProvider() override;

    CTestResourceProvider(const CTestResourceProvider&) = delete;
    CTestResourceProvider& operator=(const CTestResourceProvider&) = delete;

    // Records `type`; returns its resource, or an empty handle when it is
    // withheld (beyond its served requests) or was never set.
    Common::Kernel::IResourcePtr GetResource(std::int32_t type) override;

    void SetResource(std::int32_t type, const Common::Kernel::IResourcePtr& resource);
    // The resource stays stored, but after the next `servedFirst` requests of
    // `type` it is no longer handed out, until Restore.
    void Withhold(std::int32_t type, std::size_t servedFirst = 0);
    void Restore(std::int32_t type);

    std::vector<std::int32_t> GetRequestedTypes() const;
    void ClearRequests();

private:
    mutable std::mutex m_mutex;
    std::map<std::int32_t, Common::Kernel::IResourcePtr> m_resources;  // guarded by m_mutex
    // type -> requests still served before the type is withheld
    std::map<std::int32_t, std::size_t> m_withheld;  // guarded by m_mutex
    std::vector<std::int32_t> m_requests;            // guarded by m_mutex
};

typedef boost::shared_ptr<CTestResourceProvider> CTestResourceProviderPtr;

}  // namespace Testing
}  // namespace Kol
