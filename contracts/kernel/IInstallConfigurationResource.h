#pragma once

#include <cstdint>
#include <string>

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IResource.h"

namespace Kol {
namespace Common {
namespace Kernel {

// Installation kinds that the cleanup module tells apart: on the reporting
// kind it sends status events and backs up the database; on every other kind
// it does neither.
enum InstallationKind : std::int32_t {
    InstallationKindReporting = 1,
};

// The installation's identity (resource type 2). Thread-safe.
class IInstallConfigurationResource : public IResource {
public:
    ~IInstallConfigurationResource() override;

    // The installation UUID in its 36-character text form.
    virtual std::string GetInstallationUuid() const = 0;

    // The installation kind (see InstallationKind).
    virtual std::int32_t GetInstallationKind() const = 0;
};

typedef boost::shared_ptr<IInstallConfigurationResource> IInstallConfigurationResourcePtr;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
