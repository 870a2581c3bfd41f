#include "contracts/kernel/IMessage.h"

namespace Kol {
namespace Common {
namespace Kernel {

IMessage::~IMessage() = default;

}  // namespace Kernel
}  // namespace Common
}  // namespace Kol
