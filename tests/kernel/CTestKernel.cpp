#include "tests/kernel/CTestKernel.h"

#include <boost/make_shared.hpp>

namespace Kol {
namespace Testing {

using namespace Common;

const char* const CTestKernel::kStaticObjects = "ICleanupStaticObjectsMapper::Cleanup";

CTestKernel::CTestKernel(std::int32_t loggerThreshold)
    : logger(boost::make_shared<CTestLogger>(loggerThreshold)),
      bus(boost::make_shared<CTestBus>()),
      idGenerator(boost::make_shared<CTestIdGenerator>()),
      installConfiguration(boost::make_shared<CTestInstallConfiguration>()),
      serverConfiguration(boost::make_shared<CTestServerConfiguration>()),
      plainConfiguration(boost::make_shared<CTestConfiguration>()),
      database(boost::make_shared<CTestDatabase>()),
      calls(boost::make_shared<CMapperCallLog>()),
      cleanupMapper(boost::make_shared<CRecordingCleanupMapper>(calls)),
      staticObjectsMapper(boost::make_shared<CRecordingStaticObjectsMapper>(calls, kStaticObjects)),
      enrollmentMapper(boost::make_shared<CRecordingEnrollmentMapper>(calls)),
      backupMapper(boost::make_shared<CRecordingBackupMapper>(calls)),
      provider(boost::make_shared<CTestResourceProvider>()) {
    database->SetMapper(Database::MapperIdCleanup, cleanupMapper);
    database->SetMapper(Database::MapperIdStaticObjects, staticObjectsMapper);
    database->SetMapper(Database::MapperIdComputerEnrollment, enrollmentMapper);
    database->SetMapper(Database::MapperIdBackup, backupMapper);

    provider->SetResource(Kernel::ResourceTypeBus, bus);
    provider->SetResource(Kernel::ResourceTypeInstallConfiguration, installConfiguration);
    provider->SetResource(Kernel::ResourceTypeLogger, logger);
    provider->SetResource(Kernel::ResourceTypeIdGenerator, idGenerator);
    provider->SetResource(Kernel::ResourceTypeDatabase, database);
    provider->SetResource(Kernel::ResourceTypeConfiguration, serverConfiguration);
}

CTestKernel::~CTestKernel() = default;

}  // namespace Testing
}  // namespace Kol
