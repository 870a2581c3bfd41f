#include "host/CStaticObjectsMapper.h"

#include "host/CBatchedDelete.h"

namespace Kol {
namespace Host {

CStaticObjectsMapper::CStaticObjectsMapper(const Context& context) : CStoreMapper(context) {}

void CStaticObjectsMapper::Cleanup() {
    RunDelete("static-objects", "", CBatchedDelete::Plan{"static_objects", "id", "deleted = 1"});
}

}  // namespace Host
}  // namespace Kol
