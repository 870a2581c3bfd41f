#include "contracts/logs/ISerializable.h"

namespace Kol {
namespace Common {
namespace Logs {

ISerializable::~ISerializable() = default;

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
