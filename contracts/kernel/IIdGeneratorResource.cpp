#include "contracts/kernel/IIdGeneratorResource.h"

namespace Kol {
namespace Common {
namespace Kernel {

IIdGeneratorResource::~IIdGeneratorResource() = default;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
