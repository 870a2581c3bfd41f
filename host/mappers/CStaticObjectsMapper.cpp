#include "host/mappers/CStaticObjectsMapper.h"

#include "host/store/CCleanupConditions.h"

namespace Kol {
namespace Host {

CStaticObjectsMapper::CStaticObjectsMapper(const Context& context) : CStoreMapper(context) {}

void CStaticObjectsMapper::Cleanup() {
    RunDelete("static-objects", "", CCleanupConditions::StaticObjects());
}

}  // namespace Host
}  // namespace Kol
