#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include <boost/date_time/posix_time/ptime.hpp>
#include <boost/uuid/uuid.hpp>

#include "contracts/logs/SymbolKind.h"

namespace Kol {
namespace Common {
namespace Logs {

// One symbol value of one of the eight kinds: a machine word plus the kind
// index. `int`, `double`, `res_id`, `time_date` (as its tick count) and `bool`
// live in place; `blob`, `string` and `uuid` in a heap object that this value
// owns alone and frees when it is destroyed or overwritten.
//
// Move-only: copying a container goes through its MultiDataType form instead.
// A moved-from value is an `int` 0. Not thread-safe; no locks. The small
// members are inline because the serialisers call them once per symbol.
class SymbolValue {
public:
    static SymbolValue MakeBlob(std::string bytes);
    static SymbolValue MakeInt(std::int64_t value) { return InPlace(SymbolKind::Int, value); }
    static SymbolValue MakeDouble(double value);
    static SymbolValue MakeString(std::string text);
    static SymbolValue MakeResId(std::int64_t value) { return InPlace(SymbolKind::ResId, value); }
    static SymbolValue MakeTime(const boost::posix_time::ptime& time);
    static SymbolValue MakeTimeTicks(std::int64_t ticks) {
        return InPlace(SymbolKind::TimeDate, ticks);
    }
    static SymbolValue MakeUuid(const boost::uuids::uuid& value);
    static SymbolValue MakeBool(bool value) { return InPlace(SymbolKind::Bool, value ? 1 : 0); }
    // An in-place kind (Int, Double, ResId, TimeDate, Bool) from its 8-byte
    // word, as GetWord gives it back; a Bool word must be 0 or 1.
    static SymbolValue MakeFromWord(SymbolKind kind, std::uint64_t word) {
        SymbolValue value(kind);
        std::memcpy(&value.m_storage, &word, sizeof word);
        return value;
    }

    SymbolValue(SymbolValue&& other) noexcept : m_storage(other.m_storage), m_kind(other.m_kind) {
        other.m_kind = SymbolKind::Int;
        other.m_storage.integer = 0;
    }
    SymbolValue& operator=(SymbolValue&& other) noexcept;
    SymbolValue(const SymbolValue&) = delete;
    SymbolValue& operator=(const SymbolValue&) = delete;
    ~SymbolValue() {
        if (OwnsHeapObject()) {
            ReleaseHeapObject();
        }
    }

    SymbolKind GetKind() const { return m_kind; }

    // Each accessor requires the kind named beside it; the caller checks.
    std::int64_t GetInteger() const { return m_storage.integer; }        // Int, ResId
    double GetDouble() const { return m_storage.real; }                  // Double
    bool GetBool() const { return m_storage.integer != 0; }              // Bool
    std::int64_t GetTicks() const { return m_storage.integer; }          // TimeDate
    boost::posix_time::ptime GetTime() const;                            // TimeDate
    const std::string& GetBytes() const { return *m_storage.bytes; }     // Blob, String
    const boost::uuids::uuid& GetUuid() const { return *m_storage.id; }  // Uuid
    // The 8 bytes of an in-place value (Int, Double, ResId, TimeDate, Bool).
    std::uint64_t GetWord() const {
        std::uint64_t word;
        std::memcpy(&word, &m_storage, sizeof word);
        return word;
    }

    // Same kind and same value: bytes compared whole, integers and ticks by
    // value, doubles by == (a NaN is never equal), UUIDs by all 16 bytes.
    bool Equals(const SymbolValue& other) const;

private:
    explicit SymbolValue(SymbolKind kind) : m_kind(kind) { m_storage.integer = 0; }
    static SymbolValue InPlace(SymbolKind kind, std::int64_t integer) {
        SymbolValue value(kind);
        value.m_storage.integer = integer;
        return value;
    }
    bool OwnsHeapObject() const {
        return m_kind == SymbolKind::Blob || m_kind == SymbolKind::String ||
               m_kind == SymbolKind::Uuid;
    }
    void ReleaseHeapObject() noexcept;

    union Storage {
        std::int64_t integer;  // Int, ResId, TimeDate ticks, Bool as 0 or 1
        double real;
        std::string* bytes;
        boost::uuids::uuid* id;
    };

    Storage m_storage;
    SymbolKind m_kind;
};

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
