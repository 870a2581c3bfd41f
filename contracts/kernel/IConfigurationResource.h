#pragma once

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/IResource.h"

namespace Kol {
namespace Common {
namespace Kernel {

// The agent's configuration (resource type 11). What it offers depends on the
// kind of agent; a server agent's configuration is an
// IServerConfigurationResource.
class IConfigurationResource : public IResource {
public:
    ~IConfigurationResource() override;
};

typedef boost::shared_ptr<IConfigurationResource> IConfigurationResourcePtr;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
