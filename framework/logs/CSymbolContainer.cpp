#include "framework/logs/CSymbolContainer.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

#include <boost/make_shared.hpp>

#include "framework/logs/CByteReader.h"
#include "framework/logs/CByteWriter.h"
#include "framework/logs/TextTruncation.h"
#include "framework/logs/TimeConversion.h"
#include "framework/logs/UuidConversion.h"

namespace Kol {
namespace Common {
namespace Logs {

namespace {

using DataDefinition::Logs::LogSymbol;
using DataDefinition::Logs::LogSymbolContainer;

// Kind codes of the binary form; not the kind indices of SymbolKind.
enum BinaryCode : std::uint32_t {
    kCodeInt = 1,
    kCodeDouble = 2,
    kCodeString = 3,
    kCodeResId = 4,
    kCodeUuid = 5,
    kCodeTimeDate = 6,
    kCodeBool = 7,
    kCodeBlob = 8,
};

const char kUnknownKind[] = "Unknown variant type in CSymbolContainer::ToMdtType()";

std::string Joined(const char* head, std::int32_t id, const char* tail) {
    std::string text(head);
    text += std::to_string(id);
    text += tail;
    return text;
}

[[noreturn]] void ThrowCutShort(const std::string& field) {
    throw std::runtime_error("Binary symbol data is cut short in " + field);
}

[[noreturn]] void ThrowCutShort(const char* field, std::int32_t id) {
    ThrowCutShort(Joined(field, id, ""));
}

void CheckInitialized(bool initialized, std::int32_t id) {
    if (!initialized) {
        throw std::runtime_error(Joined("Symbol ", id, " value is not fully initialized"));
    }
}

std::uint64_t DoubleBits(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

double BitsDouble(std::uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

}  // namespace

CSymbolContainer::CSymbolContainer() : m_locked(false) {}

CSymbolContainer::CSymbolContainer(const CSymbolContainer& other)
    : ISymbolContainer(), IProtobufGetter(), m_locked(false) {
    const std::size_t count = other.GetSymbolCount();
    m_ids.reserve(count);
    m_values.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        CSymbolContainer::AddSymbol(other.GetSymbolIdAt(i), other.GetSymbolDataAt(i));
    }
}

CSymbolContainer::~CSymbolContainer() = default;

// ---- lookup ----

std::size_t CSymbolContainer::Find(std::int32_t id) const {
    const std::size_t count = m_ids.size();
    const std::int32_t* ids = m_ids.data();
    for (std::size_t i = 0; i < count; ++i) {
        if (ids[i] == id) {
            return i;
        }
    }
    return count;
}

std::size_t CSymbolContainer::FindKind(std::int32_t id, SymbolKind kind) const {
    const std::size_t index = Find(id);
    if (index == m_ids.size()) {
        throw std::runtime_error(Joined("Cannot find symbol ", id, " in symbol container"));
    }
    if (m_values[index].GetKind() != kind) {
        throw std::runtime_error(Joined("The symbol ", id, " exists but is not of requested type"));
    }
    return index;
}

bool CSymbolContainer::HasSymbol(std::int32_t id) const {
    return Find(id) != m_ids.size();
}

std::size_t CSymbolContainer::GetSymbolCount() const {
    return m_ids.size();
}

std::int32_t CSymbolContainer::GetSymbolIdAt(std::size_t index) const {
    return m_ids[index];
}

// ---- getters ----

CSymbolContainer::MultiDataType CSymbolContainer::GetSymbolData(std::int32_t id) const {
    const std::size_t index = Find(id);
    if (index == m_ids.size()) {
        throw std::runtime_error(Joined("Cannot find symbol ", id, " in symbol container"));
    }
    return GetSymbolDataAt(index);
}

CSymbolContainer::MultiDataType CSymbolContainer::GetSymbolDataAt(std::size_t index) const {
    MultiDataType result;
    ToMdtType(index, result);
    return result;
}

bool CSymbolContainer::GetBool(std::int32_t id) const {
    return m_values[FindKind(id, SymbolKind::Bool)].GetBool();
}

const std::string& CSymbolContainer::GetBlob(std::int32_t id) const {
    return m_values[FindKind(id, SymbolKind::Blob)].GetBytes();
}

std::int64_t CSymbolContainer::GetInt64(std::int32_t id) const {
    return m_values[FindKind(id, SymbolKind::Int)].GetInteger();
}

double CSymbolContainer::GetDouble(std::int32_t id) const {
    return m_values[FindKind(id, SymbolKind::Double)].GetDouble();
}

const std::string& CSymbolContainer::GetString(std::int32_t id) const {
    return m_values[FindKind(id, SymbolKind::String)].GetBytes();
}

std::int64_t CSymbolContainer::GetResourceId(std::int32_t id) const {
    return m_values[FindKind(id, SymbolKind::ResId)].GetInteger();
}

std::int32_t CSymbolContainer::GetInt32(std::int32_t id) const {
    const std::uint64_t bits =
        static_cast<std::uint64_t>(m_values[FindKind(id, SymbolKind::Int)].GetInteger());
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(bits));
}

CSymbolContainer::UTCTime CSymbolContainer::GetUtcTime(std::int32_t id) const {
    return ToUtcTime(m_values[FindKind(id, SymbolKind::TimeDate)].GetTime());
}

CSymbolContainer::ptime CSymbolContainer::GetTime(std::int32_t id) const {
    return m_values[FindKind(id, SymbolKind::TimeDate)].GetTime();
}

CSymbolContainer::Uuid CSymbolContainer::GetUuid(std::int32_t id) const {
    Uuid result;
    result.set_uuid(UuidToString(m_values[FindKind(id, SymbolKind::Uuid)].GetUuid()));
    return result;
}

// ---- optional getters ----

boost::optional<CSymbolContainer::MultiDataType> CSymbolContainer::TryGetSymbolData(
    std::int32_t id) const {
    if (!HasSymbol(id)) {
        return boost::none;
    }
    return GetSymbolData(id);
}

boost::optional<bool> CSymbolContainer::TryGetBool(std::int32_t id) const {
    if (!HasSymbol(id)) {
        return boost::none;
    }
    return GetBool(id);
}

boost::optional<std::string> CSymbolContainer::TryGetBlob(std::int32_t id) const {
    if (!HasSymbol(id)) {
        return boost::none;
    }
    return GetBlob(id);
}

boost::optional<std::int64_t> CSymbolContainer::TryGetInt64(std::int32_t id) const {
    if (!HasSymbol(id)) {
        return boost::none;
    }
    return GetInt64(id);
}

boost::optional<double> CSymbolContainer::TryGetDouble(std::int32_t id) const {
    if (!HasSymbol(id)) {
        return boost::none;
    }
    return GetDouble(id);
}

boost::optional<std::string> CSymbolContainer::TryGetString(std::int32_t id) const {
    if (!HasSymbol(id)) {
        return boost::none;
    }
    return GetString(id);
}

boost::optional<std::int64_t> CSymbolContainer::TryGetResourceId(std::int32_t id) const {
    if (!HasSymbol(id)) {
        return boost::none;
    }
    return GetResourceId(id);
}

boost::optional<std::int32_t> CSymbolContainer::TryGetInt32(std::int32_t id) const {
    if (!HasSymbol(id)) {
        return boost::none;
    }
    return GetInt32(id);
}

boost::optional<CSymbolContainer::UTCTime> CSymbolContainer::TryGetUtcTime(std::int32_t id) const {
    if (!HasSymbol(id)) {
        return boost::none;
    }
    return GetUtcTime(id);
}

boost::optional<CSymbolContainer::ptime> CSymbolContainer::TryGetTime(std::int32_t id) const {
    if (!HasSymbol(id)) {
        return boost::none;
    }
    return GetTime(id);
}

boost::optional<CSymbolContainer::Uuid> CSymbolContainer::TryGetUuid(std::int32_t id) const {
    if (!HasSymbol(id)) {
        return boost::none;
    }
    return GetUuid(id);
}

// ---- adders ----

void CSymbolContainer::CheckUnlocked(std::int32_t id) const {
    if (m_locked) {
        throw std::runtime_error(Joined("Cannot add symbol ", id, ": container is locked"));
    }
}

void CSymbolContainer::AddValue(std::int32_t id, SymbolValue value) {
    CheckUnlocked(id);
    if (HasSymbol(id)) {
        throw std::runtime_error(Joined("Symbol ", id, " is already in container"));
    }
    m_ids.push_back(id);
    try {
        m_values.push_back(std::move(value));
    } catch (...) {
        m_ids.pop_back();
        throw;
    }
}

void CSymbolContainer::AddText(std::int32_t id, std::string text) {
    TruncateToOtlLength(text, id);
    AddValue(id, SymbolValue::MakeString(std::move(text)));
}

ISymbolContainer& CSymbolContainer::AddSymbol(std::int32_t id, const MultiDataType& value) {
    CheckUnlocked(id);
    if (HasSymbol(id)) {
        throw std::runtime_error(Joined("Symbol ", id, " is already in container"));
    }
    if (value.val_bool_size() > 0) {
        AddSymbol(id, static_cast<bool>(value.val_bool(0)));
    } else if (value.val_int_size() > 0) {
        AddSymbol(id, static_cast<std::int64_t>(value.val_int(0)));
    } else if (value.val_double_size() > 0) {
        AddSymbol(id, value.val_double(0));
    } else if (value.val_res_id_size() > 0) {
        AddResourceId(id, value.val_res_id(0));
    } else if (value.val_string_size() > 0) {
        AddText(id, value.val_string(0));
    } else if (value.val_time_date_size() > 0) {
        AddSymbol(id, value.val_time_date(0));
    } else if (value.val_uuid_size() > 0) {
        AddSymbol(id, value.val_uuid(0));
    } else if (value.val_blob_size() > 0) {
        AddBlob(id, value.val_blob(0));
    }
    return *this;
}

ISymbolContainer& CSymbolContainer::AddSymbol(std::int32_t id, bool value) {
    AddValue(id, SymbolValue::MakeBool(value));
    return *this;
}

ISymbolContainer& CSymbolContainer::AddBlob(std::int32_t id, const std::string& value) {
    AddValue(id, SymbolValue::MakeBlob(value));
    return *this;
}

ISymbolContainer& CSymbolContainer::AddSymbol(std::int32_t id, std::int64_t value) {
    AddValue(id, SymbolValue::MakeInt(value));
    return *this;
}

ISymbolContainer& CSymbolContainer::AddSymbol(std::int32_t id, double value) {
    AddValue(id, SymbolValue::MakeDouble(value));
    return *this;
}

ISymbolContainer& CSymbolContainer::AddSymbol(std::int32_t id, const std::string& value) {
    AddText(id, value);
    return *this;
}

ISymbolContainer& CSymbolContainer::AddResourceId(std::int32_t id, std::int64_t value) {
    AddValue(id, SymbolValue::MakeResId(value));
    return *this;
}

ISymbolContainer& CSymbolContainer::AddSymbol(std::int32_t id, std::int32_t value) {
    AddValue(id, SymbolValue::MakeInt(value));
    return *this;
}

ISymbolContainer& CSymbolContainer::AddSymbol(std::int32_t id, const UTCTime& value) {
    CheckInitialized(value.IsInitialized(), id);
    AddValue(id, SymbolValue::MakeTime(FromUtcTime(value)));
    return *this;
}

ISymbolContainer& CSymbolContainer::AddCurrentTime(std::int32_t id) {
    AddValue(id, SymbolValue::MakeTime(CurrentUtcTime()));
    return *this;
}

ISymbolContainer& CSymbolContainer::AddSymbol(std::int32_t id, const uuid& value) {
    AddValue(id, SymbolValue::MakeUuid(value));
    return *this;
}

ISymbolContainer& CSymbolContainer::AddUuidText(std::int32_t id, const std::string& text) {
    AddValue(id, SymbolValue::MakeUuid(ParseUuid(text)));
    return *this;
}

ISymbolContainer& CSymbolContainer::AddSymbol(std::int32_t id, const Uuid& value) {
    CheckInitialized(value.IsInitialized(), id);
    AddValue(id, SymbolValue::MakeUuid(ParseUuid(value.uuid())));
    return *this;
}

// ---- setters ----

void CSymbolContainer::SetValue(std::int32_t id, SymbolValue value) {
    CheckUnlocked(id);
    const std::size_t index = Find(id);
    if (index == m_ids.size()) {
        AddValue(id, std::move(value));
        return;
    }
    if (m_values[index].GetKind() != value.GetKind()) {
        throw std::runtime_error(Joined("Cannot set the symbol ", id,
                                        " because it exists but is not of same type as before"));
    }
    m_values[index] = std::move(value);
}

ISymbolContainer& CSymbolContainer::SetSymbol(std::int32_t id, const MultiDataType& value) {
    CheckUnlocked(id);
    RemoveSymbol(id);
    AddSymbol(id, value);
    return *this;
}

ISymbolContainer& CSymbolContainer::SetSymbol(std::int32_t id, bool value) {
    SetValue(id, SymbolValue::MakeBool(value));
    return *this;
}

ISymbolContainer& CSymbolContainer::SetSymbol(std::int32_t id, std::int64_t value) {
    SetValue(id, SymbolValue::MakeInt(value));
    return *this;
}

ISymbolContainer& CSymbolContainer::SetSymbol(std::int32_t id, const std::string& value) {
    SetValue(id, SymbolValue::MakeString(value));
    return *this;
}

ISymbolContainer& CSymbolContainer::SetUuidText(std::int32_t id, const std::string& text) {
    SetValue(id, SymbolValue::MakeUuid(ParseUuid(text)));
    return *this;
}

ISymbolContainer& CSymbolContainer::SetResourceId(std::int32_t id, std::int64_t value) {
    SetValue(id, SymbolValue::MakeResId(value));
    return *this;
}

ISymbolContainer& CSymbolContainer::SetBlob(std::int32_t id, const std::string& value) {
    SetValue(id, SymbolValue::MakeBlob(value));
    return *this;
}

ISymbolContainer& CSymbolContainer::SetSymbol(std::int32_t id, const UTCTime& value) {
    CheckInitialized(value.IsInitialized(), id);
    SetValue(id, SymbolValue::MakeTime(FromUtcTime(value)));
    return *this;
}

void CSymbolContainer::RemoveSymbol(std::int32_t id) {
    const std::size_t index = Find(id);
    if (index == m_ids.size()) {
        return;
    }
    m_ids.erase(m_ids.begin() + static_cast<std::ptrdiff_t>(index));
    m_values.erase(m_values.begin() + static_cast<std::ptrdiff_t>(index));
}

// ---- lock ----

void CSymbolContainer::Lock() {
    m_locked = true;
    if (m_ids.capacity() > m_ids.size()) {
        m_ids.shrink_to_fit();
    }
    if (m_values.capacity() > m_values.size()) {
        m_values.shrink_to_fit();
    }
}

void CSymbolContainer::Unlock() {
    m_locked = false;
}

// ---- comparison and copy ----

bool CSymbolContainer::Equals(const ISymbolContainer& other) const {
    const CSymbolContainer* that = dynamic_cast<const CSymbolContainer*>(&other);
    if (that == nullptr || that->m_ids.size() != m_ids.size()) {
        return false;
    }
    typedef std::pair<std::int32_t, const SymbolValue*> Entry;
    const auto sorted = [](const CSymbolContainer& container) {
        std::vector<Entry> entries;
        entries.reserve(container.m_ids.size());
        for (std::size_t i = 0; i < container.m_ids.size(); ++i) {
            entries.emplace_back(container.m_ids[i], &container.m_values[i]);
        }
        std::sort(entries.begin(), entries.end(),
                  [](const Entry& a, const Entry& b) { return a.first < b.first; });
        return entries;
    };
    const std::vector<Entry> mine = sorted(*this);
    const std::vector<Entry> theirs = sorted(*that);
    for (std::size_t i = 0; i < mine.size(); ++i) {
        if (mine[i].first != theirs[i].first || !mine[i].second->Equals(*theirs[i].second)) {
            return false;
        }
    }
    return true;
}

boost::shared_ptr<ISymbolContainer> CSymbolContainer::Clone() const {
    return boost::make_shared<CSymbolContainer>(*this);
}

// ---- MultiDataType and protobuf forms ----

void CSymbolContainer::ToMdtType(std::size_t index, MultiDataType& out) const {
    const SymbolValue& value = m_values[index];
    switch (value.GetKind()) {
        case SymbolKind::Blob:
            out.add_val_blob(value.GetBytes());
            return;
        case SymbolKind::Int:
            out.add_val_int(value.GetInteger());
            return;
        case SymbolKind::Double:
            out.add_val_double(value.GetDouble());
            return;
        case SymbolKind::String:
            out.add_val_string(value.GetBytes());
            return;
        case SymbolKind::ResId:
            out.add_val_res_id(value.GetInteger());
            return;
        case SymbolKind::TimeDate: {
            UTCTime time = ToUtcTime(value.GetTime());
            out.add_val_time_date()->Swap(&time);
            return;
        }
        case SymbolKind::Uuid:
            out.add_val_uuid()->set_uuid(UuidToString(value.GetUuid()));
            return;
        case SymbolKind::Bool:
            out.add_val_bool(value.GetBool());
            return;
    }
    throw std::logic_error(kUnknownKind);
}

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

void CSymbolContainer::FromProtobuf(const LogSymbolContainer& message) {
    const std::size_t total = m_ids.size() + static_cast<std::size_t>(message.symbols_size());
    m_ids.reserve(total);
    m_values.reserve(total);
    for (const LogSymbol& symbol : message.symbols()) {
        AddSymbol(symbol.symbol_type(), symbol.symbol_data());
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
    const bool parsed = message.ParseFromString(bytes);
    FromProtobuf(message);
    return parsed;
}

// ---- binary form ----

std::size_t CSymbolContainer::GetBinarySize() const {
    std::size_t size = 4 + 8 * m_ids.size();  // count, then an id and a code per symbol
    for (const SymbolValue& value : m_values) {
        switch (value.GetKind()) {
            case SymbolKind::Int:
            case SymbolKind::Double:
            case SymbolKind::ResId:
            case SymbolKind::TimeDate:
                size += 8;
                break;
            case SymbolKind::Uuid:
                size += 16;
                break;
            case SymbolKind::Bool:
                size += 1;
                break;
            case SymbolKind::String:
            case SymbolKind::Blob:
                size += 4 + value.GetBytes().size();
                break;
            default:
                throw std::logic_error(kUnknownKind);
        }
    }
    return size;
}

std::string CSymbolContainer::SerializeBinary(std::size_t size) const {
    std::string out(size, '\0');
    CByteWriter writer(&out[0], size);
    writer.WriteUInt32(static_cast<std::uint32_t>(m_ids.size()));
    for (const std::int32_t id : m_ids) {
        writer.WriteUInt32(static_cast<std::uint32_t>(id));
    }
    for (const SymbolValue& value : m_values) {
        switch (value.GetKind()) {
            case SymbolKind::Int:
                writer.WriteUInt32(kCodeInt);
                writer.WriteUInt64(static_cast<std::uint64_t>(value.GetInteger()));
                break;
            case SymbolKind::Double:
                writer.WriteUInt32(kCodeDouble);
                writer.WriteUInt64(DoubleBits(value.GetDouble()));
                break;
            case SymbolKind::String:
                writer.WriteUInt32(kCodeString);
                writer.WriteUInt32(static_cast<std::uint32_t>(value.GetBytes().size()));
                writer.WriteBytes(value.GetBytes().data(), value.GetBytes().size());
                break;
            case SymbolKind::ResId:
                writer.WriteUInt32(kCodeResId);
                writer.WriteUInt64(static_cast<std::uint64_t>(value.GetInteger()));
                break;
            case SymbolKind::Uuid:
                writer.WriteUInt32(kCodeUuid);
                writer.WriteBytes(value.GetUuid().data, value.GetUuid().size());
                break;
            case SymbolKind::TimeDate:
                writer.WriteUInt32(kCodeTimeDate);
                writer.WriteUInt64(static_cast<std::uint64_t>(value.GetTicks()));
                break;
            case SymbolKind::Bool:
                writer.WriteUInt32(kCodeBool);
                writer.WriteUInt8(value.GetBool() ? 1 : 0);
                break;
            case SymbolKind::Blob:
                writer.WriteUInt32(kCodeBlob);
                writer.WriteUInt32(static_cast<std::uint32_t>(value.GetBytes().size()));
                writer.WriteBytes(value.GetBytes().data(), value.GetBytes().size());
                break;
            default:
                throw std::logic_error(kUnknownKind);
        }
    }
    return out;
}

void CSymbolContainer::DeserializeBinary(const char* data, std::size_t length) {
    CByteReader reader(data, length);
    if (!reader.Has(4)) {
        ThrowCutShort("the symbol count");
    }
    const std::int32_t count = static_cast<std::int32_t>(reader.ReadUInt32());
    if (count < 0) {
        throw std::length_error("Negative symbol count in binary symbol data: " +
                                std::to_string(count));
    }
    if (count == 0) {
        return;
    }
    // Checked before anything is allocated, so a forged count cannot make the
    // reader reserve more than the buffer could describe.
    const std::size_t n = static_cast<std::size_t>(count);
    if (reader.GetRemaining() / 4 < n) {
        ThrowCutShort("the identifiers");
    }
    std::vector<std::int32_t> ids(n);
    for (std::size_t i = 0; i < n; ++i) {
        ids[i] = static_cast<std::int32_t>(reader.ReadUInt32());
    }
    m_ids.reserve(m_ids.size() + n);
    m_values.reserve(m_values.size() + n);

    for (const std::int32_t id : ids) {
        if (!reader.Has(4)) {
            ThrowCutShort("the kind code of symbol ", id);
        }
        const std::uint32_t code = reader.ReadUInt32();
        switch (code) {
            case kCodeInt:
            case kCodeDouble:
            case kCodeResId:
            case kCodeTimeDate: {
                if (!reader.Has(8)) {
                    ThrowCutShort("the value of symbol ", id);
                }
                const std::uint64_t bits = reader.ReadUInt64();
                if (code == kCodeInt) {
                    AddValue(id, SymbolValue::MakeInt(static_cast<std::int64_t>(bits)));
                } else if (code == kCodeDouble) {
                    AddValue(id, SymbolValue::MakeDouble(BitsDouble(bits)));
                } else if (code == kCodeResId) {
                    AddValue(id, SymbolValue::MakeResId(static_cast<std::int64_t>(bits)));
                } else {
                    AddValue(id, SymbolValue::MakeTimeTicks(static_cast<std::int64_t>(bits)));
                }
                break;
            }
            case kCodeString:
            case kCodeBlob: {
                if (!reader.Has(4)) {
                    ThrowCutShort("the length of symbol ", id);
                }
                const std::size_t size = reader.ReadUInt32();
                if (!reader.Has(size)) {
                    ThrowCutShort("the value of symbol ", id);
                }
                std::string bytes(reader.ReadBytes(size), size);
                if (code == kCodeString) {
                    AddText(id, std::move(bytes));
                } else {
                    AddValue(id, SymbolValue::MakeBlob(std::move(bytes)));
                }
                break;
            }
            case kCodeUuid: {
                if (!reader.Has(16)) {
                    ThrowCutShort("the value of symbol ", id);
                }
                uuid value;
                std::memcpy(value.data, reader.ReadBytes(16), 16);
                AddValue(id, SymbolValue::MakeUuid(value));
                break;
            }
            case kCodeBool:
                if (!reader.Has(1)) {
                    ThrowCutShort("the value of symbol ", id);
                }
                AddValue(id, SymbolValue::MakeBool(reader.ReadUInt8() == 1));
                break;
            default:
                throw std::runtime_error("Unimplemented type handler");
        }
    }
}

void CSymbolContainer::DeserializeBinary(const std::string& bytes) {
    DeserializeBinary(bytes.data(), bytes.size());
}

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
