#include "contracts/logs/ILockable.h"

namespace Kol {
namespace Common {
namespace Logs {

ILockable::~ILockable() = default;

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
