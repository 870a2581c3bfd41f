#pragma once

namespace Kol {
namespace Common {
namespace Logs {

// An object that can be made read-only and writable again. The lock is a write
// guard, not a thread lock.
class ILockable {
public:
    virtual ~ILockable();
    virtual void Lock() = 0;
    virtual void Unlock() = 0;
};

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
