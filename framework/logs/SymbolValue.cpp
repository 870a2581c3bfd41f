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

SymbolValue SymbolValue::MakeTime(const boost::posix_time::ptime& time) {
    return MakeTimeTicks(TimeToTicks(time));
}

SymbolValue SymbolValue::MakeUuid(const boost::uuids::uuid& id) {
    SymbolValue value(SymbolKind::Uuid);
    value.m_storage.id = new boost::uuids::uuid(id);
    return value;
}

SymbolValue& SymbolValue::operator=(SymbolValue&& other) noexcept {
    if (this != &other) {
        if (OwnsHeapObject()) {
            ReleaseHeapObject();
        }
        m_storage = other.m_storage;
        m_kind = other.m_kind;
        other.m_kind = SymbolKind::Int;
        other.m_storage.integer = 0;
    }
    return *this;
}

void SymbolValue::ReleaseHeapObject() noexcept {
    if (m_kind == SymbolKind::Uuid) {
        delete m_storage.id;
    } else {
        delete m_storage.bytes;
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
        case SymbolKind::Bool:
            return m_storage.integer == other.m_storage.integer;
        case SymbolKind::Double:
            return m_storage.real == other.m_storage.real;
        case SymbolKind::Uuid:
            return *m_storage.id == *other.m_storage.id;
    }
    return false;
}

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
