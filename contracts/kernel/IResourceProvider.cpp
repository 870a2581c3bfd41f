#include "contracts/kernel/IResourceProvider.h"

namespace Kol {
namespace Common {
namespace Kernel {

IResourceProvider::~IResourceProvider() = default;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
