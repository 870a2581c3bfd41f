#include "tests/stress/CCountingLogger.h"

#include <boost/pointer_cast.hpp>

#include "framework/security/CurrentUserContext.h"
#include "tests/stress/CStressUser.h"

namespace Kol {
namespace Testing {

const char* const CCountingLogger::kRescheduleLine =
    "Failed to re-schedule a cleanup: operation {STATIC_OBJECTS} is not registered";
const char* const CCountingLogger::kInterruptedLine =
    "The module is stopping. Cleanup process interrupted.";

namespace {

const std::string kLeftPrefix = "There were ";
const std::string kLeftSuffix = " messages left unprocessed in a queue";

// The stress message the calling thread is handling, or -1.
std::int64_t CurrentMessage() {
    const Common::Security::CUserContextPtr context = Common::Security::GetCurrentUserContext();
    if (!context) {
        return -1;
    }
    const boost::shared_ptr<CStressUser> user =
        boost::dynamic_pointer_cast<CStressUser>(context->GetUser());
    return user ? static_cast<std::int64_t>(user->GetMessageNumber()) : -1;
}

}  // namespace

void CCountingLogger::SetLogLevel(std::int32_t level) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_threshold = level;
}

std::int32_t CCountingLogger::GetLogLevel() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_threshold;
}

void CCountingLogger::Log(const std::string& text, std::int32_t level,
                          const std::string& moduleName) {
    const std::string where = " (level " + std::to_string(level) + ", " + moduleName + ")";
    if (moduleName != "CCleanupModule") {
        m_ledger.NoteAnomaly("line from another module: " + text + where);
        return;
    }
    if (text == kRescheduleLine || text == kInterruptedLine) {
        const std::int64_t message = CurrentMessage();
        const bool rescheduled = text == kRescheduleLine;
        if (message < 0 || level != (rescheduled ? 2 : 3)) {
            m_ledger.NoteAnomaly("request line outside a stress request: " + text + where);
        } else if (rescheduled) {
            m_ledger.NoteHandled(static_cast<std::uint32_t>(message));
        } else {
            m_ledger.NoteInterrupted(static_cast<std::uint32_t>(message));
        }
        return;
    }
    if (level == 2 && (text == "Initiating static objects cleanup" ||
                       text == "Finished static objects cleanup" || text == "Module initialized")) {
        return;
    }
    if (level == 1 && text.size() > kLeftPrefix.size() + kLeftSuffix.size() &&
        text.compare(0, kLeftPrefix.size(), kLeftPrefix) == 0 &&
        text.compare(text.size() - kLeftSuffix.size(), kLeftSuffix.size(), kLeftSuffix) == 0) {
        const std::string number =
            text.substr(kLeftPrefix.size(), text.size() - kLeftPrefix.size() - kLeftSuffix.size());
        if (number.find_first_not_of("0123456789") == std::string::npos && number[0] != '0') {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_leftLines;
            m_leftMessages += std::stoull(number);
            return;
        }
    }
    m_ledger.NoteAnomaly("unexpected line: " + text + where);
}

std::uint64_t CCountingLogger::GetLeftUnprocessedLines() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_leftLines;
}

std::uint64_t CCountingLogger::GetLeftUnprocessedMessages() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_leftMessages;
}

}  // namespace Testing
}  // namespace Kol
