#include "tests/kernel/CTestDatabase.h"

namespace Kol {
namespace Testing {

CTestDatabase::CTestDatabase() = default;

CTestDatabase::~CTestDatabase() = default;

Common::Database::IMapperPtr CTestDatabase::GetMapper(std::int32_t id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.push_back(id);
    const auto found = m_mappers.find(id);
    return found == m_mappers.end() ? Common::Database::IMapperPtr() : found->second;
}

void CTestDatabase::SetMapper(std::int32_t id, const Common::Database::IMapperPtr& mapper) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mappers[id] = mapper;
}

void CTestDatabase::RemoveMapper(std::int32_t id) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_mappers.erase(id);
}

std::vector<std::int32_t> CTestDatabase::GetRequestedIds() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void CTestDatabase::ClearRequests() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.clear();
}

}  // namespace Testing
}  // namespace Kol
