#include "framework/module/CFunctionCallMessageProcessor.h"

#include <stdexcept>

namespace Kol {
namespace Common {
namespace Module {

CFunctionCallMessageProcessor::CFunctionCallMessageProcessor() = default;

CFunctionCallMessageProcessor::~CFunctionCallMessageProcessor() = default;

bool CFunctionCallMessageProcessor::RegisterFunctionCall(Kernel::MessageType type,
                                                         const IFunctionCallPtr& call) {
    return m_calls.emplace(static_cast<std::int32_t>(type), call).second;
}

std::vector<std::int32_t> CFunctionCallMessageProcessor::GetMessageTypes() const {
    std::vector<std::int32_t> types;
    types.reserve(m_calls.size());
    for (const auto& entry : m_calls) {
        types.push_back(entry.first);
    }
    return types;
}

void CFunctionCallMessageProcessor::Process(const Kernel::IMessagePtr& message) {
    const auto found = m_calls.find(static_cast<std::int32_t>(message->GetType()));
    if (found == m_calls.end()) {
        throw std::runtime_error("No function call was found for received message type");
    }
    found->second->Call(message);
}

}  // namespace Module
}  // namespace Common
}  // namespace Kol
