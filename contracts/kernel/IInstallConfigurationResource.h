#pragma once

#include <cstdint>
#include <string>

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IResource.h"

namespace Kol {
namespace Common {
namespace Kernel {

// The installation's identity (resource type 2). Thread-safe.
class IInstallConfigurationResource : public IResource {
public:
    ~IInstallConfigurationResource() override;

    // The installation UUID in its 36-character text form.
    virtual std::string GetInstallationUuid() const = 0;

    // The installation kind; 1 is the kind that reports cleanup status events
    // and backs up its database.
    virtual std::int32_t GetInstallationKind() const = 0;
};

typedef boost::shared_ptr<IInstallConfigurationResource> IInstallConfigurationResourcePtr;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
