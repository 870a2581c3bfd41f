// The destructor out of line, so that IUser's virtual table and type
// information are emitted once, in this library, and shared by the host and
// the plug-ins (dynamic_cast of users across the plug-in boundary).

#include "framework/security/IUser.h"

namespace Kol {
namespace Common {
namespace Security {

IUser::~IUser() = default;

}  // namespace Security
}  // namespace Common
}  // namespace Kol
