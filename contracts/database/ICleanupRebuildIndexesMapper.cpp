#include "contracts/database/ICleanupRebuildIndexesMapper.h"

namespace Kol {
namespace Common {
namespace Database {

ICleanupRebuildIndexesMapper::~ICleanupRebuildIndexesMapper() = default;

}  // namespace Database
}  // namespace Common
}  // namespace Kol
