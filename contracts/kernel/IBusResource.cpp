#include "contracts/kernel/IBusResource.h"

namespace Kol {
namespace Common {
namespace Kernel {

IBusResource::~IBusResource() = default;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
