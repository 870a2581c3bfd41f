#include "framework/logs/CSymbolContainer.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include <boost/make_shared.hpp>

#include "framework/logs/TextTruncation.h"
#include "framework/logs/TimeConversion.h"
#include "framework/logs/UuidConversion.h"

namespace Kol {
namespace Common {
namespace Logs {

namespace {

std::string Joined(const char* head, std::int32_t id, const char* tail) {
    std::string text(head);
    text += std::to_string(id);
    text += tail;
    return text;
}

void CheckInitialized(bool initialized, std::int32_t id) {
    if (!initialized) {
        throw std::runtime_error(Joined("Symbol ", id, " value is not fully initialized"));
    }
}

}  // namespace

CSymbolContainer::CSymbolContainer() : m_locked(false) {}

CSymbolContainer::CSymbolContainer(const CSymbolContainer& other)
    : ISymbolContainer(), IProtobufGetter(), m_locked(false) {
    const std::size_t count = other.GetSymbolCount();
    m_ids.reserve(count);
    m_values.reserve(count);
    // The source holds no identifier twice and this container starts empty
    // and unlocked, so nothing the adder checks can fail: only the
    // conversions of the MultiDataType form run.
    for (std::size_t i = 0; i < count; ++i) {
        bool empty = false;
        SymbolValue value = ConvertMdt(other.m_ids[i], other.GetSymbolDataAt(i), empty);
        if (!empty) {
            Append(other.m_ids[i], std::move(value));
        }
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
    Append(id, std::move(value));
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
    bool empty = false;
    SymbolValue converted = ConvertMdt(id, value, empty);
    if (!empty) {
        Append(id, std::move(converted));
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

// ---- MultiDataType form ----

SymbolValue CSymbolContainer::ConvertMdt(std::int32_t id, const MultiDataType& data, bool& empty) {
    empty = false;
    if (data.val_bool_size() > 0) {
        return SymbolValue::MakeBool(data.val_bool(0));
    }
    if (data.val_int_size() > 0) {
        return SymbolValue::MakeInt(data.val_int(0));
    }
    if (data.val_double_size() > 0) {
        return SymbolValue::MakeDouble(data.val_double(0));
    }
    if (data.val_res_id_size() > 0) {
        return SymbolValue::MakeResId(data.val_res_id(0));
    }
    if (data.val_string_size() > 0) {
        std::string text = data.val_string(0);
        TruncateToOtlLength(text, id);
        return SymbolValue::MakeString(std::move(text));
    }
    if (data.val_time_date_size() > 0) {
        CheckInitialized(data.val_time_date(0).IsInitialized(), id);
        return SymbolValue::MakeTime(FromUtcTime(data.val_time_date(0)));
    }
    if (data.val_uuid_size() > 0) {
        CheckInitialized(data.val_uuid(0).IsInitialized(), id);
        return SymbolValue::MakeUuid(ParseUuid(data.val_uuid(0).uuid()));
    }
    if (data.val_blob_size() > 0) {
        return SymbolValue::MakeBlob(data.val_blob(0));
    }
    empty = true;
    return SymbolValue::MakeInt(0);
}

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
    ThrowUnknownKind();
}

void CSymbolContainer::ThrowUnknownKind() {
    throw std::logic_error("Unknown variant type in CSymbolContainer::ToMdtType()");
}

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
