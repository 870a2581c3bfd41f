#include "tests/kernel/CRecordingMapper.h"

#include <stdexcept>

namespace Kol {
namespace Testing {

CRecordingMapper::CRecordingMapper(const CMapperCallLogPtr& log)
    : m_log(log), m_blocking(false), m_blockedNow(0) {}

CRecordingMapper::~CRecordingMapper() = default;

void CRecordingMapper::FailWith(const std::string& text, const std::string& callName) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failures[callName] = text;
}

void CRecordingMapper::ClearFailures() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_failures.clear();
}

void CRecordingMapper::BlockCalls(const std::string& callName) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_blocking = true;
    m_blockedCall = callName;
}

void CRecordingMapper::Release() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_blocking = false;
    m_changed.notify_all();
}

bool CRecordingMapper::WaitUntilBlocked(std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_blockedNow != 0; });
}

void CRecordingMapper::Perform(const std::string& callName,
                               const std::vector<boost::posix_time::ptime>& arguments) {
    m_log->Record(CMapperCallLog::Call{callName, arguments});
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_blocking && Matches(m_blockedCall, callName)) {
        ++m_blockedNow;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return !m_blocking; });
        --m_blockedNow;
    }
    auto failure = m_failures.find(callName);
    if (failure == m_failures.end()) {
        failure = m_failures.find("");
    }
    if (failure != m_failures.end()) {
        throw std::runtime_error(failure->second);
    }
}

}  // namespace Testing
}  // namespace Kol
