#include "CHelloModule.h"

#include <cstdint>
#include <string>

#include <boost/make_shared.hpp>
#include <boost/pointer_cast.hpp>

#include "contracts/kernel/MessageType.h"
#include "contracts/message/CCleanupLogs.h"
#include "framework/module/CProcedureCall.h"

namespace Hello {

using Kol::Common::Kernel::IMessagePtr;
using Kol::Common::Message::Cleanup::CCleanupLogs;

CHelloModule::CHelloModule() : CCommonModule("CHelloModule") {}

CHelloModule::~CHelloModule() = default;

void CHelloModule::OnInitialize(const Kol::Common::Kernel::IResourceProviderPtr&) {
    typedef Kol::Common::Module::CProcedureCall<CHelloModule, CCleanupLogs> Call;
    m_calls = boost::make_shared<Kol::Common::Module::CFunctionCallMessageProcessor>();
    m_calls->RegisterFunctionCall(
        Kol::Common::Kernel::MessageTypeCleanupLogs,
        boost::make_shared<Call>(this, &CHelloModule::ProcessCleanupRequest));
    SubscribeMessageTypes(m_calls->GetMessageTypes(), m_calls);
    LogInfo() << "Hello module initialized";
}

void CHelloModule::ProcessCleanupRequest(const IMessagePtr& message) {
    // CProcedureCall has checked the class already.
    const auto request = boost::static_pointer_cast<CCleanupLogs>(message);
    ++m_requests;
    LogInfo() << "Hello from the example module: request " << m_requests << " asks for "
              << request->GetOperations().size() << " operation(s)";
    for (const std::int32_t operation : request->GetOperations()) {
        LogInfo() << "Hello: operation " << std::to_string(operation)
                  << " left to the real cleanup module";
    }
}

}  // namespace Hello
