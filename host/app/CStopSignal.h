#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace Kol {
namespace Host {

class CPluginModule;

// The signal that stops a run (SIGHUP, SIGINT, SIGTERM): the first one is
// kept, and a module that is running is stopped by force at once, so that the
// mapper at work ends after its current batch. Every call is thread-safe;
// Raise comes from the signal watcher's thread.
class CStopSignal {
public:
    CStopSignal() = default;
    CStopSignal(const CStopSignal&) = delete;
    CStopSignal& operator=(const CStopSignal&) = delete;

    // Records `signal` unless one came before, stops the running module (its
    // failure is left to the main thread, which stops it again) and wakes Wait.
    void Raise(int signal);
    bool Raised() const;
    // The signal's number, 0 when none came.
    int Signal() const;
    // kExitSucceeded, or 128 + the signal.
    int ExitStatus() const;
    // The started module that Raise stops, not owned; nullptr once it is no
    // longer running.
    void SetRunning(CPluginModule* module);
    // Returns after `timeout`, or at once when a signal came.
    void Wait(std::chrono::milliseconds timeout);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    int m_signal = 0;                    // guarded by m_mutex
    CPluginModule* m_running = nullptr;  // guarded by m_mutex
};

}  // namespace Host
}  // namespace Kol
