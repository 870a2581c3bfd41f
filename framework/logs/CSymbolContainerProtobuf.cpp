// The protobuf form of CSymbolContainer (LogSymbolContainer).

#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

#include <boost/make_shared.hpp>

#include "framework/logs/CSymbolContainer.h"
#include "framework/logs/IdentifierRepeats.h"
#include "framework/logs/ProtobufLengthBound.h"

namespace Kol {
namespace Common {
namespace Logs {

using DataDefinition::Logs::LogSymbol;
using DataDefinition::Logs::LogSymbolContainer;

namespace {

bool HasValue(const DataDefinition::Common::MultiDataType& value) {
    return value.val_bool_size() > 0 || value.val_int_size() > 0 || value.val_double_size() > 0 ||
           value.val_res_id_size() > 0 || value.val_string_size() > 0 ||
           value.val_time_date_size() > 0 || value.val_uuid_size() > 0 || value.val_blob_size() > 0;
}

}  // namespace

boost::shared_ptr<LogSymbolContainer> CSymbolContainer::ToProtobuf() const {
    boost::shared_ptr<LogSymbolContainer> message = boost::make_shared<LogSymbolContainer>();
    message->mutable_symbols()->Reserve(static_cast<int>(m_ids.size()));
    for (std::size_t i = 0; i < m_ids.size(); ++i) {
        LogSymbol* symbol = message->add_symbols();
        symbol->set_symbol_type(m_ids[i]);
        MultiDataType data;
        ToMdtType(i, data);
        symbol->mutable_symbol_data()->Swap(&data);
    }
    return message;
}

// Entries before the first repeat are appended after their conversion alone;
// from the first repeat on, the MultiDataType adder runs with all its checks
// and raises the same error as a load that checked every entry.
void CSymbolContainer::FromProtobuf(const LogSymbolContainer& message) {
    const std::size_t count = static_cast<std::size_t>(message.symbols_size());
    m_ids.reserve(m_ids.size() + count);
    m_values.reserve(m_values.size() + count);
    std::vector<std::int32_t> ids(count);
    std::vector<std::uint8_t> added(count);
    for (std::size_t i = 0; i < count; ++i) {
        const LogSymbol& symbol = message.symbols(static_cast<int>(i));
        ids[i] = symbol.symbol_type();
        added[i] = HasValue(symbol.symbol_data()) ? 1 : 0;
    }
    const std::size_t firstRepeat =
        m_locked ? 0 : FindFirstRepeat(m_ids, ids.data(), count, added.data());
    for (std::size_t i = 0; i < count; ++i) {
        const LogSymbol& symbol = message.symbols(static_cast<int>(i));
        if (i >= firstRepeat) {
            AddSymbol(ids[i], symbol.symbol_data());
            continue;
        }
        bool empty = false;
        SymbolValue value = ConvertMdt(ids[i], symbol.symbol_data(), empty);
        if (!empty) {
            Append(ids[i], std::move(value));
        }
    }
}

boost::shared_ptr<LogSymbolContainer> CSymbolContainer::GetProtobuf() const {
    return ToProtobuf();
}

int CSymbolContainer::GetProtobufSize() const {
    return static_cast<int>(ToProtobuf()->ByteSizeLong());
}

bool CSymbolContainer::Serialize(std::string& out) const {
    std::string encoded = ToProtobuf()->SerializeAsString();
    out.swap(encoded);
    return !out.empty();
}

bool CSymbolContainer::Deserialize(const std::string& bytes) {
    if (m_locked) {
        throw std::runtime_error("Failed to deserialize symbols: container is locked");
    }
    LogSymbolContainer message;
    const bool parsed = ParseWithinInput(bytes, message);
    FromProtobuf(message);
    return parsed;
}

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
