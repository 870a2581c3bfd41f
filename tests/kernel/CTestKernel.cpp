#include "tests/kernel/CTestKernel.h"

#include <boost/make_shared.hpp>

namespace Kol {
namespace Testing {

using namespace Common;
typedef std::lock_guard<std::mutex> Lock;

void CTestKernel::CServerConfiguration::SetRetentionDays(const std::array<std::uint16_t, 5>& days) {
    Lock lock(m_mutex);
    m_days = days;
}

std::vector<int> CTestKernel::CServerConfiguration::GetQueries() const {
    Lock lock(m_mutex);
    return m_queries;
}

std::uint16_t CTestKernel::CServerConfiguration::Query(int period) const {
    Lock lock(m_mutex);
    m_queries.push_back(period);
    return m_days[period - 1];
}

Database::IMapperPtr CTestKernel::CDatabase::GetMapper(std::int32_t id) {
    Lock lock(m_mutex);
    m_requests.push_back(id);
    const auto found = m_mappers.find(id);
    return found == m_mappers.end() ? Database::IMapperPtr() : found->second;
}

void CTestKernel::CDatabase::SetMapper(std::int32_t id, const Database::IMapperPtr& mapper) {
    Lock lock(m_mutex);
    m_mappers[id] = mapper;
}

std::vector<std::int32_t> CTestKernel::CDatabase::GetRequestedIds() const {
    Lock lock(m_mutex);
    return m_requests;
}

void CTestKernel::CDatabase::ClearRequests() {
    Lock lock(m_mutex);
    m_requests.clear();
}

Kernel::IResourcePtr CTestKernel::CProvider::GetResource(std::int32_t type) {
    Lock lock(m_mutex);
    m_requests.push_back(type);
    const auto withheld = m_servedBeforeWithheld.find(type);
    if (withheld != m_servedBeforeWithheld.end()) {
        if (withheld->second == 0) {
            return Kernel::IResourcePtr();
        }
        --withheld->second;
    }
    const auto found = m_resources.find(type);
    return found == m_resources.end() ? Kernel::IResourcePtr() : found->second;
}

void CTestKernel::CProvider::SetResource(std::int32_t type, const Kernel::IResourcePtr& resource) {
    Lock lock(m_mutex);
    m_resources[type] = resource;
}

void CTestKernel::CProvider::Withhold(std::int32_t type, std::size_t servedFirst) {
    Lock lock(m_mutex);
    m_servedBeforeWithheld[type] = servedFirst;
}

std::vector<std::int32_t> CTestKernel::CProvider::GetRequestedTypes() const {
    Lock lock(m_mutex);
    return m_requests;
}

CTestKernel::CTestKernel(std::int32_t loggerThreshold)
    : logger(boost::make_shared<CTestLogger>(loggerThreshold)),
      bus(boost::make_shared<CTestBus>()),
      installConfiguration(boost::make_shared<CInstallConfiguration>()),
      serverConfiguration(boost::make_shared<CServerConfiguration>()),
      database(boost::make_shared<CDatabase>()),
      mapper(boost::make_shared<CRecordingMapper>()),
      provider(boost::make_shared<CProvider>()) {
    for (const std::int32_t id : {Database::MapperIdCleanup, Database::MapperIdStaticObjects,
                                  Database::MapperIdComputerEnrollment, Database::MapperIdBackup}) {
        database->SetMapper(id, mapper);
    }
    provider->SetResource(Kernel::ResourceTypeBus, bus);
    provider->SetResource(Kernel::ResourceTypeInstallConfiguration, installConfiguration);
    provider->SetResource(Kernel::ResourceTypeLogger, logger);
    provider->SetResource(Kernel::ResourceTypeIdGenerator, boost::make_shared<CIdGenerator>());
    provider->SetResource(Kernel::ResourceTypeDatabase, database);
    provider->SetResource(Kernel::ResourceTypeConfiguration, serverConfiguration);
}

CTestKernel::~CTestKernel() = default;

}  // namespace Testing
}  // namespace Kol
