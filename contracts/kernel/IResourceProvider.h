#pragma once

#include <cstdint>

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IResource.h"

namespace Kol {
namespace Common {
namespace Kernel {

// Hands out the kernel's resources to a module during Initialize.
class IResourceProvider {
public:
    virtual ~IResourceProvider();

    // Returns the resource of the given type number (see ResourceType), or an
    // empty handle when the kernel has none. A non-empty handle is castable to
    // the interface that belongs to the type number.
    virtual IResourcePtr GetResource(std::int32_t type) = 0;
};

typedef boost::shared_ptr<IResourceProvider> IResourceProviderPtr;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
