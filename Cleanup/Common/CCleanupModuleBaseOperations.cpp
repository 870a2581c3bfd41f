// The cleanup engine: request processing, the cleanup operations and the
// re-scheduling step of CCleanupModuleBase.

#include "Cleanup/Common/CCleanupModuleBase.h"

namespace Kol {
namespace Cleanup {
namespace Common {

using namespace Kol::Common;

void CCleanupModuleBase::ProcessCleanupTask(const Kernel::IMessagePtr&) {}

void CCleanupModuleBase::CleanupObsoleteDeltaLogs() {}
void CCleanupModuleBase::CleanupOldLogs() {}
void CCleanupModuleBase::CleanupAbandonedLogs() {}
void CCleanupModuleBase::CleanupHook1() {}
void CCleanupModuleBase::CleanupHook2() {}
void CCleanupModuleBase::CleanupHook3() {}
void CCleanupModuleBase::CleanupHook4() {}
void CCleanupModuleBase::CleanupHook5() {}
void CCleanupModuleBase::CleanupHook6() {}
void CCleanupModuleBase::CleanupHook7() {}
void CCleanupModuleBase::CleanupHook8() {}
void CCleanupModuleBase::CleanupStaticObjects() {}
void CCleanupModuleBase::CleanupHook9() {}
void CCleanupModuleBase::CleanupHook10() {}
void CCleanupModuleBase::CleanupHook11() {}
void CCleanupModuleBase::CleanupHook12() {}
void CCleanupModuleBase::CleanupHook13() {}
void CCleanupModuleBase::CleanupIndexes() {}

}  // namespace Common
}  // namespace Cleanup
}  // namespace Kol
