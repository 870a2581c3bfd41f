#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include <boost/date_time/posix_time/ptime.hpp>
#include <boost/optional.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/uuid/uuid.hpp>

#include "contracts/datadefinition/Common.pb.h"
#include "contracts/logs/ILockable.h"
#include "contracts/logs/ISerializable.h"

namespace Kol {
namespace Common {
namespace Logs {

// The typed values of one log record, filed under 32-bit signed symbol
// identifiers, in insertion order. Eight value kinds (see SymbolKind).
//
// Not thread-safe: a container is filled by one thread, then locked and only
// read. Every refusal throws std::runtime_error before anything changes, except
// where an operation says otherwise. Adders and setters return *this.
class ISymbolContainer : public ISerializable, public ILockable {
public:
    typedef DataDefinition::Common::MultiDataType MultiDataType;
    typedef DataDefinition::Common::UTCTime UTCTime;
    typedef DataDefinition::Common::Uuid Uuid;
    typedef boost::posix_time::ptime ptime;
    typedef boost::uuids::uuid uuid;

    ~ISymbolContainer() override;

    virtual bool HasSymbol(std::int32_t id) const = 0;

    // Getters throw "Cannot find symbol <id> in symbol container" for an absent
    // identifier and "The symbol <id> exists but is not of requested type" for
    // a value of another kind.
    virtual MultiDataType GetSymbolData(std::int32_t id) const = 0;
    virtual bool GetBool(std::int32_t id) const = 0;
    virtual const std::string& GetBlob(std::int32_t id) const = 0;
    virtual std::int64_t GetInt64(std::int32_t id) const = 0;
    virtual double GetDouble(std::int32_t id) const = 0;
    virtual const std::string& GetString(std::int32_t id) const = 0;
    virtual std::int64_t GetResourceId(std::int32_t id) const = 0;
    virtual std::int32_t GetInt32(std::int32_t id) const = 0;  // low 32 bits of an int
    virtual UTCTime GetUtcTime(std::int32_t id) const = 0;
    virtual ptime GetTime(std::int32_t id) const = 0;
    virtual Uuid GetUuid(std::int32_t id) const = 0;

    // Empty when the identifier is absent; otherwise the getter's result (and
    // its exception for a value of another kind).
    virtual boost::optional<MultiDataType> TryGetSymbolData(std::int32_t id) const = 0;
    virtual boost::optional<bool> TryGetBool(std::int32_t id) const = 0;
    virtual boost::optional<std::string> TryGetBlob(std::int32_t id) const = 0;
    virtual boost::optional<std::int64_t> TryGetInt64(std::int32_t id) const = 0;
    virtual boost::optional<double> TryGetDouble(std::int32_t id) const = 0;
    virtual boost::optional<std::string> TryGetString(std::int32_t id) const = 0;
    virtual boost::optional<std::int64_t> TryGetResourceId(std::int32_t id) const = 0;
    virtual boost::optional<std::int32_t> TryGetInt32(std::int32_t id) const = 0;
    virtual boost::optional<UTCTime> TryGetUtcTime(std::int32_t id) const = 0;
    virtual boost::optional<ptime> TryGetTime(std::int32_t id) const = 0;
    virtual boost::optional<Uuid> TryGetUuid(std::int32_t id) const = 0;

    // Adders throw "Cannot add symbol <id>: container is locked" and
    // "Symbol <id> is already in container"; conversion errors come first.
    virtual ISymbolContainer& AddSymbol(std::int32_t id, const MultiDataType& value) = 0;
    virtual ISymbolContainer& AddSymbol(std::int32_t id, bool value) = 0;
    virtual ISymbolContainer& AddBlob(std::int32_t id, const std::string& value) = 0;
    virtual ISymbolContainer& AddSymbol(std::int32_t id, std::int64_t value) = 0;
    virtual ISymbolContainer& AddSymbol(std::int32_t id, double value) = 0;
    // Cuts the text to the symbol's storage length first.
    virtual ISymbolContainer& AddSymbol(std::int32_t id, const std::string& value) = 0;
    virtual ISymbolContainer& AddResourceId(std::int32_t id, std::int64_t value) = 0;
    virtual ISymbolContainer& AddSymbol(std::int32_t id, std::int32_t value) = 0;
    virtual ISymbolContainer& AddSymbol(std::int32_t id, const UTCTime& value) = 0;
    virtual ISymbolContainer& AddCurrentTime(std::int32_t id) = 0;
    virtual ISymbolContainer& AddSymbol(std::int32_t id, const uuid& value) = 0;
    virtual ISymbolContainer& AddUuidText(std::int32_t id, const std::string& text) = 0;
    virtual ISymbolContainer& AddSymbol(std::int32_t id, const Uuid& value) = 0;

    // Setters add an absent symbol, replace one of the same kind in place and
    // throw "Cannot set the symbol <id> because it exists but is not of same
    // type as before" otherwise. The MultiDataType setter removes and re-adds.
    virtual ISymbolContainer& SetSymbol(std::int32_t id, const MultiDataType& value) = 0;
    virtual ISymbolContainer& SetSymbol(std::int32_t id, bool value) = 0;
    virtual ISymbolContainer& SetSymbol(std::int32_t id, std::int64_t value) = 0;
    virtual ISymbolContainer& SetSymbol(std::int32_t id, const std::string& value) = 0;
    virtual ISymbolContainer& SetUuidText(std::int32_t id, const std::string& text) = 0;
    virtual ISymbolContainer& SetResourceId(std::int32_t id, std::int64_t value) = 0;
    virtual ISymbolContainer& SetBlob(std::int32_t id, const std::string& value) = 0;
    virtual ISymbolContainer& SetSymbol(std::int32_t id, const UTCTime& value) = 0;

    // Removes the symbol if present; allowed while locked.
    virtual void RemoveSymbol(std::int32_t id) = 0;

    virtual int GetProtobufSize() const = 0;
    virtual std::size_t GetSymbolCount() const = 0;
    // `index` must be below GetSymbolCount().
    virtual MultiDataType GetSymbolDataAt(std::size_t index) const = 0;
    virtual std::int32_t GetSymbolIdAt(std::size_t index) const = 0;

    // Same symbols with equal kinds and values, in any order.
    virtual bool Equals(const ISymbolContainer& other) const = 0;
    // A new, unlocked copy made through the MultiDataType form.
    virtual boost::shared_ptr<ISymbolContainer> Clone() const = 0;

    // The packed binary form: its exact size, the form cut or padded to
    // `size` bytes, and the readers (which keep what was read before an error).
    virtual std::size_t GetBinarySize() const = 0;
    virtual std::string SerializeBinary(std::size_t size) const = 0;
    virtual void DeserializeBinary(const char* data, std::size_t length) = 0;
    virtual void DeserializeBinary(const std::string& bytes) = 0;

    // Not a slot: keeps a string literal from choosing the bool overload.
    ISymbolContainer& AddSymbol(std::int32_t id, const char* value) {
        return AddSymbol(id, std::string(value));
    }
    ISymbolContainer& SetSymbol(std::int32_t id, const char* value) {
        return SetSymbol(id, std::string(value));
    }
};

typedef boost::shared_ptr<ISymbolContainer> ISymbolContainerPtr;

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
