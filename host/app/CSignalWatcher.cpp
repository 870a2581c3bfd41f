#include "host/app/CSignalWatcher.h"

#include <pthread.h>
#include <signal.h>

#include <cstring>
#include <stdexcept>

namespace Kol {
namespace Host {

namespace {

sigset_t WatchedSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGHUP);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGUSR1);
    return signals;
}

}  // namespace

CSignalWatcher::CSignalWatcher(const Handler& handler)
    : m_handler(handler), m_signal(0), m_stopping(false) {
    const sigset_t signals = WatchedSignals();
    const int error = pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    if (error != 0) {
        throw std::runtime_error(std::string("cannot block signals: ") + std::strerror(error));
    }
    m_thread = std::thread(&CSignalWatcher::Run, this);
}

CSignalWatcher::~CSignalWatcher() {
    m_stopping = true;
    pthread_kill(m_thread.native_handle(), SIGUSR1);
    m_thread.join();
}

void CSignalWatcher::Run() {
    const sigset_t signals = WatchedSignals();
    while (!m_stopping) {
        int received = 0;
        if (sigwait(&signals, &received) != 0 || received == SIGUSR1) {
            continue;
        }
        int none = 0;
        m_signal.compare_exchange_strong(none, received);
        if (m_handler) {
            m_handler(received);
        }
    }
}

std::string CSignalWatcher::Name(int signal) {
    switch (signal) {
        case SIGINT:
            return "SIGINT";
        case SIGTERM:
            return "SIGTERM";
        case SIGHUP:
            return "SIGHUP";
        default:
            return "signal " + std::to_string(signal);
    }
}

}  // namespace Host
}  // namespace Kol
