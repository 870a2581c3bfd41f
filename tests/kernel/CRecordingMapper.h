#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

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
#include "tests/kernel/CCleanupAdapter.h"

namespace Kol {
namespace Testing {

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
        std::vector<boost::posix_time::ptime> arguments;
    };

    CRecordingMapper();
    ~CRecordingMapper() override;

    void Cleanup(const boost::posix_time::ptime& cutoff1, const boost::posix_time::ptime& cutoff2,
                 const boost::posix_time::ptime& cutoff3, const boost::posix_time::ptime& cutoff4,
                 const boost::posix_time::ptime& cutoff5) override;
    void CleanupTombstones(boost::posix_time::ptime cutoff) override;
    void Backup() override;

    std::vector<Call> Calls() const;
    std::vector<std::string> Names() const;
    void Clear();

    // Calls named `callName` throw std::runtime_error(text) after being
    // recorded.
    void FailWith(const std::string& text, const std::string& callName);
    // Calls named `callName` wait after being recorded until Release; the wait
    // is no interruption point, like a database statement in progress.
    void BlockCalls(const std::string& callName);
    void Release();
    bool WaitUntilBlocked(std::chrono::milliseconds timeout) const;

private:
    void PerformCleanup(const std::string& callName) override { Perform(callName, {}); }
    void Perform(const std::string& callName,
                 const std::vector<boost::posix_time::ptime>& arguments);

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;      // used with m_mutex
    std::vector<Call> m_calls;                      // guarded by m_mutex
    std::map<std::string, std::string> m_failures;  // call name -> text; guarded by m_mutex
    std::string m_blockedCall;                      // "" blocks nothing; guarded by m_mutex
    bool m_blockedNow = false;                      // guarded by m_mutex
};

typedef boost::shared_ptr<CRecordingMapper> CRecordingMapperPtr;

}  // namespace Testing
}  // namespace Kol
