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

}  // namespace Common
}  // namespace Cleanup
}  // namespace Kol
