#pragma once

#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>

#include "framework/module/CMessageProcessorThreadHolder.h"

namespace Kol {
namespace Common {
namespace Module {

// Keeps the subscriber's restart callback, which the bus may call at any time,
// from reaching a thread holder that has been destroyed: the holder marks the
// guard dead under its mutex, and the callback does nothing afterwards.
// Lock order: the guard's mutex before the holder's.
class CCommonModule::CMessageProcessorThreadHolder::CCallbackGuard {
public:
    CCallbackGuard() : m_alive(true) {}

    CCallbackGuard(const CCallbackGuard&) = delete;
    CCallbackGuard& operator=(const CCallbackGuard&) = delete;

    boost::mutex& GetMutex() { return m_mutex; }
    // Both require GetMutex() to be held by the caller.
    bool IsAlive() const { return m_alive; }
    void SetDead() { m_alive = false; }

private:
    boost::mutex m_mutex;
    bool m_alive;  // guarded by m_mutex
};

}  // namespace Module
}  // namespace Common
}  // namespace Kol
