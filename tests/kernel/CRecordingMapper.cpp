#include "tests/kernel/CRecordingMapper.h"

#include <stdexcept>

namespace Kol {
namespace Testing {

using namespace Common::Database;
typedef std::lock_guard<std::mutex> Lock;

CRecordingMapper::CRecordingMapper()
    : CCleanupAdapter<ICleanupReplicatedLogsMapper>("ICleanupReplicatedLogsMapper"),
      CCleanupAdapter<ICleanupObsoleteDeltaLogsMapper>("ICleanupObsoleteDeltaLogsMapper"),
      CCleanupAdapter<ICleanupEventLogsMapper>("ICleanupEventLogsMapper"),
      CCleanupAdapter<ICleanupAbandonedLogsMapper>("ICleanupAbandonedLogsMapper"),
      CCleanupAdapter<ICleanupIgnoredLogsMapper>("ICleanupIgnoredLogsMapper"),
      CCleanupAdapter<ICleanupStorageMapper>("ICleanupStorageMapper"),
      CCleanupAdapter<ICleanupRebuildIndexesMapper>("ICleanupRebuildIndexesMapper"),
      CCleanupAdapter<ICleanupStaticObjectsMapper>("ICleanupStaticObjectsMapper") {}

CRecordingMapper::~CRecordingMapper() = default;

void CRecordingMapper::Cleanup(const boost::posix_time::ptime& cutoff1,
                               const boost::posix_time::ptime& cutoff2,
                               const boost::posix_time::ptime& cutoff3,
                               const boost::posix_time::ptime& cutoff4,
                               const boost::posix_time::ptime& cutoff5) {
    Perform("ICleanupOldLogsMapper", {cutoff1, cutoff2, cutoff3, cutoff4, cutoff5});
}

void CRecordingMapper::CleanupTombstones(boost::posix_time::ptime cutoff) {
    Perform("IComputerEnrollementMapper", {cutoff});
}

void CRecordingMapper::Backup() {
    Perform("IBackupMapper", {});
}

std::vector<CRecordingMapper::Call> CRecordingMapper::Calls() const {
    Lock lock(m_mutex);
    return m_calls;
}

std::vector<std::string> CRecordingMapper::Names() const {
    std::vector<std::string> names;
    for (const Call& call : Calls()) {
        names.push_back(call.name);
    }
    return names;
}

void CRecordingMapper::Clear() {
    Lock lock(m_mutex);
    m_calls.clear();
}

void CRecordingMapper::FailWith(const std::string& text, const std::string& callName) {
    Lock lock(m_mutex);
    m_failures[callName] = text;
}

void CRecordingMapper::BlockCalls(const std::string& callName) {
    Lock lock(m_mutex);
    m_blockedCall = callName;
}

void CRecordingMapper::Release() {
    Lock lock(m_mutex);
    m_blockedCall.clear();
    m_changed.notify_all();
}

bool CRecordingMapper::WaitUntilBlocked(std::chrono::milliseconds timeout) const {
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_blockedNow; });
}

void CRecordingMapper::Perform(const std::string& callName,
                               const std::vector<boost::posix_time::ptime>& arguments) {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_calls.push_back(Call{callName, arguments});
    if (!m_blockedCall.empty() && m_blockedCall == callName) {
        m_blockedNow = true;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_blockedCall.empty(); });
        m_blockedNow = false;
    }
    const auto failure = m_failures.find(callName);
    if (failure != m_failures.end()) {
        throw std::runtime_error(failure->second);
    }
}

}  // namespace Testing
}  // namespace Kol
