#include "contracts/database/ICleanupObsoleteDeltaLogsMapper.h"

namespace Kol {
namespace Common {
namespace Database {

ICleanupObsoleteDeltaLogsMapper::~ICleanupObsoleteDeltaLogsMapper() = default;

}  // namespace Database
}  // namespace Common
}  // namespace Kol
