#include "framework/module/IFunctionCall.h"

namespace Kol {
namespace Common {
namespace Module {

IFunctionCall::~IFunctionCall() = default;

}  // namespace Module
}  // namespace Common
}  // namespace Kol
