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
    std::size_t i = 0;
    // Blocks of eight without an early exit, so the compiler can compare them
    // in vector registers; the first block with a match is searched one by one.
    for (; i + 8 <= count; i += 8) {
        bool any = false;
        for (std::size_t j = 0; j < 8; ++j) {
            any |= ids[i + j] == id;
        }
        if (any) {
            break;
        }
    }
    for (; i < count; ++i) {
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

void CSymbolContainer::CheckIndex(std::size_t index) const {
    if (index >= m_ids.size()) {
        throw std::out_of_range("Symbol index " + std::to_string(index) +
                                " is not below the symbol count " + std::to_string(m_ids.size()));
    }
}

std::int32_t CSymbolContainer::GetSymbolIdAt(std::size_t index) const {
    CheckIndex(index);
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
    CheckIndex(index);
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

namespace {

// Payload bytes of each kind by kind index, not counting a text's or blob's
// own bytes (their entry is the 4-byte length).
const std::uint8_t kPayloadSize[8] = {4, 8, 8, 4, 8, 8, 16, 1};
// Binary kind codes by kind index.
const std::uint32_t kKindCode[8] = {kCodeBlob,  kCodeInt,      kCodeDouble, kCodeString,
                                    kCodeResId, kCodeTimeDate, kCodeUuid,   kCodeBool};

std::size_t KindIndex(const SymbolValue& value) {
    const std::size_t kind = static_cast<std::size_t>(value.GetKind());
    if (kind >= 8) {
        throw std::logic_error(kUnknownKind);
    }
    return kind;
}

bool HoldsBytes(std::size_t kind) {
    return kind == static_cast<std::size_t>(SymbolKind::Blob) ||
           kind == static_cast<std::size_t>(SymbolKind::String);
}

// int, double, res_id, time_date and bool: their payload is the value's word.
bool InPlace(std::size_t kind) {
    return ((1u << kind) & 0xB6u) != 0;
}

// Writes one record, stopping silently at the end of the writer's buffer.
void WriteRecord(CByteWriter& writer, const SymbolValue& value, std::size_t kind) {
    writer.WriteUInt32(kKindCode[kind]);
    if (InPlace(kind)) {
        unsigned char word[8];
        CByteWriter::Store64(reinterpret_cast<char*>(word), value.GetWord());
        writer.WriteBytes(word, kPayloadSize[kind]);
    } else if (HoldsBytes(kind)) {
        writer.WriteUInt32(static_cast<std::uint32_t>(value.GetBytes().size()));
        writer.WriteBytes(value.GetBytes().data(), value.GetBytes().size());
    } else {
        writer.WriteBytes(value.GetUuid().data, 16);
    }
}

}  // namespace

std::size_t CSymbolContainer::GetBinarySize() const {
    std::size_t size = 4 + 8 * m_ids.size();  // count, then an id and a code per symbol
    for (const SymbolValue& value : m_values) {
        const std::size_t kind = KindIndex(value);
        size += kPayloadSize[kind];
        if (HoldsBytes(kind)) {
            size += value.GetBytes().size();
        }
    }
    return size;
}

std::string CSymbolContainer::SerializeBinary(std::size_t size) const {
    std::string out(size, '\0');
    char* const begin = &out[0];
    char* const end = begin + size;
    char* p = begin;
    const std::size_t count = m_ids.size();
    std::size_t next = 0;  // the first record not written yet

    // Fast path: unchecked stores while the next record fits whole. An
    // in-place value is stored as its full 8-byte word and the position
    // advanced by its payload size; a bool's upper 7 bytes are zero and are
    // overwritten by the next record, so 12 bytes of room are asked for it.
    if (static_cast<std::size_t>(end - p) / 4 > count) {
        CByteWriter::Store32(p, static_cast<std::uint32_t>(count));
        p += 4;
        for (const std::int32_t id : m_ids) {
            CByteWriter::Store32(p, static_cast<std::uint32_t>(id));
            p += 4;
        }
        for (; next < count; ++next) {
            const SymbolValue& value = m_values[next];
            const std::size_t kind = KindIndex(value);
            const std::size_t room = static_cast<std::size_t>(end - p);
            if (InPlace(kind)) {
                if (room < 12) {
                    break;
                }
                CByteWriter::Store32(p, kKindCode[kind]);
                CByteWriter::Store64(p + 4, value.GetWord());
                p += 4 + kPayloadSize[kind];
            } else if (HoldsBytes(kind)) {
                const std::string& bytes = value.GetBytes();
                if (room < 8 || room - 8 < bytes.size()) {
                    break;
                }
                CByteWriter::Store32(p, kKindCode[kind]);
                CByteWriter::Store32(p + 4, static_cast<std::uint32_t>(bytes.size()));
                std::memcpy(p + 8, bytes.data(), bytes.size());
                p += 8 + bytes.size();
            } else {
                if (room < 20) {
                    break;
                }
                CByteWriter::Store32(p, kKindCode[kind]);
                std::memcpy(p + 4, value.GetUuid().data, 16);
                p += 20;
            }
        }
        if (next == count) {
            return out;
        }
    }

    // Near the end of the buffer: write what fits, drop the rest.
    CByteWriter writer(p, static_cast<std::size_t>(end - p));
    if (p == begin) {
        writer.WriteUInt32(static_cast<std::uint32_t>(count));
        for (const std::int32_t id : m_ids) {
            writer.WriteUInt32(static_cast<std::uint32_t>(id));
        }
    }
    for (; next < count; ++next) {
        WriteRecord(writer, m_values[next], KindIndex(m_values[next]));
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
    // The identifiers are read where they lie, in step with the records.
    CByteReader ids(reader.ReadBytes(4 * n), 4 * n);
    m_ids.reserve(m_ids.size() + n);
    m_values.reserve(m_values.size() + n);

    for (std::size_t i = 0; i < n; ++i) {
        const std::int32_t id = static_cast<std::int32_t>(ids.ReadUInt32());
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
