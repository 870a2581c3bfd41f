#include "contracts/logs/IProtobufGetter.h"

namespace Kol {
namespace Common {
namespace Logs {

IProtobufGetter::~IProtobufGetter() = default;

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
