#pragma once

#include <cstdint>
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
// A moved-from value is an `int` 0. Not thread-safe; no locks.
class SymbolValue {
public:
    static SymbolValue MakeBlob(std::string bytes);
    static SymbolValue MakeInt(std::int64_t value);
    static SymbolValue MakeDouble(double value);
    static SymbolValue MakeString(std::string text);
    static SymbolValue MakeResId(std::int64_t value);
    static SymbolValue MakeTime(const boost::posix_time::ptime& time);
    static SymbolValue MakeTimeTicks(std::int64_t ticks);
    static SymbolValue MakeUuid(const boost::uuids::uuid& value);
    static SymbolValue MakeBool(bool value);

    SymbolValue(SymbolValue&& other) noexcept;
    SymbolValue& operator=(SymbolValue&& other) noexcept;
    SymbolValue(const SymbolValue&) = delete;
    SymbolValue& operator=(const SymbolValue&) = delete;
    ~SymbolValue();

    SymbolKind GetKind() const { return m_kind; }

    // Each accessor requires the kind named beside it; the caller checks.
    std::int64_t GetInteger() const { return m_storage.integer; }        // Int, ResId
    double GetDouble() const { return m_storage.real; }                  // Double
    bool GetBool() const { return m_storage.flag; }                      // Bool
    std::int64_t GetTicks() const { return m_storage.integer; }          // TimeDate
    boost::posix_time::ptime GetTime() const;                            // TimeDate
    const std::string& GetBytes() const { return *m_storage.bytes; }     // Blob, String
    const boost::uuids::uuid& GetUuid() const { return *m_storage.id; }  // Uuid

    // Same kind and same value: bytes compared whole, integers and ticks by
    // value, doubles by == (a NaN is never equal), UUIDs by all 16 bytes.
    bool Equals(const SymbolValue& other) const;

private:
    explicit SymbolValue(SymbolKind kind) : m_kind(kind) { m_storage.integer = 0; }
    void Release() noexcept;

    union Storage {
        std::int64_t integer;
        double real;
        bool flag;
        std::string* bytes;
        boost::uuids::uuid* id;
    };

    Storage m_storage;
    SymbolKind m_kind;
};

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
