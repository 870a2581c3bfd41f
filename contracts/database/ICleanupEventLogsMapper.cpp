#include "contracts/database/ICleanupEventLogsMapper.h"

namespace Kol {
namespace Common {
namespace Database {

ICleanupEventLogsMapper::~ICleanupEventLogsMapper() = default;

}  // namespace Database
}  // namespace Common
}  // namespace Kol
