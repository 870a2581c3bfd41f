#include "host/kernel/CStoreDatabaseResource.h"

#include "host/mappers/CBackupMapper.h"
#include "host/mappers/CEnrollmentTombstonesMapper.h"
#include "host/mappers/CLogsCleanupMapper.h"
#include "host/mappers/CStaticObjectsMapper.h"

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
