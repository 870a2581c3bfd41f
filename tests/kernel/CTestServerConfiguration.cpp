#include "tests/kernel/CTestServerConfiguration.h"

namespace Kol {
namespace Testing {

CTestServerConfiguration::CTestServerConfiguration() : m_days{{1, 7, 30, 90, 365}} {}

CTestServerConfiguration::CTestServerConfiguration(const RetentionDays& days) : m_days(days) {}

CTestServerConfiguration::~CTestServerConfiguration() = default;

void CTestServerConfiguration::SetRetentionDays(const RetentionDays& days) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_days = days;
}

std::vector<int> CTestServerConfiguration::GetQueries() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queries;
}

void CTestServerConfiguration::ClearQueries() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queries.clear();
}

std::uint16_t CTestServerConfiguration::Query(int period) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queries.push_back(period);
    return m_days[period - 1];
}

}  // namespace Testing
}  // namespace Kol
