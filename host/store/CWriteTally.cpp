#include "host/store/CWriteTally.h"

#include <algorithm>

namespace Kol {
namespace Host {

void CWriteTally::Record(double seconds, std::int64_t freedBytes, std::int64_t returnedBytes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_longestSinceMark = std::max(m_longestSinceMark, seconds);
    m_freed += freedBytes;
    m_returned += returnedBytes;
}

std::int64_t CWriteTally::GetFreedBytesTotal() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_freed;
}

std::int64_t CWriteTally::GetReturnedBytesTotal() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_returned;
}

double CWriteTally::TakeLongestTransaction() {
    std::lock_guard<std::mutex> lock(m_mutex);
    const double longest = m_longestSinceMark;
    m_longestSinceMark = 0;
    return longest;
}

}  // namespace Host
}  // namespace Kol
