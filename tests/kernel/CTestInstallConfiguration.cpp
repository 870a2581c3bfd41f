#include "tests/kernel/CTestInstallConfiguration.h"

namespace Kol {
namespace Testing {

const char* const CTestInstallConfiguration::kDefaultUuid = "0a1b2c3d-4e5f-4071-8293-a4b5c6d7e8f9";

CTestInstallConfiguration::CTestInstallConfiguration()
    : m_uuid(kDefaultUuid), m_kind(1), m_kindQueries(0) {}

CTestInstallConfiguration::~CTestInstallConfiguration() = default;

std::string CTestInstallConfiguration::GetInstallationUuid() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_uuid;
}

std::int32_t CTestInstallConfiguration::GetInstallationKind() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_kindQueries;
    return m_kind;
}

void CTestInstallConfiguration::SetInstallationUuid(const std::string& uuid) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_uuid = uuid;
}

void CTestInstallConfiguration::SetInstallationKind(std::int32_t kind) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_kind = kind;
}

std::size_t CTestInstallConfiguration::GetKindQueries() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_kindQueries;
}

}  // namespace Testing
}  // namespace Kol
