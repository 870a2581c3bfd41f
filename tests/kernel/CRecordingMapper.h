#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include <boost/date_time/posix_time/ptime.hpp>

#include "contracts/database/IMapper.h"
#include "tests/kernel/CMapperCallLog.h"

namespace Kol {
namespace Testing {

// What every recording mapper does with a call: record it in the shared call
// log, then block if told to, then throw if told to. Thread-safe.
class CRecordingMapper : public virtual Common::Database::IMapper {
public:
    explicit CRecordingMapper(const CMapperCallLogPtr& log);
    ~CRecordingMapper() override;

    CRecordingMapper(const CRecordingMapper&) = delete;
    CRecordingMapper& operator=(const CRecordingMapper&) = delete;

    // Calls named `callName` ("" for every call) throw std::runtime_error(text)
    // after being recorded, until ClearFailures.
    void FailWith(const std::string& text, const std::string& callName = "");
    void ClearFailures();

    // Calls named `callName` ("" for every call) wait after being recorded
    // until Release; the wait is not an interruption point, like a database
    // statement in progress.
    void BlockCalls(const std::string& callName = "");
    // Lets every blocked call go on and blocks no more.
    void Release();
    // Waits until a call is blocked, at most `timeout`.
    bool WaitUntilBlocked(std::chrono::milliseconds timeout) const;

    const CMapperCallLogPtr& GetCallLog() const { return m_log; }

protected:
    void Perform(const std::string& callName,
                 const std::vector<boost::posix_time::ptime>& arguments = {});

private:
    static bool Matches(const std::string& pattern, const std::string& callName) {
        return pattern.empty() || pattern == callName;
    }

    const CMapperCallLogPtr m_log;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;  // used with m_mutex
    std::map<std::string, std::string>
        m_failures;             // call name ("" = all) -> text; guarded by m_mutex
    bool m_blocking;            // guarded by m_mutex
    std::string m_blockedCall;  // guarded by m_mutex
    std::size_t m_blockedNow;   // guarded by m_mutex
};

}  // namespace Testing
}  // namespace Kol
