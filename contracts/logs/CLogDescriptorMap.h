#pragma once

#include <cstdint>
#include <map>

#include "contracts/datadefinition/Logs.pb.h"
#include "contracts/kernel/MessageType.h"
#include "contracts/logs/CLogDescriptor.h"
#include "contracts/logs/CLogMessageDescriptor.h"

namespace Kol {
namespace Common {
namespace Logs {

// The process-wide table of log types: which symbols each log type has and
// which message types carry it. Built once on first use and only read after
// that, so every operation may be called from any thread.
//
// Log types known (event / delta message types, symbols):
//   CLEANUP_STATUS      10368 / 10369  2834..2853, the cleanup status event
//   SERVICE_STATE       10370 / 10371  2860..2868
//   SOFTWARE_INVENTORY  10372 / 10373  2870..2880
//   CLEANUP_REQUEST     10374 / 10375  2890..2892; message type 2 (the cleanup
//                                      request) also answers with this log
// To add a log type: add its event and delta values to LogType in Logs.proto
// and one Add... block to the constructor in CLogDescriptorMap.cpp.
class CLogDescriptorMap {
public:
    typedef DataDefinition::Logs::LogType LogType;
    typedef Kernel::MessageType MessageType;

    static const CLogDescriptorMap& Instance();

    CLogDescriptorMap(const CLogDescriptorMap&) = delete;
    CLogDescriptorMap& operator=(const CLogDescriptorMap&) = delete;

    // True when some log type has symbol `id`.
    bool HasSymbol(std::int32_t id) const;

    // The event log type that owns symbol `id`. Throws std::out_of_range
    // "Unknown log symbol <id>" when no log type has it.
    LogType GetLogTypeBySymbol(std::int32_t id) const;

    // The descriptor of `logType` (event or delta). Throws std::out_of_range
    // "Unknown log type <n>" for a type without one.
    CLogDescriptorPtr GetLogDescriptor(LogType logType) const;

    // The descriptor of the log carried by message type `type`. Throws
    // std::out_of_range "No log descriptor for message type <type>".
    CLogMessageDescriptorPtr GetMessageDescriptor(MessageType type) const;

private:
    CLogDescriptorMap();
    void AddLog(MessageType eventType, MessageType deltaType, LogType eventLogType,
                LogType deltaLogType, const std::vector<CSymbolDescriptorPtr>& symbols);

    std::map<std::int32_t, LogType> m_logTypeBySymbol;
    std::map<LogType, CLogDescriptorPtr> m_logDescriptors;
    std::map<MessageType, CLogMessageDescriptorPtr> m_messageDescriptors;
};

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
