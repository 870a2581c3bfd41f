#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct sqlite3;

namespace Kol {
namespace Testing {

// Another part of the agent that keeps logging into the store while a
// cleanup runs: its own connection (write-ahead log, 5 s busy timeout, as
// the host's), its own thread, small write transactions of fresh logs (class
// 1 to 5, created now, no flag set) with a short pause between them. Records
// the ids it inserted and every error it met, a busy error included; a failed
// transaction is rolled back and the writer goes on.
//
// Start, Stop and the getters are called by one controlling thread; the
// counter may be read at any time.
class CLogWriter {
public:
    // Opens the store; throws std::runtime_error with SQLite's message.
    // `pause` goes between two transactions (zero: a writer that never pauses).
    CLogWriter(const std::string& path, std::int32_t logType,
               std::chrono::milliseconds pause = std::chrono::milliseconds(2));
    // Stops the thread and closes the connection.
    ~CLogWriter();

    CLogWriter(const CLogWriter&) = delete;
    CLogWriter& operator=(const CLogWriter&) = delete;

    void Start();
    void Stop();

    // Rows committed so far.
    std::uint64_t GetInserted() const { return m_inserted.load(); }
    // After Stop: the ids of the committed rows, and the errors.
    std::vector<std::int64_t> GetIds() const;
    std::vector<std::string> GetErrors() const;

private:
    void Loop();
    // One transaction of kRowsPerTransaction rows; the error text or "".
    std::string WriteOnce(std::vector<std::int64_t>& ids);

    sqlite3* m_db;
    const std::int32_t m_logType;
    const std::chrono::milliseconds m_pause;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<std::uint64_t> m_inserted{0};
    mutable std::mutex m_mutex;
    std::vector<std::int64_t> m_ids;    // guarded by m_mutex
    std::vector<std::string> m_errors;  // guarded by m_mutex
};

}  // namespace Testing
}  // namespace Kol
