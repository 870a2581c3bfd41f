#include "framework/logs/SymbolValue.h"

#include <utility>

#include "framework/logs/TimeConversion.h"

namespace Kol {
namespace Common {
namespace Logs {

SymbolValue SymbolValue::MakeBlob(std::string bytes) {
    SymbolValue value(SymbolKind::Blob);
    value.m_storage.bytes = new std::string(std::move(bytes));
    return value;
}

SymbolValue SymbolValue::MakeInt(std::int64_t integer) {
    SymbolValue value(SymbolKind::Int);
    value.m_storage.integer = integer;
    return value;
}

SymbolValue SymbolValue::MakeDouble(double real) {
    SymbolValue value(SymbolKind::Double);
    value.m_storage.real = real;
    return value;
}

SymbolValue SymbolValue::MakeString(std::string text) {
    SymbolValue value(SymbolKind::String);
    value.m_storage.bytes = new std::string(std::move(text));
    return value;
}

SymbolValue SymbolValue::MakeResId(std::int64_t integer) {
    SymbolValue value(SymbolKind::ResId);
    value.m_storage.integer = integer;
    return value;
}

SymbolValue SymbolValue::MakeTime(const boost::posix_time::ptime& time) {
    return MakeTimeTicks(TimeToTicks(time));
}

SymbolValue SymbolValue::MakeTimeTicks(std::int64_t ticks) {
    SymbolValue value(SymbolKind::TimeDate);
    value.m_storage.integer = ticks;
    return value;
}

SymbolValue SymbolValue::MakeUuid(const boost::uuids::uuid& id) {
    SymbolValue value(SymbolKind::Uuid);
    value.m_storage.id = new boost::uuids::uuid(id);
    return value;
}

SymbolValue SymbolValue::MakeBool(bool flag) {
    SymbolValue value(SymbolKind::Bool);
    value.m_storage.integer = 0;
    value.m_storage.flag = flag;
    return value;
}

SymbolValue::SymbolValue(SymbolValue&& other) noexcept
    : m_storage(other.m_storage), m_kind(other.m_kind) {
    other.m_kind = SymbolKind::Int;
    other.m_storage.integer = 0;
}

SymbolValue& SymbolValue::operator=(SymbolValue&& other) noexcept {
    if (this != &other) {
        Release();
        m_storage = other.m_storage;
        m_kind = other.m_kind;
        other.m_kind = SymbolKind::Int;
        other.m_storage.integer = 0;
    }
    return *this;
}

SymbolValue::~SymbolValue() {
    Release();
}

void SymbolValue::Release() noexcept {
    switch (m_kind) {
        case SymbolKind::Blob:
        case SymbolKind::String:
            delete m_storage.bytes;
            break;
        case SymbolKind::Uuid:
            delete m_storage.id;
            break;
        default:
            break;
    }
    m_storage.integer = 0;
}

boost::posix_time::ptime SymbolValue::GetTime() const {
    return TicksToTime(m_storage.integer);
}

bool SymbolValue::Equals(const SymbolValue& other) const {
    if (m_kind != other.m_kind) {
        return false;
    }
    switch (m_kind) {
        case SymbolKind::Blob:
        case SymbolKind::String:
            return *m_storage.bytes == *other.m_storage.bytes;
        case SymbolKind::Int:
        case SymbolKind::ResId:
        case SymbolKind::TimeDate:
            return m_storage.integer == other.m_storage.integer;
        case SymbolKind::Double:
            return m_storage.real == other.m_storage.real;
        case SymbolKind::Uuid:
            return *m_storage.id == *other.m_storage.id;
        case SymbolKind::Bool:
            return m_storage.flag == other.m_storage.flag;
    }
    return false;
}

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
