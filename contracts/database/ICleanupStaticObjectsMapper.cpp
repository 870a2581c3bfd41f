#include "contracts/database/ICleanupStaticObjectsMapper.h"

namespace Kol {
namespace Common {
namespace Database {

ICleanupStaticObjectsMapper::~ICleanupStaticObjectsMapper() = default;

}  // namespace Database
}  // namespace Common
}  // namespace Kol
