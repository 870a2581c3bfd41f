#pragma once

#include <boost/date_time/posix_time/ptime.hpp>
#include <boost/shared_ptr.hpp>

#include "contracts/database/ICleanupAbandonedLogsMapper.h"
#include "contracts/database/ICleanupEventLogsMapper.h"
#include "contracts/database/ICleanupIgnoredLogsMapper.h"
#include "contracts/database/ICleanupObsoleteDeltaLogsMapper.h"
#include "contracts/database/ICleanupOldLogsMapper.h"
#include "contracts/database/ICleanupRebuildIndexesMapper.h"
#include "contracts/database/ICleanupReplicatedLogsMapper.h"
#include "contracts/database/ICleanupStorageMapper.h"
#include "tests/kernel/CCleanupAdapter.h"
#include "tests/kernel/CRecordingMapper.h"

namespace Kol {
namespace Testing {

// The recording cleanup mapper (id 21): one object with the nine cleanup
// interfaces the module asks id 21 for. Each call is recorded under the name
// of its interface; old logs with its five cut-offs as arguments.
class CRecordingCleanupMapper
    : public CRecordingMapper,
      public CCleanupAdapter<Common::Database::ICleanupReplicatedLogsMapper>,
      public CCleanupAdapter<Common::Database::ICleanupObsoleteDeltaLogsMapper>,
      public CCleanupAdapter<Common::Database::ICleanupEventLogsMapper>,
      public CCleanupAdapter<Common::Database::ICleanupAbandonedLogsMapper>,
      public CCleanupAdapter<Common::Database::ICleanupIgnoredLogsMapper>,
      public CCleanupAdapter<Common::Database::ICleanupStorageMapper>,
      public CCleanupAdapter<Common::Database::ICleanupRebuildIndexesMapper>,
      public Common::Database::ICleanupOldLogsMapper {
public:
    static const char* const kReplicatedLogs;     // "ICleanupReplicatedLogsMapper::Cleanup"
    static const char* const kObsoleteDeltaLogs;  // "ICleanupObsoleteDeltaLogsMapper::Cleanup"
    static const char* const kEventLogs;          // "ICleanupEventLogsMapper::Cleanup"
    static const char* const kAbandonedLogs;      // "ICleanupAbandonedLogsMapper::Cleanup"
    static const char* const kIgnoredLogs;        // "ICleanupIgnoredLogsMapper::Cleanup"
    static const char* const kStorage;            // "ICleanupStorageMapper::Cleanup"
    static const char* const kRebuildIndexes;     // "ICleanupRebuildIndexesMapper::Cleanup"
    static const char* const kOldLogs;            // "ICleanupOldLogsMapper::Cleanup"

    explicit CRecordingCleanupMapper(const CMapperCallLogPtr& log);
    ~CRecordingCleanupMapper() override;

    void Cleanup(const boost::posix_time::ptime& cutoff1, const boost::posix_time::ptime& cutoff2,
                 const boost::posix_time::ptime& cutoff3, const boost::posix_time::ptime& cutoff4,
                 const boost::posix_time::ptime& cutoff5) override;

private:
    void PerformCleanup(const std::string& callName) override;
};

typedef boost::shared_ptr<CRecordingCleanupMapper> CRecordingCleanupMapperPtr;

}  // namespace Testing
}  // namespace Kol
