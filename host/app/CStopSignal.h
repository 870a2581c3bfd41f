#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace Kol {
namespace Host {

class CPluginModule;

// The signal that stops a run (SIGHUP, SIGINT, SIGTERM): the first one is
// kept, and a module that is running is stopped by force at once, so that the
// mapper at work ends after its current batch, and the store's statement in
// flight is cancelled. Every call is thread-safe; Raise comes from the signal
// watcher's thread.
class CStopSignal {
public:
    CStopSignal() = default;
    CStopSignal(const CStopSignal&) = delete;
    CStopSignal& operator=(const CStopSignal&) = delete;

    // Records `signal` unless one came before, stops the running module (its
    // failure is left to the main thread, which stops it again) and wakes Wait.
    void Raise(int signal);
    // Never blocks (the module's thread may ask while Raise stops it).
    bool Raised() const;
    // The signal's number, 0 when none came; never blocks.
    int Signal() const;
    // kExitSucceeded, or 128 + the signal.
    int ExitStatus() const;
    // The started module that Raise stops, not owned; nullptr once it is no
    // longer running.
    void SetRunning(CPluginModule* module);
    // What Raise calls after stopping the module (the open store's
    // IStore::Cancel), and at once when a signal came before; empty for none.
    // Once SetCancel returns, the previous one is not running nor called
    // again: clear it before the store goes.
    void SetCancel(const std::function<void()>& cancel);
    // Returns after `timeout`, or at once when a signal came.
    void Wait(std::chrono::milliseconds timeout);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    // Written under m_mutex, read without it: the module's thread asks while
    // Raise, holding m_mutex, waits for that thread to stop.
    std::atomic<int> m_signal{0};
    CPluginModule* m_running = nullptr;  // guarded by m_mutex
    std::function<void()> m_cancel;      // guarded by m_mutex
};

}  // namespace Host
}  // namespace Kol
