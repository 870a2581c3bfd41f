#pragma once

#include <cstdint>

#include <boost/shared_ptr.hpp>

namespace Kol {
namespace Common {
namespace Kernel {

// Resource type numbers understood by IResourceProvider::GetResource.
enum ResourceType : std::int32_t {
    ResourceTypeBus = 1,
    ResourceTypeInstallConfiguration = 2,
    ResourceTypeLogger = 3,
    ResourceTypeIdGenerator = 4,
    ResourceTypeDatabase = 6,
    ResourceTypeConfiguration = 11,
};

// Base of every kernel resource. A module reaches the concrete interface with a
// dynamic cast of the shared handle.
class IResource {
public:
    virtual ~IResource();
};

typedef boost::shared_ptr<IResource> IResourcePtr;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
