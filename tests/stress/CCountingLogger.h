#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>

#include "contracts/kernel/ILoggerResource.h"
#include "tests/stress/CMessageLedger.h"
#include "tests/stress/CStressUser.h"

namespace Kol {
namespace Testing {

// The stress test's logger: keeps no lines, only books them. A handled
// request's re-scheduling line and the interruption line go to the ledger
// under the message being handled; the lines a module writes outside requests
// are counted; any other line is an anomaly. Thread-safe; the ledger must
// outlive its use.
class CCountingLogger : public Common::Kernel::ILoggerResource {
public:
    explicit CCountingLogger(CMessageLedger& ledger) : m_ledger(ledger) {}

    void SetLogLevel(std::int32_t) override {}
    std::int32_t GetLogLevel() const override { return 1; }
    void Flush() override {}
    void Log(const std::string& text, std::int32_t level, const std::string& module) override {
        const std::string where = " (level " + std::to_string(level) + ", " + module + ")";
        const bool rescheduled =
            text == "Failed to re-schedule a cleanup: operation {STATIC_OBJECTS} is not registered";
        const bool interrupted = text == "The module is stopping. Cleanup process interrupted.";
        unsigned long long left = 0;
        if (module != "CCleanupModule") {
            m_ledger.NoteAnomaly("line from another module: " + text + where);
        } else if (rescheduled || interrupted) {
            const std::int64_t message = CStressUser::Current();
            if (message < 0 || level != (rescheduled ? 2 : 3)) {
                m_ledger.NoteAnomaly("request line outside a stress request: " + text + where);
            } else if (rescheduled) {
                m_ledger.NoteHandled(static_cast<std::uint32_t>(message));
            } else {
                m_ledger.NoteInterrupted(static_cast<std::uint32_t>(message));
            }
        } else if (level == 2 &&
                   (text == "Initiating static objects cleanup" ||
                    text == "Finished static objects cleanup" || text == "Module initialized")) {
        } else if (level == 1 && std::sscanf(text.c_str(), "There were %llu", &left) == 1 &&
                   text == "There were " + std::to_string(left) +
                               " messages left unprocessed in a queue") {
            m_leftMessages += left;
        } else {
            m_ledger.NoteAnomaly("unexpected line: " + text + where);
        }
    }

    // The sum of N over the "There were N messages left unprocessed in a
    // queue" lines.
    std::uint64_t GetLeftUnprocessedMessages() const { return m_leftMessages; }

private:
    CMessageLedger& m_ledger;
    std::atomic<std::uint64_t> m_leftMessages{0};
};

}  // namespace Testing
}  // namespace Kol
