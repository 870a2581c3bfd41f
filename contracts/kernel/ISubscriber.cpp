#include "contracts/kernel/ISubscriber.h"

namespace Kol {
namespace Common {
namespace Kernel {

ISubscriber::~ISubscriber() = default;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
