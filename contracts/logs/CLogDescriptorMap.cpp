#include "contracts/logs/CLogDescriptorMap.h"

#include <stdexcept>
#include <string>

#include <boost/make_shared.hpp>

#include "contracts/logs/CleanupStatusSymbol.h"

namespace Kol {
namespace Common {
namespace Logs {

namespace {

using DataDefinition::Logs::LogType;

CSymbolDescriptorPtr Symbol(std::int32_t id, const char* name, SymbolKind kind, bool required,
                            std::size_t otlLength = 0) {
    return boost::make_shared<CSymbolDescriptor>(id, name, kind, required, otlLength);
}

}  // namespace

const CLogDescriptorMap& CLogDescriptorMap::Instance() {
    static const CLogDescriptorMap instance;
    return instance;
}

CLogDescriptorMap::CLogDescriptorMap() {
    using namespace DataDefinition::Logs;
    const bool required = true;
    const bool optional = false;

    // The state of one cleanup request, sent when it begins and ends.
    AddLog(Kernel::MessageTypeCleanupStatusEvent, Kernel::MessageTypeCleanupStatusDelta,
           CLEANUP_STATUS, CLEANUP_STATUS_DELTA,
           {Symbol(CleanupStatusInstallationUuid, "InstallationUuid", SymbolKind::Uuid, required),
            Symbol(CleanupStatusLevelCode, "LevelCode", SymbolKind::Int, required),
            Symbol(CleanupStatusReportedAt, "ReportedAt", SymbolKind::TimeDate, required),
            Symbol(CleanupStatusRequestUuid1, "RequestUuid1", SymbolKind::Uuid, required),
            Symbol(CleanupStatusRequestUuid2, "RequestUuid2", SymbolKind::Uuid, required),
            Symbol(CleanupStatusRequestUuid3, "RequestUuid3", SymbolKind::Uuid, required),
            Symbol(CleanupStatusResourceId, "ResourceId", SymbolKind::ResId, required),
            Symbol(CleanupStatusProgressCode, "ProgressCode", SymbolKind::Int, required),
            Symbol(CleanupStatusTaskResourceId, "TaskResourceId", SymbolKind::ResId, required)});

    AddLog(Kernel::MessageTypeServiceStateEvent, Kernel::MessageTypeServiceStateDelta,
           SERVICE_STATE, SERVICE_STATE_DELTA,
           {Symbol(2860, "ServiceName", SymbolKind::String, required, 64),
            Symbol(2862, "State", SymbolKind::Int, required),
            Symbol(2864, "ChangedAt", SymbolKind::TimeDate, required),
            Symbol(2866, "Automatic", SymbolKind::Bool, optional),
            Symbol(2868, "Description", SymbolKind::String, optional, 256)});

    AddLog(Kernel::MessageTypeSoftwareInventoryEvent, Kernel::MessageTypeSoftwareInventoryDelta,
           SOFTWARE_INVENTORY, SOFTWARE_INVENTORY_DELTA,
           {Symbol(2870, "ProductName", SymbolKind::String, required, 128),
            Symbol(2872, "Version", SymbolKind::String, required, 32),
            Symbol(2874, "Publisher", SymbolKind::String, optional, 10),
            Symbol(2876, "InstallSize", SymbolKind::Double, optional),
            Symbol(2878, "ProductUuid", SymbolKind::Uuid, required),
            Symbol(2880, "Signature", SymbolKind::Blob, optional)});

    AddLog(Kernel::MessageTypeCleanupRequestEvent, Kernel::MessageTypeCleanupRequestDelta,
           CLEANUP_REQUEST, CLEANUP_REQUEST_DELTA,
           {Symbol(2890, "Operation", SymbolKind::Int, required),
            Symbol(2892, "RequestedAt", SymbolKind::TimeDate, required)});
    // The cleanup request itself is logged under the cleanup request log, whose
    // event and delta messages are other types.
    m_messageDescriptors[Kernel::MessageTypeCleanupLogs] =
        m_messageDescriptors.at(Kernel::MessageTypeCleanupRequestEvent);
}

void CLogDescriptorMap::AddLog(MessageType eventType, MessageType deltaType, LogType eventLogType,
                               LogType deltaLogType,
                               const std::vector<CSymbolDescriptorPtr>& symbols) {
    for (const CSymbolDescriptorPtr& symbol : symbols) {
        m_logTypeBySymbol[symbol->GetId()] = eventLogType;
    }
    m_logDescriptors[eventLogType] = boost::make_shared<CLogDescriptor>(eventLogType, symbols);
    m_logDescriptors[deltaLogType] = boost::make_shared<CLogDescriptor>(deltaLogType, symbols);
    CLogMessageDescriptorPtr message =
        boost::make_shared<CLogMessageDescriptor>(eventType, deltaType, eventLogType, deltaLogType);
    m_messageDescriptors[eventType] = message;
    m_messageDescriptors[deltaType] = message;
}

bool CLogDescriptorMap::HasSymbol(std::int32_t id) const {
    return m_logTypeBySymbol.count(id) != 0;
}

CLogDescriptorMap::LogType CLogDescriptorMap::GetLogTypeBySymbol(std::int32_t id) const {
    auto it = m_logTypeBySymbol.find(id);
    if (it == m_logTypeBySymbol.end()) {
        throw std::out_of_range("Unknown log symbol " + std::to_string(id));
    }
    return it->second;
}

CLogDescriptorPtr CLogDescriptorMap::GetLogDescriptor(LogType logType) const {
    auto it = m_logDescriptors.find(logType);
    if (it == m_logDescriptors.end()) {
        throw std::out_of_range("Unknown log type " + std::to_string(static_cast<int>(logType)));
    }
    return it->second;
}

CLogMessageDescriptorPtr CLogDescriptorMap::GetMessageDescriptor(MessageType type) const {
    auto it = m_messageDescriptors.find(type);
    if (it == m_messageDescriptors.end()) {
        throw std::out_of_range("No log descriptor for message type " +
                                std::to_string(static_cast<std::int32_t>(type)));
    }
    return it->second;
}

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
