#pragma once

#include <cstdint>

#include "contracts/kernel/IDatabaseResource.h"
#include "host/mappers/CStoreMapper.h"

namespace Kol {
namespace Host {

// The database resource over the host's store (SQLite or PostgreSQL). Hands out a new mapper
// for each request: id 21 (CLogsCleanupMapper, the eight log and storage
// jobs), 22 (static objects), 361 (enrolment tombstones), 365 (backup); an
// empty handle for any other id. Thread-safe; the mappers themselves are used
// by one thread at a time.
class CStoreDatabaseResource : public Common::Kernel::IDatabaseResource {
public:
    explicit CStoreDatabaseResource(const CStoreMapper::Context& context);

    Common::Database::IMapperPtr GetMapper(std::int32_t id) override;

private:
    const CStoreMapper::Context m_context;
};

}  // namespace Host
}  // namespace Kol
