#include "host/mappers/CStaticObjectsMapper.h"

#include "host/store/IStore.h"

namespace Kol {
namespace Host {

CStaticObjectsMapper::CStaticObjectsMapper(const Context& context) : CStoreMapper(context) {}

void CStaticObjectsMapper::Cleanup() {
    RunDelete("static-objects", "", IStore::DeletePlan{"static_objects", "deleted = 1"});
}

}  // namespace Host
}  // namespace Kol
