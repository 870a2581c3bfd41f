#include "contracts/database/ICleanupAbandonedLogsMapper.h"

namespace Kol {
namespace Common {
namespace Database {

ICleanupAbandonedLogsMapper::~ICleanupAbandonedLogsMapper() = default;

}  // namespace Database
}  // namespace Common
}  // namespace Kol
