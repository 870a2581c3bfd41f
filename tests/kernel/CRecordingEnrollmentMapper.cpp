#include "tests/kernel/CRecordingEnrollmentMapper.h"

namespace Kol {
namespace Testing {

const char* const CRecordingEnrollmentMapper::kCleanupTombstones =
    "IComputerEnrollementMapper::CleanupTombstones";

CRecordingEnrollmentMapper::CRecordingEnrollmentMapper(const CMapperCallLogPtr& log)
    : CRecordingMapper(log) {}

CRecordingEnrollmentMapper::~CRecordingEnrollmentMapper() = default;

void CRecordingEnrollmentMapper::CleanupTombstones(boost::posix_time::ptime cutoff) {
    Perform(kCleanupTombstones, {cutoff});
}

}  // namespace Testing
}  // namespace Kol
