#include "host/app/CStopSignal.h"

#include <exception>

#include "host/cli/ExitStatus.h"
#include "host/kernel/CPluginModule.h"

namespace Kol {
namespace Host {

void CStopSignal::Raise(int signal) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_signal == 0) {
        m_signal = signal;
    }
    // The store's statement first: stopping the module waits for its thread.
    if (m_cancel) {
        m_cancel();
    }
    if (m_running != nullptr) {
        try {
            m_running->Stop(true);
        } catch (const std::exception&) {
            // The main thread stops it again and reports.
        }
    }
    m_wake.notify_all();
}

bool CStopSignal::Raised() const {
    return Signal() != 0;
}

int CStopSignal::Signal() const {
    return m_signal.load();
}

int CStopSignal::ExitStatus() const {
    const int signal = Signal();
    return signal == 0 ? kExitSucceeded : kExitSignalBase + signal;
}

void CStopSignal::SetRunning(CPluginModule* module) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_running = module;
}

void CStopSignal::SetCancel(const std::function<void()>& cancel) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_cancel = cancel;
    if (m_cancel && m_signal != 0) {
        m_cancel();
    }
}

void CStopSignal::Wait(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_wake.wait_for(lock, timeout, [this] { return m_signal != 0; });
}

}  // namespace Host
}  // namespace Kol
