#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include <boost/core/demangle.hpp>
#include <boost/date_time/posix_time/ptime.hpp>
#include <boost/shared_ptr.hpp>

#include "contracts/database/IBackupMapper.h"
#include "contracts/database/ICleanupAbandonedLogsMapper.h"
#include "contracts/database/ICleanupEventLogsMapper.h"
#include "contracts/database/ICleanupIgnoredLogsMapper.h"
#include "contracts/database/ICleanupObsoleteDeltaLogsMapper.h"
#include "contracts/database/ICleanupOldLogsMapper.h"
#include "contracts/database/ICleanupRebuildIndexesMapper.h"
#include "contracts/database/ICleanupReplicatedLogsMapper.h"
#include "contracts/database/ICleanupStaticObjectsMapper.h"
#include "contracts/database/ICleanupStorageMapper.h"
#include "contracts/database/IComputerEnrollementMapper.h"

namespace Kol::Testing {

typedef std::vector<boost::posix_time::ptime> Cutoffs;

// Gives the parameterless Cleanup() of one mapper interface the interface's
// own name (without namespaces), so that a single mapper object can
// implement several interfaces that all declare Cleanup() and still tell
// which one was called.
template <typename Interface>
class CCleanupAdapter : public Interface {
public:
    void Cleanup() final {
        const std::string name = boost::core::demangle(typeid(Interface).name());
        Perform(name.substr(name.rfind(':') + 1), {});
    }

protected:
    virtual void Perform(const std::string& callName, const Cutoffs& arguments) = 0;
};

// One mapper with every mapper interface the module uses. Each call is
// recorded under the name of its interface (every interface has one
// operation), with its cut-offs as arguments; then it blocks or throws if
// told to. Which mapper id the module asked for shows in the database's
// request record. Thread-safe.
class CRecordingMapper : public CCleanupAdapter<Common::Database::ICleanupReplicatedLogsMapper>,
                         public CCleanupAdapter<Common::Database::ICleanupObsoleteDeltaLogsMapper>,
                         public CCleanupAdapter<Common::Database::ICleanupEventLogsMapper>,
                         public CCleanupAdapter<Common::Database::ICleanupAbandonedLogsMapper>,
                         public CCleanupAdapter<Common::Database::ICleanupIgnoredLogsMapper>,
                         public CCleanupAdapter<Common::Database::ICleanupStorageMapper>,
                         public CCleanupAdapter<Common::Database::ICleanupRebuildIndexesMapper>,
                         public CCleanupAdapter<Common::Database::ICleanupStaticObjectsMapper>,
                         public Common::Database::ICleanupOldLogsMapper,
                         public Common::Database::IComputerEnrollementMapper,
                         public Common::Database::IBackupMapper {
public:
    struct Call {
        std::string name;  // the interface, e.g. "IBackupMapper"
        Cutoffs arguments;
    };

    void Cleanup(const boost::posix_time::ptime& cutoff1, const boost::posix_time::ptime& cutoff2,
                 const boost::posix_time::ptime& cutoff3, const boost::posix_time::ptime& cutoff4,
                 const boost::posix_time::ptime& cutoff5) override {
        Perform("ICleanupOldLogsMapper", {cutoff1, cutoff2, cutoff3, cutoff4, cutoff5});
    }
    void CleanupTombstones(boost::posix_time::ptime cutoff) override {
        Perform("IComputerEnrollementMapper", {cutoff});
    }
    void Backup() override { Perform("IBackupMapper", {}); }

    std::vector<Call> Calls() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_calls;
    }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const Call& call : Calls()) {
            names.push_back(call.name);
        }
        return names;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_calls.clear();
    }

    // Calls named `callName` (one name at a time) throw
    // std::runtime_error(text) after being recorded.
    void FailWith(const std::string& text, const std::string& callName) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_failure = {callName, text};
    }
    // Calls named `callName` wait after being recorded until Release (""
    // releases); the wait is no interruption point, like a database
    // statement in progress.
    void BlockCalls(const std::string& callName) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_blockedCall = callName;
        m_changed.notify_all();
    }
    void Release() { BlockCalls(""); }
    bool WaitUntilBlocked(std::chrono::milliseconds timeout) const {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_blockedNow; });
    }

private:
    void Perform(const std::string& callName, const Cutoffs& arguments) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_calls.push_back(Call{callName, arguments});
        if (!m_blockedCall.empty() && m_blockedCall == callName) {
            m_blockedNow = true;
            m_changed.notify_all();
            m_changed.wait(lock, [&] { return m_blockedCall.empty(); });
            m_blockedNow = false;
        }
        if (m_failure.first == callName) {
            throw std::runtime_error(m_failure.second);
        }
    }

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;      // used with m_mutex
    std::vector<Call> m_calls;                      // guarded by m_mutex
    std::pair<std::string, std::string> m_failure;  // call name, text; guarded by m_mutex
    std::string m_blockedCall;                      // "" blocks nothing; guarded by m_mutex
    bool m_blockedNow = false;                      // guarded by m_mutex
};

typedef boost::shared_ptr<CRecordingMapper> CRecordingMapperPtr;

}  // namespace Kol::Testing
