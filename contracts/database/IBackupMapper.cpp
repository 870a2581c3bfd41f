#include "contracts/database/IBackupMapper.h"

namespace Kol {
namespace Common {
namespace Database {

IBackupMapper::~IBackupMapper() = default;

}  // namespace Database
}  // namespace Common
}  // namespace Kol
