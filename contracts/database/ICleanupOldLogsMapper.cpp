#include "contracts/database/ICleanupOldLogsMapper.h"

namespace Kol {
namespace Common {
namespace Database {

ICleanupOldLogsMapper::~ICleanupOldLogsMapper() = default;

}  // namespace Database
}  // namespace Common
}  // namespace Kol
