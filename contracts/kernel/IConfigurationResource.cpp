#include "contracts/kernel/IConfigurationResource.h"

namespace Kol {
namespace Common {
namespace Kernel {

IConfigurationResource::~IConfigurationResource() = default;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
