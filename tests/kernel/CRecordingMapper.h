#pragma once

#include <functional>
#include <mutex>
#include <string>
#include <typeinfo>
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
// operation), with its cut-offs as arguments; then onCall may block or
// throw. Which mapper id the module asked for shows in the database's
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

    // Runs after each call is recorded, on the calling thread, with the
    // call's name; what it throws is the call's failure. Set it before the
    // module runs.
    std::function<void(const std::string& callName)> onCall;

private:
    void Perform(const std::string& callName, const Cutoffs& arguments) override {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_calls.push_back(Call{callName, arguments});
        }
        if (onCall) {
            onCall(callName);
        }
    }

    mutable std::mutex m_mutex;
    std::vector<Call> m_calls;  // guarded by m_mutex
};

typedef boost::shared_ptr<CRecordingMapper> CRecordingMapperPtr;

}  // namespace Kol::Testing
