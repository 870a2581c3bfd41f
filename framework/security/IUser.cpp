#include "framework/security/IUser.h"

namespace Kol {
namespace Common {
namespace Security {

IUser::~IUser() = default;

}  // namespace Security
}  // namespace Common
}  // namespace Kol
