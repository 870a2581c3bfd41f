#include "contracts/kernel/ILoggerResource.h"

namespace Kol {
namespace Common {
namespace Kernel {

ILoggerResource::~ILoggerResource() = default;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
