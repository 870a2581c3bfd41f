#pragma once

#include "contracts/datadefinition/Logs.pb.h"
#include "contracts/logs/CLogMessageDescriptor.h"
#include "contracts/logs/ISymbolContainer.h"

namespace Kol {
namespace Common {
namespace Logs {

// Checks a log record's symbols against its log type.
class CSymbolContainerValidator {
public:
    CSymbolContainerValidator() = delete;

    // Returns when `container` satisfies the descriptor of `logType`, which
    // must be the event or delta log type of `descriptor`. Otherwise throws
    // std::runtime_error with the first problem found, checking the
    // container's symbols in order, then the descriptor's required ones:
    //   "Log type <n> is not carried by this log message"
    //   "Symbol <id> is not defined for log type <NAME>"
    //   "Symbol <id> of log type <NAME> must be of kind <kind> but is <kind>"
    //   "Symbol <id> of log type <NAME> is longer than <limit> bytes"
    //   "Required symbol <id> of log type <NAME> is missing"
    static void ValidateSymbolContainer(const ISymbolContainer& container,
                                        const CLogMessageDescriptor& descriptor,
                                        DataDefinition::Logs::LogType logType);
};

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
