#pragma once

#include <boost/shared_ptr.hpp>

#include "contracts/database/IBackupMapper.h"
#include "tests/kernel/CRecordingMapper.h"

namespace Kol {
namespace Testing {

// The recording backup mapper (id 365); calls are recorded as kBackup.
class CRecordingBackupMapper : public CRecordingMapper, public Common::Database::IBackupMapper {
public:
    static const char* const kBackup;  // "IBackupMapper::Backup"

    explicit CRecordingBackupMapper(const CMapperCallLogPtr& log);
    ~CRecordingBackupMapper() override;

    void Backup() override;
};

typedef boost::shared_ptr<CRecordingBackupMapper> CRecordingBackupMapperPtr;

}  // namespace Testing
}  // namespace Kol
