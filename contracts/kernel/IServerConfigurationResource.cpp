#include "contracts/kernel/IServerConfigurationResource.h"

namespace Kol {
namespace Common {
namespace Kernel {

IServerConfigurationResource::~IServerConfigurationResource() = default;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
