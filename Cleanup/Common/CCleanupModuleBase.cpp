#include "Cleanup/Common/CCleanupModuleBase.h"

#include <boost/pointer_cast.hpp>

namespace Kol {
namespace Cleanup {
namespace Common {

using namespace Kol::Common;

CCleanupModuleBase::CCleanupModuleBase() = default;

CCleanupModuleBase::~CCleanupModuleBase() {
    m_scheduleRegistry.clear();
    m_functionCallProcessor.reset();
    m_databaseResource.reset();
    m_cleanupConfigurationResource.reset();
}

void CCleanupModuleBase::OnInitialize(const Kernel::IResourceProviderPtr& provider) {
    m_cleanupConfigurationResource = boost::dynamic_pointer_cast<Kernel::IConfigurationResource>(
        provider->GetResource(Kernel::ResourceTypeConfiguration));
    m_databaseResource = boost::dynamic_pointer_cast<Kernel::IDatabaseResource>(
        provider->GetResource(Kernel::ResourceTypeDatabase));
    RegisterFunctionCalls();
    LogInfo() << "Module initialized";
}

void CCleanupModuleBase::RegisterFunctionCalls() {}

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
