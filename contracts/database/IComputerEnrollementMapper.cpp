#include "contracts/database/IComputerEnrollementMapper.h"

namespace Kol {
namespace Common {
namespace Database {

IComputerEnrollementMapper::~IComputerEnrollementMapper() = default;

}  // namespace Database
}  // namespace Common
}  // namespace Kol
