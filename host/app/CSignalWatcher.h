#pragma once

#include <atomic>
#include <string>
#include <thread>

#include <boost/function.hpp>

namespace Kol {
namespace Host {

// Turns SIGHUP, SIGINT and SIGTERM into calls on a thread of its own: the
// constructor blocks them (and the watcher's own wake-up signal, SIGUSR1) in
// the calling thread, so every thread created afterwards inherits the mask
// and the signals are only ever taken by sigwait here. Construct it first in
// main, before any other thread starts.
//
// The handler runs on the watcher's thread, once per signal received.
class CSignalWatcher {
public:
    typedef boost::function<void(int signal)> Handler;

    // Throws std::runtime_error when the mask cannot be set.
    explicit CSignalWatcher(const Handler& handler);
    // Stops and joins the watcher's thread. The signals stay blocked.
    ~CSignalWatcher();

    CSignalWatcher(const CSignalWatcher&) = delete;
    CSignalWatcher& operator=(const CSignalWatcher&) = delete;

    // "SIGINT", "SIGTERM", "SIGHUP", else "signal N".
    static std::string Name(int signal);

    // The first SIGHUP, SIGINT or SIGTERM received, or 0. Any thread.
    int GetSignal() const { return m_signal; }

private:
    void Run();

    const Handler m_handler;
    std::atomic<int> m_signal;
    std::atomic<bool> m_stopping;
    std::thread m_thread;
};

}  // namespace Host
}  // namespace Kol
