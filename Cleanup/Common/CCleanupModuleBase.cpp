#include "Cleanup/Common/CCleanupModuleBase.h"

#include <utility>

#include <boost/make_shared.hpp>
#include <boost/pointer_cast.hpp>

#include "framework/module/CFunctionCallMessageProcessor.h"
#include "framework/module/CProcedureCall.h"

namespace Kol {
namespace Cleanup {
namespace Common {

using namespace Kol::Common;

CCleanupModuleBase::CCleanupModuleBase(std::string name) : CCommonModule(std::move(name)) {}

CCleanupModuleBase::~CCleanupModuleBase() {
    m_scheduleRegistry.clear();
    m_functionCallProcessor.reset();
    m_databaseResource.reset();
    m_cleanupConfigurationResource.reset();
}

void CCleanupModuleBase::OnInitialize(const Kernel::IResourceProviderPtr& provider) {
    // Both may be missing: the operations that need them report it.
    m_cleanupConfigurationResource = boost::dynamic_pointer_cast<Kernel::IConfigurationResource>(
        provider->GetResource(Kernel::ResourceTypeConfiguration));
    m_databaseResource = boost::dynamic_pointer_cast<Kernel::IDatabaseResource>(
        provider->GetResource(Kernel::ResourceTypeDatabase));
    m_functionCallProcessor = boost::make_shared<Module::CFunctionCallMessageProcessor>();
    RegisterFunctionCalls();
    SubscribeMessageTypes(m_functionCallProcessor->GetMessageTypes(), m_functionCallProcessor);
    LogInfo() << "Module initialized";
}

void CCleanupModuleBase::RegisterFunctionCalls() {
    typedef Module::CProcedureCall<CCleanupModuleBase, Message::Cleanup::CCleanupLogs> Call;
    m_functionCallProcessor->RegisterFunctionCall(
        Kernel::MessageTypeCleanupLogs,
        boost::make_shared<Call>(this, &CCleanupModuleBase::ProcessCleanupTask));
}

}  // namespace Common
}  // namespace Cleanup
}  // namespace Kol
