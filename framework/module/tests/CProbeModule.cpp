#include "framework/module/tests/CProbeModule.h"

#include <atomic>

#include <boost/chrono/system_clocks.hpp>
#include <boost/make_shared.hpp>

#include "framework/module/CProcedureCall.h"
#include "framework/security/CurrentUserContext.h"

namespace Kol {
namespace Testing {

using namespace Common;

int ThreadSerial() {
    static std::atomic<int> counter{0};
    thread_local const int serial = ++counter;
    return serial;
}

const char* const CProbeModule::kName = "Probe";

CProbeModule::CProbeModule(std::vector<std::int32_t> types)
    : CCommonModule(kName), m_types(std::move(types)) {}

CProbeModule::~CProbeModule() = default;

void CProbeModule::OnInitialize(const Kernel::IResourceProviderPtr&) {
    const auto processor = boost::make_shared<Module::CFunctionCallMessageProcessor>();
    for (const std::int32_t type : m_types) {
        processor->RegisterFunctionCall(
            static_cast<Kernel::MessageType>(type),
            boost::make_shared<Module::CProcedureCall<CProbeModule, CTestMessage>>(
                this, &CProbeModule::Handle));
    }
    SubscribeMessageTypes(processor->GetMessageTypes(), processor);
}

void CProbeModule::OnStart() {
    ++startCalls;
}

void CProbeModule::OnStopRequested() {
    ++stopRequestedCalls;
}

bool CProbeModule::CanStop(bool) {
    return canStop;
}

void CProbeModule::Handle(const Kernel::IMessagePtr& message) {
    const CTestMessage& request = dynamic_cast<const CTestMessage&>(*message);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_handled.push_back(
            Handled{request.GetSerial(), Security::GetCurrentUserContext(), ThreadSerial()});
        m_handledChanged.notify_all();
    }
    if (onHandle) {
        onHandle(request);
    }
}

std::vector<CProbeModule::Handled> CProbeModule::HandledMessages() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_handled;
}

std::vector<int> CProbeModule::HandledSerials() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<int> serials;
    for (const Handled& handled : m_handled) {
        serials.push_back(handled.serial);
    }
    return serials;
}

bool CProbeModule::WaitForHandled(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_handledChanged.wait_for(lock, timeout, [&] { return m_handled.size() >= count; });
}

bool CGate::Wait() {
    boost::unique_lock<boost::mutex> lock(m_mutex);
    ++m_entered;
    m_changed.notify_all();
    return m_changed.wait_for(lock, boost::chrono::seconds(10), [&] { return m_open; });
}

void CGate::Open() {
    boost::lock_guard<boost::mutex> lock(m_mutex);
    m_open = true;
    m_changed.notify_all();
}

bool CGate::WaitForEntered(int count, std::chrono::milliseconds timeout) {
    boost::unique_lock<boost::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, boost::chrono::milliseconds(timeout.count()),
                              [&] { return m_entered >= count; });
}

}  // namespace Testing
}  // namespace Kol
