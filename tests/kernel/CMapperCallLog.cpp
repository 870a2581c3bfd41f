#include "tests/kernel/CMapperCallLog.h"

namespace Kol {
namespace Testing {

CMapperCallLog::CMapperCallLog() = default;

CMapperCallLog::~CMapperCallLog() = default;

void CMapperCallLog::Record(const Call& call) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.push_back(call);
    m_recorded.notify_all();
}

std::vector<CMapperCallLog::Call> CMapperCallLog::Calls() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

std::vector<std::string> CMapperCallLog::Names() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> names;
    for (const Call& call : m_calls) {
        names.push_back(call.name);
    }
    return names;
}

void CMapperCallLog::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.clear();
}

bool CMapperCallLog::WaitForCalls(std::size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_recorded.wait_for(lock, timeout, [&] { return m_calls.size() >= count; });
}

}  // namespace Testing
}  // namespace Kol
