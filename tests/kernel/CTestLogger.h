#pragma once

#include <algorithm>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/ILoggerResource.h"
#include "tests/kernel/WaitUntil.h"

namespace Kol::Testing {

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

    void SetLogLevel(std::int32_t level) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_threshold = level;
    }
    void Log(const std::string& text, std::int32_t level, const std::string& module) override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_records.push_back(Record{text, level, module});
    }
    void Flush() override {}
    std::int32_t GetLogLevel() const override {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_threshold;
    }

    std::vector<Record> Records() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_records;
    }
    void Clear() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_records.clear();
    }

    // Waits at most kWaitBound for a record with `text`; returns whether one
    // came.
    bool WaitForText(const std::string& text) const {
        return WaitUntil([&] {
            const std::vector<Record> records = Records();
            return std::any_of(records.begin(), records.end(),
                               [&](const Record& record) { return record.text == text; });
        });
    }

private:
    mutable std::mutex m_mutex;
    std::int32_t m_threshold;       // guarded by m_mutex
    std::vector<Record> m_records;  // guarded by m_mutex
};

typedef boost::shared_ptr<CTestLogger> CTestLoggerPtr;

}  // namespace Kol::Testing
