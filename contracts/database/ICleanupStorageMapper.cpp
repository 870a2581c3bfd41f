#include "contracts/database/ICleanupStorageMapper.h"

namespace Kol {
namespace Common {
namespace Database {

ICleanupStorageMapper::~ICleanupStorageMapper() = default;

}  // namespace Database
}  // namespace Common
}  // namespace Kol
