#include "Cleanup/CleanupAgent/CCleanupModule.h"

namespace Kol {
namespace Cleanup {
namespace Agent {

CCleanupModule::CCleanupModule() = default;

CCleanupModule::~CCleanupModule() = default;

}  // namespace Agent
}  // namespace Cleanup
}  // namespace Kol
