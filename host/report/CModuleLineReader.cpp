#include "host/report/CModuleLineReader.h"

#include <cstring>

#include "framework/module/LogLevel.h"
#include "host/cli/COperationCatalog.h"
#include "host/report/CRunReport.h"

namespace Kol {
namespace Host {

namespace {

const char* const kInitiating = "Initiating ";
const char* const kOperationFailed = "Failed to process cleanup operation ";
const char* const kWithError = " with error: ";
const char* const kRequestFailed = "Failed to process cleanup task request with: ";
const char* const kInterrupted = "The module is stopping. Cleanup process interrupted.";
const char* const kRescheduled = "Failed to re-schedule a cleanup: ";

bool StartsWith(const std::string& text, const char* prefix) {
    return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// The operation an Initiating line begins; 0 for the backup, which goes on
// with the storage operation before it; -1 for any other line.
std::int32_t InitiatedOperation(const std::string& job) {
    static const struct {
        const char* job;
        std::int32_t operation;
    } jobs[] = {
        {"replicated logs cleanup", 1}, {"obsolete delta logs cleanup", 2},
        {"event logs cleanup", 3},      {"abandoned logs cleanup", 4},
        {"ignored logs cleanup", 5},    {"storage cleanup", 6},
        {"database backup", 0},         {"old logs cleanup", 7},
        {"indexes cleanup", 12},        {"cleaning computer enrollement tombstone", 13},
        {"static objects cleanup", 14},
    };
    for (const auto& entry : jobs) {
        if (job == entry.job) {
            return entry.operation;
        }
    }
    return -1;
}

}  // namespace

CModuleLineReader::CModuleLineReader(CRunReport& report) : m_report(report) {}

CModuleLineReader::Fact CModuleLineReader::Parse(const std::string& text, std::int32_t level) {
    Fact fact;
    if (StartsWith(text, kInitiating)) {
        // The backup's line (0) goes on with the storage operation before it.
        fact.operation = InitiatedOperation(text.substr(std::strlen(kInitiating)));
        fact.kind = fact.operation > 0 ? Fact::Kind::kInitiating : Fact::Kind::kNothing;
    } else if (text == kInterrupted) {
        fact.kind = Fact::Kind::kStopped;
    } else if (StartsWith(text, kRescheduled)) {
        fact.kind = Fact::Kind::kRequestOver;
    } else if (level == Common::Module::Error && StartsWith(text, kRequestFailed)) {
        fact.kind = Fact::Kind::kRequestFailed;
    } else if (level == Common::Module::Error && StartsWith(text, kOperationFailed)) {
        const std::string::size_type with = text.find(kWithError);
        if (with != std::string::npos) {
            const std::size_t name = std::strlen(kOperationFailed);
            fact.kind = Fact::Kind::kOperationFailed;
            fact.name = text.substr(name, with - name);
            fact.error = text.substr(with + std::strlen(kWithError));
        }
    }
    return fact;
}

boost::optional<std::int32_t> CModuleLineReader::Read(const std::string& text, std::int32_t level) {
    const Fact fact = Parse(text, level);
    switch (fact.kind) {
        case Fact::Kind::kInitiating:
            m_report.BeginOperation(fact.operation);
            break;
        case Fact::Kind::kStopped:
            m_report.StopRequest();
            break;
        case Fact::Kind::kRequestOver:
            m_report.EndRequest();
            break;
        case Fact::Kind::kRequestFailed:
            m_report.AddRequestFailure();
            break;
        case Fact::Kind::kOperationFailed: {
            const boost::optional<std::int32_t> failed =
                m_report.FailOperation(fact.name, fact.error);
            if (failed && !COperationCatalog::IsHandled(*failed)) {
                return failed;
            }
            break;
        }
        case Fact::Kind::kNothing:
            break;
    }
    return boost::none;
}

}  // namespace Host
}  // namespace Kol
