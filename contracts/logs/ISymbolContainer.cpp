#include "contracts/logs/ISymbolContainer.h"

namespace Kol {
namespace Common {
namespace Logs {

ISymbolContainer::~ISymbolContainer() = default;

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
