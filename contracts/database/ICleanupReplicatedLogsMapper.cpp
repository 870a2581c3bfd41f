#include "contracts/database/ICleanupReplicatedLogsMapper.h"

namespace Kol {
namespace Common {
namespace Database {

ICleanupReplicatedLogsMapper::~ICleanupReplicatedLogsMapper() = default;

}  // namespace Database
}  // namespace Common
}  // namespace Kol
