#include "host/CStoreDatabaseResource.h"

#include "host/CBackupMapper.h"
#include "host/CEnrollmentTombstonesMapper.h"
#include "host/CLogsCleanupMapper.h"
#include "host/CStaticObjectsMapper.h"

namespace Kol {
namespace Host {

using Common::Database::IMapperPtr;

CStoreDatabaseResource::CStoreDatabaseResource(const CStoreMapper::Context& context)
    : m_context(context) {}

IMapperPtr CStoreDatabaseResource::GetMapper(std::int32_t id) {
    switch (id) {
        case Common::Database::MapperIdCleanup:
            return IMapperPtr(new CLogsCleanupMapper(m_context));
        case Common::Database::MapperIdStaticObjects:
            return IMapperPtr(new CStaticObjectsMapper(m_context));
        case Common::Database::MapperIdComputerEnrollment:
            return IMapperPtr(new CEnrollmentTombstonesMapper(m_context));
        case Common::Database::MapperIdBackup:
            return IMapperPtr(new CBackupMapper(m_context));
        default:
            return IMapperPtr();
    }
}

}  // namespace Host
}  // namespace Kol
