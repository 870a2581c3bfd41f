#include "tests/kernel/CRecordingCleanupMapper.h"

namespace Kol {
namespace Testing {

using namespace Common::Database;

const char* const CRecordingCleanupMapper::kReplicatedLogs =
    "ICleanupReplicatedLogsMapper::Cleanup";
const char* const CRecordingCleanupMapper::kObsoleteDeltaLogs =
    "ICleanupObsoleteDeltaLogsMapper::Cleanup";
const char* const CRecordingCleanupMapper::kEventLogs = "ICleanupEventLogsMapper::Cleanup";
const char* const CRecordingCleanupMapper::kAbandonedLogs = "ICleanupAbandonedLogsMapper::Cleanup";
const char* const CRecordingCleanupMapper::kIgnoredLogs = "ICleanupIgnoredLogsMapper::Cleanup";
const char* const CRecordingCleanupMapper::kStorage = "ICleanupStorageMapper::Cleanup";
const char* const CRecordingCleanupMapper::kRebuildIndexes =
    "ICleanupRebuildIndexesMapper::Cleanup";
const char* const CRecordingCleanupMapper::kOldLogs = "ICleanupOldLogsMapper::Cleanup";

CRecordingCleanupMapper::CRecordingCleanupMapper(const CMapperCallLogPtr& log)
    : CRecordingMapper(log),
      CCleanupAdapter<ICleanupReplicatedLogsMapper>(kReplicatedLogs),
      CCleanupAdapter<ICleanupObsoleteDeltaLogsMapper>(kObsoleteDeltaLogs),
      CCleanupAdapter<ICleanupEventLogsMapper>(kEventLogs),
      CCleanupAdapter<ICleanupAbandonedLogsMapper>(kAbandonedLogs),
      CCleanupAdapter<ICleanupIgnoredLogsMapper>(kIgnoredLogs),
      CCleanupAdapter<ICleanupStorageMapper>(kStorage),
      CCleanupAdapter<ICleanupRebuildIndexesMapper>(kRebuildIndexes) {}

CRecordingCleanupMapper::~CRecordingCleanupMapper() = default;

void CRecordingCleanupMapper::Cleanup(const boost::posix_time::ptime& cutoff1,
                                      const boost::posix_time::ptime& cutoff2,
                                      const boost::posix_time::ptime& cutoff3,
                                      const boost::posix_time::ptime& cutoff4,
                                      const boost::posix_time::ptime& cutoff5) {
    Perform(kOldLogs, {cutoff1, cutoff2, cutoff3, cutoff4, cutoff5});
}

void CRecordingCleanupMapper::PerformCleanup(const std::string& callName) {
    Perform(callName);
}

}  // namespace Testing
}  // namespace Kol
