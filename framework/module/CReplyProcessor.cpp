#include "framework/module/CReplyProcessor.h"

#include <stdexcept>

#include <boost/pointer_cast.hpp>
#include <boost/thread/lock_guard.hpp>

namespace Kol {
namespace Common {
namespace Module {

CReplyProcessor::CReplyProcessor(const Kernel::IBusResourcePtr& bus,
                                 const Kernel::IIdGeneratorResourcePtr& idGenerator)
    : m_bus(bus), m_idGenerator(idGenerator) {}

CReplyProcessor::~CReplyProcessor() = default;

void CReplyProcessor::Process(const Kernel::IMessagePtr& message) {
    const CResponsePtr response = boost::dynamic_pointer_cast<CResponse>(message);
    if (!response) {
        throw std::runtime_error("Bad cast to Kol::Common::Module::CResponse");
    }
    boost::lock_guard<boost::mutex> lock(m_mutex);
    const auto found = m_pendingReplies.find(response->GetRequestId());
    if (found == m_pendingReplies.end()) {
        return;  // nobody waits (any more): dropped on purpose
    }
    found->second->response = response;
    found->second->condition.notify_one();
}

bool CReplyProcessor::AddPendingReply(std::uint32_t requestId, CPendingReply& slot) {
    boost::lock_guard<boost::mutex> lock(m_mutex);
    return m_pendingReplies.emplace(requestId, &slot).second;
}

void CReplyProcessor::RemovePendingReply(std::uint32_t requestId) {
    boost::lock_guard<boost::mutex> lock(m_mutex);
    m_pendingReplies.erase(requestId);
}

CResponsePtr CReplyProcessor::WaitForReply(CPendingReply& slot,
                                           boost::chrono::nanoseconds timeout) {
    const boost::chrono::steady_clock::time_point deadline =
        boost::chrono::steady_clock::now() + timeout;
    boost::unique_lock<boost::mutex> lock(m_mutex);
    while (!slot.response) {
        if (slot.condition.wait_until(lock, deadline) == boost::cv_status::timeout) {
            break;
        }
    }
    return slot.response;
}

}  // namespace Module
}  // namespace Common
}  // namespace Kol
