#include "tests/kernel/CRecordingBackupMapper.h"

namespace Kol {
namespace Testing {

const char* const CRecordingBackupMapper::kBackup = "IBackupMapper::Backup";

CRecordingBackupMapper::CRecordingBackupMapper(const CMapperCallLogPtr& log)
    : CRecordingMapper(log) {}

CRecordingBackupMapper::~CRecordingBackupMapper() = default;

void CRecordingBackupMapper::Backup() {
    Perform(kBackup);
}

}  // namespace Testing
}  // namespace Kol
