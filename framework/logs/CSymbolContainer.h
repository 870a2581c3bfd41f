#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "contracts/datadefinition/Logs.pb.h"
#include "contracts/logs/IProtobufGetter.h"
#include "contracts/logs/ISymbolContainer.h"
#include "framework/logs/SymbolValue.h"

namespace Kol {
namespace Common {
namespace Logs {

// The symbols of one log record: typed values under unique int32 identifiers,
// kept in insertion order, with a protobuf form (LogSymbolContainer) and a
// packed little-endian binary form.
//
// Errors (std::runtime_error unless noted; <id> in signed decimal):
//   "Cannot add symbol <id>: container is locked"          add or set while locked
//   "Symbol <id> is already in container"                   add of a present id
//   "Cannot set the symbol <id> because it exists but is not of same type as before"
//   "Cannot find symbol <id> in symbol container"            get of an absent id
//   "The symbol <id> exists but is not of requested type"    get of another kind
//   "Symbol <id> value is not fully initialized"             UTCTime / Uuid message
//   "Failed to deserialize symbols: container is locked"     Deserialize while locked
// Conversion errors (UUID text, calendar ranges, UTF-8 cutting, the clock)
// come before the container's own checks and pass through unchanged. Every
// refusal leaves the container as it was, except that the readers keep the
// symbols read before an error and SetSymbol(id, MultiDataType) removes the
// old symbol before adding.
//
// No locks: one thread fills the container; once it is locked and published
// any number of threads may read it. The lock is a write guard only.
class CSymbolContainer : public ISymbolContainer, public IProtobufGetter {
public:
    using ISymbolContainer::AddSymbol;
    using ISymbolContainer::SetSymbol;

    // An empty, unlocked container.
    CSymbolContainer();
    // An unlocked copy made through the MultiDataType form of each symbol, as
    // Clone does: texts are cut to their storage length again, times keep
    // microseconds, UUIDs pass through their text. Throws what those
    // conversions throw (a special time value has no UTCTime form).
    CSymbolContainer(const CSymbolContainer& other);
    CSymbolContainer& operator=(const CSymbolContainer&) = delete;
    ~CSymbolContainer() override;

    // Replaces `out` with the protobuf encoding; true when `out` is not empty
    // (an empty container encodes to no bytes).
    bool Serialize(std::string& out) const override;
    // Adds the symbols of a protobuf encoding, in order, through the
    // MultiDataType adder, even when the parse fails. Returns the parse result.
    bool Deserialize(const std::string& bytes) override;

    bool HasSymbol(std::int32_t id) const override;

    MultiDataType GetSymbolData(std::int32_t id) const override;
    bool GetBool(std::int32_t id) const override;
    // The references stay valid until the symbol is removed or replaced.
    const std::string& GetBlob(std::int32_t id) const override;
    std::int64_t GetInt64(std::int32_t id) const override;
    double GetDouble(std::int32_t id) const override;
    const std::string& GetString(std::int32_t id) const override;
    std::int64_t GetResourceId(std::int32_t id) const override;
    std::int32_t GetInt32(std::int32_t id) const override;
    // Throws std::runtime_error for a special time value (not-a-date-time or
    // an infinity), which has no calendar form.
    UTCTime GetUtcTime(std::int32_t id) const override;
    ptime GetTime(std::int32_t id) const override;
    Uuid GetUuid(std::int32_t id) const override;

    boost::optional<MultiDataType> TryGetSymbolData(std::int32_t id) const override;
    boost::optional<bool> TryGetBool(std::int32_t id) const override;
    boost::optional<std::string> TryGetBlob(std::int32_t id) const override;
    boost::optional<std::int64_t> TryGetInt64(std::int32_t id) const override;
    boost::optional<double> TryGetDouble(std::int32_t id) const override;
    boost::optional<std::string> TryGetString(std::int32_t id) const override;
    boost::optional<std::int64_t> TryGetResourceId(std::int32_t id) const override;
    boost::optional<std::int32_t> TryGetInt32(std::int32_t id) const override;
    boost::optional<UTCTime> TryGetUtcTime(std::int32_t id) const override;
    boost::optional<ptime> TryGetTime(std::int32_t id) const override;
    boost::optional<Uuid> TryGetUuid(std::int32_t id) const override;

    // Takes entry 0 of the first non-empty list in the order bool, int,
    // double, res_id, string, time_date, uuid, blob; an empty value adds
    // nothing and raises nothing.
    ISymbolContainer& AddSymbol(std::int32_t id, const MultiDataType& value) override;
    ISymbolContainer& AddSymbol(std::int32_t id, bool value) override;
    ISymbolContainer& AddBlob(std::int32_t id, const std::string& value) override;
    ISymbolContainer& AddSymbol(std::int32_t id, std::int64_t value) override;
    ISymbolContainer& AddSymbol(std::int32_t id, double value) override;
    ISymbolContainer& AddSymbol(std::int32_t id, const std::string& value) override;
    ISymbolContainer& AddResourceId(std::int32_t id, std::int64_t value) override;
    ISymbolContainer& AddSymbol(std::int32_t id, std::int32_t value) override;
    ISymbolContainer& AddSymbol(std::int32_t id, const UTCTime& value) override;
    ISymbolContainer& AddCurrentTime(std::int32_t id) override;
    ISymbolContainer& AddSymbol(std::int32_t id, const uuid& value) override;
    ISymbolContainer& AddUuidText(std::int32_t id, const std::string& text) override;
    ISymbolContainer& AddSymbol(std::int32_t id, const Uuid& value) override;

    ISymbolContainer& SetSymbol(std::int32_t id, const MultiDataType& value) override;
    ISymbolContainer& SetSymbol(std::int32_t id, bool value) override;
    ISymbolContainer& SetSymbol(std::int32_t id, std::int64_t value) override;
    // Unlike the adder, does not cut the text to its storage length.
    ISymbolContainer& SetSymbol(std::int32_t id, const std::string& value) override;
    ISymbolContainer& SetUuidText(std::int32_t id, const std::string& text) override;
    ISymbolContainer& SetResourceId(std::int32_t id, std::int64_t value) override;
    ISymbolContainer& SetBlob(std::int32_t id, const std::string& value) override;
    ISymbolContainer& SetSymbol(std::int32_t id, const UTCTime& value) override;

    void RemoveSymbol(std::int32_t id) override;

    int GetProtobufSize() const override;
    std::size_t GetSymbolCount() const override;
    // Throw std::out_of_range "Symbol index <index> is not below the symbol
    // count <count>" for an index past the end.
    MultiDataType GetSymbolDataAt(std::size_t index) const override;
    std::int32_t GetSymbolIdAt(std::size_t index) const override;

    bool Equals(const ISymbolContainer& other) const override;
    boost::shared_ptr<ISymbolContainer> Clone() const override;

    std::size_t GetBinarySize() const override;
    // Exactly `size` bytes: the binary form cut at `size`, or followed by
    // zero bytes when `size` is larger.
    std::string SerializeBinary(std::size_t size) const override;
    // Adds the symbols of a binary form; bytes after the last record are
    // ignored. Throws std::length_error for a negative count (nothing added),
    // std::runtime_error "Unimplemented type handler" for an unknown kind
    // code, and std::runtime_error "Binary symbol data is cut short in <field>"
    // when the data ends inside a field, <field> being "the symbol count",
    // "the identifiers", "the kind code of symbol <id>", "the length of
    // symbol <id>" or "the value of symbol <id>". Symbols read before an
    // error stay.
    void DeserializeBinary(const char* data, std::size_t length) override;
    void DeserializeBinary(const std::string& bytes) override;

    // Sets the lock and trims both arrays to their length.
    void Lock() override;
    void Unlock() override;
    bool IsLocked() const { return m_locked; }

    boost::shared_ptr<DataDefinition::Logs::LogSymbolContainer> GetProtobuf() const override;

private:
    // Index of `id`, or GetSymbolCount() when absent.
    std::size_t Find(std::int32_t id) const;
    // Index of `id` holding `kind`; throws the getters' errors otherwise.
    std::size_t FindKind(std::int32_t id, SymbolKind kind) const;
    void CheckUnlocked(std::int32_t id) const;
    void CheckIndex(std::size_t index) const;
    // The common add steps: locked, duplicate, append.
    void AddValue(std::int32_t id, SymbolValue value);
    // Appends without the lock and duplicate checks: for callers that made
    // them already, such as the bulk loads for the entries before the first
    // repeat (FindFirstRepeat). Both arrays grow together or not at all.
    void Append(std::int32_t id, SymbolValue value);
    // The common set steps after conversion: locked, add or replace in place.
    void SetValue(std::int32_t id, SymbolValue value);
    void AddText(std::int32_t id, std::string text);
    // Entry 0 of the first non-empty list of `data`, converted as the
    // MultiDataType adder converts it; `empty` is set when every list is
    // empty (the result is then meaningless). Throws the conversion errors.
    static SymbolValue ConvertMdt(std::int32_t id, const MultiDataType& data, bool& empty);
    void ToMdtType(std::size_t index, MultiDataType& out) const;
    // The logic error "Unknown variant type in CSymbolContainer::ToMdtType()"
    // of every form, for a kind outside the eight.
    [[noreturn]] static void ThrowUnknownKind();
    boost::shared_ptr<DataDefinition::Logs::LogSymbolContainer> ToProtobuf() const;
    void FromProtobuf(const DataDefinition::Logs::LogSymbolContainer& message);

    bool m_locked;
    std::vector<std::int32_t> m_ids;    // insertion order, no duplicates
    std::vector<SymbolValue> m_values;  // m_values[i] belongs to m_ids[i]
};

// Inline: the bulk loads call it once per symbol.
inline void CSymbolContainer::Append(std::int32_t id, SymbolValue value) {
    m_ids.push_back(id);
    try {
        m_values.push_back(std::move(value));
    } catch (...) {
        m_ids.pop_back();
        throw;
    }
}

typedef boost::shared_ptr<CSymbolContainer> CSymbolContainerPtr;

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
