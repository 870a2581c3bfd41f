#pragma once

#include <chrono>
#include <thread>

namespace Kol::Testing {

// The bound every concurrency test uses for "soon": generous, so that a slow
// machine never fails a correct test; a broken one fails after it.
constexpr std::chrono::milliseconds kWaitBound{10000};

// Polls `condition` until it holds or `timeout` has passed; returns its last
// answer. For state that offers nothing to wait on.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout = kWaitBound) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return condition();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

}  // namespace Kol::Testing
