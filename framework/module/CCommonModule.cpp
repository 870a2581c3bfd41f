#include "framework/module/CCommonModule.h"

#include <stdexcept>
#include <utility>

#include <boost/make_shared.hpp>
#include <boost/pointer_cast.hpp>

#include "framework/module/CMessageProcessorThreadHolder.h"
#include "framework/module/CReplyProcessor.h"
#include "framework/security/CurrentUserContext.h"

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

CCommonModule::CCommonModule(std::string name) : m_name(std::move(name)) {}

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
        provider, Kernel::ResourceTypeConfiguration, "Kol::Common::Kernel::IConfigurationResource");
    m_replyProcessor = boost::make_shared<CReplyProcessor>(m_busResource, m_idGeneratorResource);
    OnInitialize(provider);
}

void CCommonModule::Start() {
    Security::EnsureSystemUserContext();
    ArmThreads();
    OnStart();
}

void CCommonModule::RequestStop() {
    Security::EnsureSystemUserContext();
    OnStopRequested();
}

bool CCommonModule::Stop(bool force) {
    Security::EnsureSystemUserContext();
    if (!CanStop(force)) {
        return false;
    }
    if (force) {
        // Interrupt all first so that the threads wind down together.
        for (const ThreadHolderPtr& holder : m_threadHolders) {
            holder->Interrupt();
        }
        for (const ThreadHolderPtr& holder : m_threadHolders) {
            holder->JoinThread();
        }
        return true;
    }
    for (const ThreadHolderPtr& holder : m_threadHolders) {
        if (!holder->StopGracefully()) {
            // Busy: holders already stopped are armed again too, so that the
            // module goes on as if the stop had not been asked for.
            ArmThreads();
            OnStart();
            return false;
        }
    }
    return true;
}

std::string CCommonModule::GetName() const {
    return m_name;
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
    if (!m_busResource) {
        throw std::logic_error("SendMessage needs the bus resource taken by Initialize");
    }
    Security::EnsureCurrentUserContext();
    m_busResource->Send(message, Security::GetCurrentUserContext());
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

void CCommonModule::SubscribeMessageTypes(const std::vector<std::int32_t>& types,
                                          const boost::shared_ptr<IMessageProcessor>& processor) {
    const ThreadHolderPtr holder =
        boost::make_shared<CMessageProcessorThreadHolder>(*this, processor);
    for (const std::int32_t type : types) {
        m_busResource->Subscribe(holder->GetSubscriber(), static_cast<Kernel::MessageType>(type));
    }
    m_threadHolders.push_back(holder);
}

void CCommonModule::ArmThreads() {
    for (const ThreadHolderPtr& holder : m_threadHolders) {
        holder->Arm();
    }
}

}  // namespace Module
}  // namespace Common
}  // namespace Kol
