#include "contracts/kernel/IDatabaseResource.h"

namespace Kol {
namespace Common {
namespace Kernel {

IDatabaseResource::~IDatabaseResource() = default;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
