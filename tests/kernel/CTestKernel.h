#pragma once

#include "contracts/database/ICleanupStaticObjectsMapper.h"
#include "tests/kernel/CMapperCallLog.h"
#include "tests/kernel/CRecordingBackupMapper.h"
#include "tests/kernel/CRecordingCleanupMapper.h"
#include "tests/kernel/CRecordingEnrollmentMapper.h"
#include "tests/kernel/CRecordingSimpleMapper.h"
#include "tests/kernel/CTestBus.h"
#include "tests/kernel/CTestConfiguration.h"
#include "tests/kernel/CTestDatabase.h"
#include "tests/kernel/CTestIdGenerator.h"
#include "tests/kernel/CTestInstallConfiguration.h"
#include "tests/kernel/CTestLogger.h"
#include "tests/kernel/CTestResourceProvider.h"
#include "tests/kernel/CTestServerConfiguration.h"

namespace Kol {
namespace Testing {

// A complete recording kernel: every resource a module asks for, present,
// with the configuration (11) being a server configuration and the database
// holding the four recording mappers (ids 21, 22, 361, 365) on one call log.
// Tests change or withhold pieces through the members.
class CTestKernel {
public:
    typedef CRecordingSimpleMapper<Common::Database::ICleanupStaticObjectsMapper>
        CRecordingStaticObjectsMapper;
    static const char* const kStaticObjects;  // "ICleanupStaticObjectsMapper::Cleanup"

    // `loggerThreshold` is the logger's initial GetLogLevel.
    explicit CTestKernel(std::int32_t loggerThreshold = 1);
    ~CTestKernel();

    CTestKernel(const CTestKernel&) = delete;
    CTestKernel& operator=(const CTestKernel&) = delete;

    const CTestLoggerPtr logger;
    const CTestBusPtr bus;
    const CTestIdGeneratorPtr idGenerator;
    const CTestInstallConfigurationPtr installConfiguration;
    const CTestServerConfigurationPtr serverConfiguration;
    const CTestConfigurationPtr plainConfiguration;  // not handed out unless a test sets it
    const CTestDatabasePtr database;
    const CMapperCallLogPtr calls;
    const CRecordingCleanupMapperPtr cleanupMapper;                              // id 21
    const boost::shared_ptr<CRecordingStaticObjectsMapper> staticObjectsMapper;  // id 22
    const CRecordingEnrollmentMapperPtr enrollmentMapper;                        // id 361
    const CRecordingBackupMapperPtr backupMapper;                                // id 365
    const CTestResourceProviderPtr provider;
};

}  // namespace Testing
}  // namespace Kol
