#include "contracts/kernel/IResource.h"

namespace Kol {
namespace Common {
namespace Kernel {

IResource::~IResource() = default;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
