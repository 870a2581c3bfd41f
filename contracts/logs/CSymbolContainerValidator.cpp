#include "contracts/logs/CSymbolContainerValidator.h"

#include <stdexcept>
#include <string>

#include "contracts/logs/CLogDescriptorMap.h"

namespace Kol {
namespace Common {
namespace Logs {

namespace {

// The kind of a value in its MultiDataType form: the one list with an entry.
bool KindOf(const DataDefinition::Common::MultiDataType& value, SymbolKind& kind) {
    if (value.val_blob_size() > 0) {
        kind = SymbolKind::Blob;
    } else if (value.val_int_size() > 0) {
        kind = SymbolKind::Int;
    } else if (value.val_double_size() > 0) {
        kind = SymbolKind::Double;
    } else if (value.val_string_size() > 0) {
        kind = SymbolKind::String;
    } else if (value.val_res_id_size() > 0) {
        kind = SymbolKind::ResId;
    } else if (value.val_time_date_size() > 0) {
        kind = SymbolKind::TimeDate;
    } else if (value.val_uuid_size() > 0) {
        kind = SymbolKind::Uuid;
    } else if (value.val_bool_size() > 0) {
        kind = SymbolKind::Bool;
    } else {
        return false;
    }
    return true;
}

}  // namespace

void CSymbolContainerValidator::ValidateSymbolContainer(const ISymbolContainer& container,
                                                        const CLogMessageDescriptor& descriptor,
                                                        DataDefinition::Logs::LogType logType) {
    if (logType != descriptor.GetEventLogType() && logType != descriptor.GetDeltaLogType()) {
        throw std::runtime_error("Log type " + std::to_string(static_cast<int>(logType)) +
                                 " is not carried by this log message");
    }
    const CLogDescriptorPtr log = CLogDescriptorMap::Instance().GetLogDescriptor(logType);
    const std::string logName = DataDefinition::Logs::LogType_Name(logType);

    for (std::size_t i = 0; i < container.GetSymbolCount(); ++i) {
        const std::int32_t id = container.GetSymbolIdAt(i);
        const CSymbolDescriptorPtr symbol = log->GetSymbolDescriptor(id);
        if (!symbol) {
            throw std::runtime_error("Symbol " + std::to_string(id) +
                                     " is not defined for log type " + logName);
        }
        const DataDefinition::Common::MultiDataType value = container.GetSymbolDataAt(i);
        SymbolKind kind = SymbolKind::Blob;
        const bool known = KindOf(value, kind);
        if (!known || kind != symbol->GetKind()) {
            throw std::runtime_error("Symbol " + std::to_string(id) + " of log type " + logName +
                                     " must be of kind " + SymbolKindName(symbol->GetKind()) +
                                     " but is " + (known ? SymbolKindName(kind) : "empty"));
        }
        if (kind == SymbolKind::String && symbol->GetOtlLength() > 0 &&
            value.val_string(0).size() > symbol->GetOtlLength()) {
            throw std::runtime_error("Symbol " + std::to_string(id) + " of log type " + logName +
                                     " is longer than " + std::to_string(symbol->GetOtlLength()) +
                                     " bytes");
        }
    }
    for (const CSymbolDescriptorPtr& symbol : log->GetSymbolDescriptors()) {
        if (symbol->IsRequired() && !container.HasSymbol(symbol->GetId())) {
            throw std::runtime_error("Required symbol " + std::to_string(symbol->GetId()) +
                                     " of log type " + logName + " is missing");
        }
    }
}

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
