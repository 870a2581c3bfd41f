#include "contracts/kernel/IModule.h"

namespace Kol {
namespace Common {
namespace Kernel {

IModule::~IModule() = default;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
