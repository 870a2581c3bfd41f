#pragma once

#include <boost/shared_ptr.hpp>

#include "contracts/database/IComputerEnrollementMapper.h"
#include "tests/kernel/CRecordingMapper.h"

namespace Kol {
namespace Testing {

// The recording enrolment mapper (id 361); calls are recorded as
// kCleanupTombstones with the cut-off as argument.
class CRecordingEnrollmentMapper : public CRecordingMapper,
                                   public Common::Database::IComputerEnrollementMapper {
public:
    static const char* const kCleanupTombstones;  // "IComputerEnrollementMapper::CleanupTombstones"

    explicit CRecordingEnrollmentMapper(const CMapperCallLogPtr& log);
    ~CRecordingEnrollmentMapper() override;

    void CleanupTombstones(boost::posix_time::ptime cutoff) override;
};

typedef boost::shared_ptr<CRecordingEnrollmentMapper> CRecordingEnrollmentMapperPtr;

}  // namespace Testing
}  // namespace Kol
