#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/ILoggerResource.h"

namespace Kol {
namespace Testing {

// A logger that records every line it is handed. Thread-safe.
class CTestLogger : public Common::Kernel::ILoggerResource {
public:
    struct Record {
        std::string text;
        std::int32_t level;
        std::string module;
        bool operator==(const Record& other) const {
            return text == other.text && level == other.level && module == other.module;
        }
    };

    explicit CTestLogger(std::int32_t threshold = 1) : m_threshold(threshold) {}

    CTestLogger(const CTestLogger&) = delete;
    CTestLogger& operator=(const CTestLogger&) = delete;

    void SetLogLevel(std::int32_t level) override;
    void Log(const std::string& text, std::int32_t level, const std::string& moduleName) override;
    void Flush() override {}
    std::int32_t GetLogLevel() const override;

    std::vector<Record> Records() const;
    // Only the texts, in order.
    std::vector<std::string> Texts() const;
    std::size_t GetLevelQueries() const;
    void Clear();

    // Waits until `predicate` holds for the records, at most `timeout`.
    // Returns whether it held. The predicate runs under the logger's lock: it
    // must not call the logger.
    bool WaitFor(const std::function<bool(const std::vector<Record>&)>& predicate,
                 std::chrono::milliseconds timeout) const;
    // Waits until a line with exactly `text` has been logged.
    bool WaitForText(const std::string& text, std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_logged;  // used with m_mutex
    std::int32_t m_threshold;                  // guarded by m_mutex
    std::vector<Record> m_records;             // guarded by m_mutex
    mutable std::size_t m_levelQueries = 0;    // guarded by m_mutex
};

typedef boost::shared_ptr<CTestLogger> CTestLoggerPtr;

}  // namespace Testing
}  // namespace Kol
