#include "tests/kernel/CTestKernel.h"

#include <boost/make_shared.hpp>

namespace Kol {
namespace Testing {

using namespace Common;

Kernel::IResourcePtr CTestKernel::CProvider::GetResource(std::int32_t type) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_requests.push_back(type);
    const auto withheld = m_servedBeforeWithheld.find(type);
    if (withheld != m_servedBeforeWithheld.end()) {
        if (withheld->second == 0) {
            return Kernel::IResourcePtr();
        }
        --withheld->second;
    }
    return m_resources[type];
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
