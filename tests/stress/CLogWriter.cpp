#include "tests/stress/CLogWriter.h"

#include <chrono>
#include <ctime>
#include <stdexcept>

#include <sqlite3.h>

namespace Kol {
namespace Testing {

namespace {

const int kRowsPerTransaction = 20;

}  // namespace

CLogWriter::CLogWriter(const std::string& path, std::int32_t logType,
                       std::chrono::milliseconds pause)
    : m_db(nullptr), m_logType(logType), m_pause(pause) {
    if (sqlite3_open_v2(path.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        const std::string message = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        throw std::runtime_error("cannot open " + path + ": " + message);
    }
    sqlite3_busy_timeout(m_db, 5000);
    sqlite3_exec(m_db, "PRAGMA journal_mode = WAL", nullptr, nullptr, nullptr);
}

CLogWriter::~CLogWriter() {
    Stop();
    sqlite3_close(m_db);
}

void CLogWriter::Start() {
    m_stop = false;
    m_thread = std::thread(&CLogWriter::Loop, this);
}

void CLogWriter::Stop() {
    m_stop = true;
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

std::vector<std::int64_t> CLogWriter::GetIds() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_ids;
}

std::vector<std::string> CLogWriter::GetErrors() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_errors;
}

void CLogWriter::Loop() {
    while (!m_stop) {
        std::vector<std::int64_t> ids;
        const std::string error = WriteOnce(ids);
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (error.empty()) {
                m_ids.insert(m_ids.end(), ids.begin(), ids.end());
            } else {
                m_errors.push_back(error);
            }
        }
        if (error.empty()) {
            m_inserted += ids.size();
        }
        if (m_pause.count() > 0) {
            std::this_thread::sleep_for(m_pause);
        }
    }
}

std::string CLogWriter::WriteOnce(std::vector<std::int64_t>& ids) {
    auto fail = [this](const char* step) {
        const std::string text = std::string(step) + ": " + sqlite3_errmsg(m_db) + " (code " +
                                 std::to_string(sqlite3_extended_errcode(m_db)) + ")";
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        return text;
    };
    if (sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK) {
        return fail("begin");
    }
    sqlite3_stmt* insert = nullptr;
    if (sqlite3_prepare_v2(m_db,
                           "INSERT INTO logs(log_type, retention_class, created_at, symbols)"
                           " VALUES (?1, ?2, ?3, randomblob(64))",
                           -1, &insert, nullptr) != SQLITE_OK) {
        return fail("prepare");
    }
    const sqlite3_int64 now = static_cast<sqlite3_int64>(std::time(nullptr));
    for (int i = 0; i < kRowsPerTransaction; ++i) {
        sqlite3_bind_int(insert, 1, m_logType);
        sqlite3_bind_int(insert, 2, 1 + i % 5);
        sqlite3_bind_int64(insert, 3, now);
        if (sqlite3_step(insert) != SQLITE_DONE) {
            sqlite3_finalize(insert);
            return fail("insert");
        }
        ids.push_back(sqlite3_last_insert_rowid(m_db));
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    if (sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        ids.clear();
        return fail("commit");
    }
    return "";
}

}  // namespace Testing
}  // namespace Kol
