#include "contracts/kernel/IInstallConfigurationResource.h"

namespace Kol {
namespace Common {
namespace Kernel {

IInstallConfigurationResource::~IInstallConfigurationResource() = default;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
