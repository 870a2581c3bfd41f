#include "framework/module/CCommonModule.h"

#include <stdexcept>

#include <boost/pointer_cast.hpp>

namespace Kol {
namespace Common {
namespace Module {

namespace {

// Requests one resource and casts it; throws "Bad cast to <name>" when the
// kernel has none or one of another type. The wrong one is released first.
template <typename Interface>
boost::shared_ptr<Interface> TakeResource(const Kernel::IResourceProviderPtr& provider,
                                          std::int32_t type, const char* name) {
    boost::shared_ptr<Interface> resource =
        boost::dynamic_pointer_cast<Interface>(provider->GetResource(type));
    if (!resource) {
        throw std::runtime_error(std::string("Bad cast to ") + name);
    }
    return resource;
}

}  // namespace

CCommonModule::CCommonModule() = default;

CCommonModule::~CCommonModule() {
    m_threadHolders.clear();
    m_replyProcessor.reset();
    m_configurationResource.reset();
    m_installConfigurationResource.reset();
    m_idGeneratorResource.reset();
    m_loggerResource.reset();
    m_busResource.reset();
}

void CCommonModule::Initialize(const Kernel::IResourceProviderPtr& provider) {
    m_busResource = TakeResource<Kernel::IBusResource>(provider, Kernel::ResourceTypeBus,
                                                       "Kol::Common::Kernel::IBusResource");
    m_loggerResource = TakeResource<Kernel::ILoggerResource>(
        provider, Kernel::ResourceTypeLogger, "Kol::Common::Kernel::ILoggerResource");
    m_idGeneratorResource = TakeResource<Kernel::IIdGeneratorResource>(
        provider, Kernel::ResourceTypeIdGenerator, "Kol::Common::Kernel::IIdGeneratorResource");
    m_installConfigurationResource = TakeResource<Kernel::IInstallConfigurationResource>(
        provider, Kernel::ResourceTypeInstallConfiguration,
        "Kol::Common::Kernel::IInstallConfigurationResource");
    m_configurationResource = TakeResource<Kernel::IConfigurationResource>(
        provider, Kernel::ResourceTypeConfiguration,
        "Kol::Common::Kernel::IConfigurationResource");
    OnInitialize(provider);
}

void CCommonModule::Start() {
    OnStart();
}

void CCommonModule::RequestStop() {
    OnStopRequested();
}

bool CCommonModule::Stop(bool force) {
    return CanStop(force);
}

std::string CCommonModule::GetName() const {
    return "CCleanupModule";
}

void CCommonModule::LogError(const std::string& text) const {
    if (m_loggerResource) {
        m_loggerResource->Log(text, Error, GetName());
    }
}

CModuleLogStream CCommonModule::LogStream(std::int32_t level) const {
    return CModuleLogStream(m_loggerResource.get(), level, GetName());
}

void CCommonModule::SendMessage(const Kernel::IMessagePtr& message) {
    m_busResource->Send(message, Kernel::ISubscriber::UserContextPtr());
}

void CCommonModule::OnInitialize(const Kernel::IResourceProviderPtr&) {}

void CCommonModule::OnStart() {}

void CCommonModule::OnStopRequested() {}

bool CCommonModule::CanStop(bool) {
    return true;
}

Kernel::ILoggerResourcePtr CCommonModule::GetLoggerResource() const {
    return m_loggerResource;
}

void CCommonModule::SubscribeMessageTypes(const std::vector<std::int32_t>&,
                                          const boost::shared_ptr<IMessageProcessor>&) {}

void CCommonModule::ArmThreads() {}

}  // namespace Module
}  // namespace Common
}  // namespace Kol
