#pragma once

#include <cstdint>
#include <mutex>

namespace Kol {
namespace Host {

// What a store's own write transactions added up to since it was opened: the
// bytes they freed inside the store and returned to the file system, and the
// longest of them since the mark was last taken. Every call may come from any
// thread.
class CWriteTally {
public:
    // One finished transaction (or other work that freed space: 0 seconds).
    void Record(double seconds, std::int64_t freedBytes, std::int64_t returnedBytes);
    std::int64_t GetFreedBytesTotal() const;
    std::int64_t GetReturnedBytesTotal() const;
    // The longest transaction since the previous call, which resets that mark.
    double TakeLongestTransaction();

private:
    mutable std::mutex m_mutex;
    double m_longestSinceMark = 0;  // guarded by m_mutex
    std::int64_t m_freed = 0;       // guarded by m_mutex
    std::int64_t m_returned = 0;    // guarded by m_mutex
};

}  // namespace Host
}  // namespace Kol
