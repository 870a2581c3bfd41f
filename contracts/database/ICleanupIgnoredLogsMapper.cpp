#include "contracts/database/ICleanupIgnoredLogsMapper.h"

namespace Kol {
namespace Common {
namespace Database {

ICleanupIgnoredLogsMapper::~ICleanupIgnoredLogsMapper() = default;

}  // namespace Database
}  // namespace Common
}  // namespace Kol
