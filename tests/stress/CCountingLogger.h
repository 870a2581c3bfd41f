#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include <boost/shared_ptr.hpp>

#include "contracts/kernel/ILoggerResource.h"
#include "tests/stress/CMessageLedger.h"

namespace Kol {
namespace Testing {

// The stress test's logger: keeps no lines, only books them. A handled
// request's re-scheduling line and the interruption line go to the ledger
// under the message whose sender is the thread's current user; the lines a
// module writes outside requests are counted; any other line is an anomaly.
// Thread-safe; never blocks for long.
class CCountingLogger : public Common::Kernel::ILoggerResource {
public:
    // The line every handled static-objects request ends with.
    static const char* const kRescheduleLine;
    static const char* const kInterruptedLine;

    // `ledger` must outlive the logger's use by any module.
    explicit CCountingLogger(CMessageLedger& ledger) : m_ledger(ledger) {}

    void SetLogLevel(std::int32_t level) override;
    // 1: every line is handed over.
    std::int32_t GetLogLevel() const override;
    void Log(const std::string& text, std::int32_t level, const std::string& moduleName) override;
    void Flush() override {}

    // "There were N messages left unprocessed in a queue" lines seen, and the
    // sum of their N.
    std::uint64_t GetLeftUnprocessedLines() const;
    std::uint64_t GetLeftUnprocessedMessages() const;

private:
    CMessageLedger& m_ledger;
    mutable std::mutex m_mutex;
    std::int32_t m_threshold = 1;      // guarded by m_mutex
    std::uint64_t m_leftLines = 0;     // guarded by m_mutex
    std::uint64_t m_leftMessages = 0;  // guarded by m_mutex
};

typedef boost::shared_ptr<CCountingLogger> CCountingLoggerPtr;

}  // namespace Testing
}  // namespace Kol
