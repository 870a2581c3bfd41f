#include "tests/kernel/CTestLogger.h"

namespace Kol {
namespace Testing {

void CTestLogger::SetLogLevel(std::int32_t level) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_threshold = level;
}

void CTestLogger::Log(const std::string& text, std::int32_t level, const std::string& moduleName) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_records.push_back(Record{text, level, moduleName});
    m_logged.notify_all();
}

std::int32_t CTestLogger::GetLogLevel() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_levelQueries;
    return m_threshold;
}

std::vector<CTestLogger::Record> CTestLogger::Records() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_records;
}

std::vector<std::string> CTestLogger::Texts() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> texts;
    for (const Record& record : m_records) {
        texts.push_back(record.text);
    }
    return texts;
}

std::size_t CTestLogger::GetLevelQueries() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_levelQueries;
}

void CTestLogger::Clear() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_records.clear();
}

bool CTestLogger::WaitFor(const std::function<bool(const std::vector<Record>&)>& predicate,
                          std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_logged.wait_for(lock, timeout, [&] { return predicate(m_records); });
}

bool CTestLogger::WaitForText(const std::string& text, std::chrono::milliseconds timeout) const {
    return WaitFor(
        [&](const std::vector<Record>& records) {
            for (const Record& record : records) {
                if (record.text == text) {
                    return true;
                }
            }
            return false;
        },
        timeout);
}

}  // namespace Testing
}  // namespace Kol
