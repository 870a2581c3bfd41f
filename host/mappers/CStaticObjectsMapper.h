#pragma once

#include "contracts/database/ICleanupStaticObjectsMapper.h"
#include "host/mappers/CStoreMapper.h"

namespace Kol {
namespace Host {

// The mapper of id 22: deletes the static objects marked as deleted.
// Called on the module's processing thread; throws std::runtime_error on a
// database failure; stops after the current batch when the thread is asked to
// interrupt.
class CStaticObjectsMapper : public Common::Database::ICleanupStaticObjectsMapper,
                             public virtual CStoreMapper {
public:
    explicit CStaticObjectsMapper(const Context& context);

    void Cleanup() final;
};

}  // namespace Host
}  // namespace Kol
