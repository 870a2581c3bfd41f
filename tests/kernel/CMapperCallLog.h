#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

#include <boost/date_time/posix_time/ptime.hpp>
#include <boost/shared_ptr.hpp>

namespace Kol {
namespace Testing {

// One ordered record of the calls made on a set of recording mappers, shared
// by all of them so that the order across mappers shows. Thread-safe.
class CMapperCallLog {
public:
    struct Call {
        std::string name;  // "<interface>::<operation>", e.g. "IBackupMapper::Backup"
        std::vector<boost::posix_time::ptime> arguments;
        bool operator==(const Call& other) const {
            return name == other.name && arguments == other.arguments;
        }
    };

    CMapperCallLog();
    ~CMapperCallLog();

    CMapperCallLog(const CMapperCallLog&) = delete;
    CMapperCallLog& operator=(const CMapperCallLog&) = delete;

    void Record(const Call& call);
    std::vector<Call> Calls() const;
    // Only the names, in order.
    std::vector<std::string> Names() const;
    void Clear();
    bool WaitForCalls(std::size_t count, std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_recorded;  // used with m_mutex
    std::vector<Call> m_calls;                   // guarded by m_mutex
};

typedef boost::shared_ptr<CMapperCallLog> CMapperCallLogPtr;

}  // namespace Testing
}  // namespace Kol
