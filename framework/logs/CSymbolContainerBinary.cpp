// The packed binary form of CSymbolContainer: a 4-byte count, the
// identifiers, then one record (kind code and payload) per symbol, all
// little-endian.

#include <array>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

#include "framework/logs/CByteReader.h"
#include "framework/logs/CByteWriter.h"
#include "framework/logs/CSymbolContainer.h"
#include "framework/logs/IdentifierRepeats.h"
#include "framework/logs/TextTruncation.h"

namespace Kol {
namespace Common {
namespace Logs {

namespace {

// How a kind's payload is laid out.
enum class Layout : std::uint8_t {
    Word,   // the first `payload` bytes of the value's 8-byte word
    Bytes,  // a 4-byte length, then that many bytes
    Uuid,   // the 16 bytes of the UUID
};

struct KindForm {
    SymbolKind kind;
    std::uint32_t code;    // the binary kind code, not the kind index
    std::uint8_t payload;  // payload bytes, not counting a text's or blob's own bytes
    Layout layout;
};

// One entry per kind, in kind-index order.
constexpr KindForm kKindForms[] = {
    {SymbolKind::Blob, 8, 4, Layout::Bytes},  {SymbolKind::Int, 1, 8, Layout::Word},
    {SymbolKind::Double, 2, 8, Layout::Word}, {SymbolKind::String, 3, 4, Layout::Bytes},
    {SymbolKind::ResId, 4, 8, Layout::Word},  {SymbolKind::TimeDate, 6, 8, Layout::Word},
    {SymbolKind::Uuid, 5, 16, Layout::Uuid},  {SymbolKind::Bool, 7, 1, Layout::Word},
};
constexpr std::size_t kKindCount = sizeof kKindForms / sizeof kKindForms[0];

constexpr bool InKindOrder(std::size_t i = 0) {
    return i == kKindCount ||
           (static_cast<std::size_t>(kKindForms[i].kind) == i && InKindOrder(i + 1));
}
static_assert(InKindOrder() && kKindCount == static_cast<std::size_t>(SymbolKind::Bool) + 1,
              "kKindForms lists every SymbolKind in kind-index order");

// Kind index by binary code; kKindCount for a code that names no kind.
constexpr std::size_t kHighestCode = 8;
constexpr std::array<std::uint8_t, kHighestCode + 1> MakeKindOfCode() {
    std::array<std::uint8_t, kHighestCode + 1> kinds{};
    for (std::size_t code = 0; code <= kHighestCode; ++code) {
        kinds[code] = static_cast<std::uint8_t>(kKindCount);
    }
    for (std::size_t kind = 0; kind < kKindCount; ++kind) {
        kinds[kKindForms[kind].code] = static_cast<std::uint8_t>(kind);
    }
    return kinds;
}
constexpr std::array<std::uint8_t, kHighestCode + 1> kKindOfCode = MakeKindOfCode();

// The form of a value's kind; nullptr for a kind outside the table.
const KindForm* FindForm(const SymbolValue& value) {
    const std::size_t kind = static_cast<std::size_t>(value.GetKind());
    return kind < kKindCount ? &kKindForms[kind] : nullptr;
}

[[noreturn]] void ThrowCutShort(const std::string& field) {
    throw std::runtime_error("Binary symbol data is cut short in " + field);
}

[[noreturn]] void ThrowCutShort(const char* field, std::int32_t id) {
    ThrowCutShort(field + std::to_string(id));
}

// Writes one record, stopping silently at the end of the writer's buffer.
void WriteRecord(CByteWriter& writer, const SymbolValue& value, const KindForm& form) {
    writer.WriteUInt32(form.code);
    switch (form.layout) {
        case Layout::Word:
            // The word of a bool is 0 or 1, so its upper bytes are zero.
            writer.WriteLow(value.GetWord(), form.payload);
            return;
        case Layout::Bytes:
            writer.WriteUInt32(static_cast<std::uint32_t>(value.GetBytes().size()));
            writer.WriteBytes(value.GetBytes().data(), value.GetBytes().size());
            return;
        case Layout::Uuid:
            writer.WriteFixed<16>(value.GetUuid().data);
            return;
    }
}

// The number of symbols the form announces; 0 when there are none to read.
std::size_t ReadCount(CByteReader& reader) {
    if (!reader.Has(4)) {
        ThrowCutShort("the symbol count");
    }
    const std::int32_t count = static_cast<std::int32_t>(reader.ReadUInt32());
    if (count < 0) {
        throw std::length_error("Negative symbol count in binary symbol data: " +
                                std::to_string(count));
    }
    // Checked before anything is allocated, so a forged count cannot make the
    // reader reserve more than the buffer could describe.
    const std::size_t n = static_cast<std::size_t>(count);
    if (reader.GetRemaining() / 4 < n) {
        ThrowCutShort("the identifiers");
    }
    return n;
}

// Reads one record into a value, converted as the adder of its kind would
// convert it (a text is cut to its storage length).
SymbolValue ReadRecord(CByteReader& reader, std::int32_t id) {
    if (!reader.Has(4)) {
        ThrowCutShort("the kind code of symbol ", id);
    }
    const std::uint32_t code = reader.ReadUInt32();
    const std::size_t kind = code <= kHighestCode ? kKindOfCode[code] : kKindCount;
    if (kind == kKindCount) {
        throw std::runtime_error("Unimplemented type handler");
    }
    const KindForm& form = kKindForms[kind];
    if (!reader.Has(form.payload)) {
        ThrowCutShort(
            form.layout == Layout::Bytes ? "the length of symbol " : "the value of symbol ", id);
    }
    switch (form.layout) {
        case Layout::Word: {
            // A bool is true exactly when its byte is 1.
            const std::uint64_t word =
                form.payload == 8 ? reader.ReadUInt64() : (reader.ReadUInt8() == 1 ? 1 : 0);
            return SymbolValue::MakeFromWord(form.kind, word);
        }
        case Layout::Bytes: {
            const std::size_t size = reader.ReadUInt32();
            if (!reader.Has(size)) {
                ThrowCutShort("the value of symbol ", id);
            }
            std::string bytes(reader.ReadBytes(size), size);
            if (form.kind == SymbolKind::String) {
                TruncateToOtlLength(bytes, id);
                return SymbolValue::MakeString(std::move(bytes));
            }
            return SymbolValue::MakeBlob(std::move(bytes));
        }
        case Layout::Uuid:
            break;
    }
    boost::uuids::uuid value;
    std::memcpy(value.data, reader.ReadBytes(16), 16);
    return SymbolValue::MakeUuid(value);
}

}  // namespace

std::size_t CSymbolContainer::GetBinarySize() const {
    std::size_t size = 4 + 8 * m_ids.size();  // count, then an id and a code per symbol
    for (const SymbolValue& value : m_values) {
        const KindForm* form = FindForm(value);
        if (form == nullptr) {
            ThrowUnknownKind();
        }
        size += form->payload;
        if (form->layout == Layout::Bytes) {
            size += value.GetBytes().size();
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
        const KindForm* form = FindForm(value);
        if (form == nullptr) {
            ThrowUnknownKind();
        }
        WriteRecord(writer, value, *form);
    }
    return out;
}

// Records before the first repeat are appended once read; from the first
// repeat on, the common add steps run and raise the same error as a load
// that checked every record. A locked container refuses at the first add.
void CSymbolContainer::DeserializeBinary(const char* data, std::size_t length) {
    CByteReader reader(data, length);
    const std::size_t count = ReadCount(reader);
    if (count == 0) {
        return;
    }
    std::vector<std::int32_t> ids(count);
    std::memcpy(ids.data(), reader.ReadBytes(4 * count), 4 * count);
#if !defined(__BYTE_ORDER__) || __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
    CByteReader idReader(reinterpret_cast<const char*>(ids.data()), 4 * count);
    for (std::int32_t& id : ids) {
        id = static_cast<std::int32_t>(idReader.ReadUInt32());
    }
#endif
    const std::size_t firstRepeat =
        m_locked ? 0 : FindFirstRepeat(m_ids, ids.data(), count, nullptr);
    m_ids.reserve(m_ids.size() + count);
    m_values.reserve(m_values.size() + count);
    for (std::size_t i = 0; i < count; ++i) {
        SymbolValue value = ReadRecord(reader, ids[i]);
        if (i < firstRepeat) {
            Append(ids[i], std::move(value));
        } else {
            AddValue(ids[i], std::move(value));
        }
    }
}

void CSymbolContainer::DeserializeBinary(const std::string& bytes) {
    DeserializeBinary(bytes.data(), bytes.size());
}

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
