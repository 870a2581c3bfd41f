#include "contracts/database/IMapper.h"

namespace Kol {
namespace Common {
namespace Database {

IMapper::~IMapper() = default;

}  // namespace Database
}  // namespace Common
}  // namespace Kol
