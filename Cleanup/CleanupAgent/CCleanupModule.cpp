#include "Cleanup/CleanupAgent/CCleanupModule.h"

namespace Kol {
namespace Cleanup {
namespace Agent {

const char* const CCleanupModule::kName = "CCleanupModule";

CCleanupModule::CCleanupModule() : CCleanupModuleBase(kName) {}

CCleanupModule::~CCleanupModule() = default;

}  // namespace Agent
}  // namespace Cleanup
}  // namespace Kol
