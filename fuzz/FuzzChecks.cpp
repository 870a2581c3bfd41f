#include "fuzz/FuzzChecks.h"

#include <cstring>
#include <exception>
#include <stdexcept>
#include <typeinfo>

#include "contracts/datadefinition/Logs.pb.h"
#include "framework/logs/CSymbolContainer.h"
#include "fuzz/CAllocationMeter.h"
#include "fuzz/CheckSupport.h"

namespace Kol {
namespace Fuzz {

namespace {

using Common::Logs::CSymbolContainer;

namespace DataDefinition = Common::DataDefinition;

// "<prefix><signed decimal><suffix>".
bool IsNumbered(const std::string& text, const std::string& prefix, const std::string& suffix) {
    return text.size() > prefix.size() + suffix.size() && StartsWith(text, prefix) &&
           EndsWith(text, suffix) &&
           IsSignedDecimal(text.substr(prefix.size(), text.size() - prefix.size() - suffix.size()));
}

bool IsDuplicateError(const std::string& text) {
    return IsNumbered(text, "Symbol ", " is already in container");
}

// The errors a binary form may legitimately raise.
bool IsBinaryReadError(const std::exception& error) {
    if (!IsPlainRuntimeError(error)) {
        return false;
    }
    const std::string text = error.what();
    const std::string cutShort = "Binary symbol data is cut short in ";
    if (StartsWith(text, cutShort)) {
        const std::string field = text.substr(cutShort.size());
        return field == "the symbol count" || field == "the identifiers" ||
               IsNumbered(field, "the kind code of symbol ", "") ||
               IsNumbered(field, "the length of symbol ", "") ||
               IsNumbered(field, "the value of symbol ", "");
    }
    return text == "Unimplemented type handler" || IsDuplicateError(text) || IsUtf8Error(text);
}

// The errors a protobuf form may legitimately raise while its symbols are
// added: duplicates, incomplete messages and the value conversions.
bool IsProtobufReadError(const std::exception& error) {
    if (IsDateError(error)) {
        return true;
    }
    if (!IsPlainRuntimeError(error)) {
        return false;
    }
    const std::string text = error.what();
    return IsDuplicateError(text) ||
           IsNumbered(text, "Symbol ", " value is not fully initialized") ||
           StartsWith(text, "Invalid UUID string at position ") || IsUtf8Error(text);
}

std::string CheckHeap(const CAllocationMeter& meter, std::size_t size) {
    const std::size_t peak = meter.GetPeakBytes();
    const std::size_t bound = GetAllocationBound(size);
    if (peak > bound) {
        return "held " + std::to_string(peak) + " heap bytes at once for an input of " +
               std::to_string(size) + " bytes (bound " + std::to_string(bound) + ")";
    }
    return "";
}

// Whatever a reader added must be writable, and reading the written binary
// form must give the same form again.
std::string CheckBinaryRoundTrip(const CSymbolContainer& container) {
    const std::size_t size = container.GetBinarySize();
    const std::string first = container.SerializeBinary(size);
    if (first.size() != size) {
        return "SerializeBinary(" + std::to_string(size) + ") gave " +
               std::to_string(first.size()) + " bytes";
    }
    CSymbolContainer copy;
    try {
        copy.DeserializeBinary(first);
    } catch (const std::exception& error) {
        return "reading back the binary form failed: " + Describe(error);
    }
    if (copy.GetSymbolCount() != container.GetSymbolCount()) {
        return "reading back the binary form gave " + std::to_string(copy.GetSymbolCount()) +
               " symbols instead of " + std::to_string(container.GetSymbolCount());
    }
    if (copy.SerializeBinary(copy.GetBinarySize()) != first) {
        return "the binary form changed in a round trip";
    }
    return "";
}

// The protobuf form of the container, read back, must give the same binary
// form. Times outside the calendar years 1400..9999 have no protobuf form.
std::string CheckProtobufRoundTrip(const CSymbolContainer& container) {
    std::string encoded;
    try {
        const bool filled = container.Serialize(encoded);
        if (filled != !encoded.empty()) {
            return "Serialize returned " + std::string(filled ? "true" : "false") + " for " +
                   std::to_string(encoded.size()) + " bytes";
        }
    } catch (const std::exception& error) {
        const std::string text = error.what();
        if (IsYearError(error) ||
            (IsPlainRuntimeError(error) && StartsWith(text, "Cannot convert ") &&
             EndsWith(text, " to UTCTime"))) {
            return "";
        }
        return "Serialize failed: " + Describe(error);
    }
    CSymbolContainer copy;
    try {
        if (!copy.Deserialize(encoded)) {
            return "Deserialize refused the output of Serialize";
        }
    } catch (const std::exception& error) {
        return "reading back the protobuf form failed: " + Describe(error);
    }
    if (copy.SerializeBinary(copy.GetBinarySize()) !=
        container.SerializeBinary(container.GetBinarySize())) {
        return "the symbols changed in a protobuf round trip";
    }
    return "";
}

bool HasValue(const DataDefinition::Common::MultiDataType& value) {
    return value.val_bool_size() > 0 || value.val_int_size() > 0 || value.val_double_size() > 0 ||
           value.val_res_id_size() > 0 || value.val_string_size() > 0 ||
           value.val_time_date_size() > 0 || value.val_uuid_size() > 0 || value.val_blob_size() > 0;
}

}  // namespace

std::size_t GetAllocationBound(std::size_t size) {
    return 64 * size + 64 * 1024;
}

std::string CheckDeserializeBinary(const std::uint8_t* data, std::size_t size) {
    std::string failure;
    CSymbolContainer container;
    {
        CAllocationMeter meter;
        try {
            container.DeserializeBinary(reinterpret_cast<const char*>(data), size);
            if (size < 4) {
                return "accepted " + std::to_string(size) + " bytes without a symbol count";
            }
        } catch (const std::exception& error) {
            if (dynamic_cast<const std::length_error*>(&error) != nullptr) {
                if (container.GetSymbolCount() != 0) {
                    return "a negative count left symbols behind";
                }
            } else if (!IsBinaryReadError(error)) {
                return "undocumented error: " + Describe(error);
            } else if (size < 4 && std::string(error.what()) !=
                                       "Binary symbol data is cut short in the symbol count") {
                return "a form without a count failed with: " + Describe(error);
            }
        }
        failure = CheckHeap(meter, size);
    }
    if (failure.empty()) {
        failure = CheckBinaryRoundTrip(container);
    }
    if (failure.empty()) {
        failure = CheckProtobufRoundTrip(container);
    }
    return failure;
}

std::string CheckDeserialize(const std::uint8_t* data, std::size_t size) {
    const std::string bytes = ToText(data, size);
    std::string failure;
    CSymbolContainer container;
    bool parsed = false;
    bool threw = false;
    {
        CAllocationMeter meter;
        try {
            parsed = container.Deserialize(bytes);
        } catch (const std::exception& error) {
            if (!IsProtobufReadError(error)) {
                return "undocumented error: " + Describe(error);
            }
            threw = true;
        }
        failure = CheckHeap(meter, size);
    }
    if (failure.empty() && parsed && !threw) {
        // Every entry with a value was added, in order.
        DataDefinition::Logs::LogSymbolContainer message;
        message.ParseFromString(bytes);
        std::vector<std::int32_t> expected;
        for (const auto& symbol : message.symbols()) {
            if (HasValue(symbol.symbol_data())) {
                expected.push_back(symbol.symbol_type());
            }
        }
        std::vector<std::int32_t> actual;
        for (std::size_t i = 0; i < container.GetSymbolCount(); ++i) {
            actual.push_back(container.GetSymbolIdAt(i));
        }
        if (actual != expected) {
            failure = "added " + std::to_string(actual.size()) + " symbols of " +
                      std::to_string(expected.size()) + ", or in another order";
        }
    }
    if (failure.empty()) {
        failure = CheckBinaryRoundTrip(container);
    }
    if (failure.empty()) {
        failure = CheckProtobufRoundTrip(container);
    }
    return failure;
}

const std::vector<FuzzTarget>& GetFuzzTargets() {
    static const std::vector<FuzzTarget> targets = {
        {"deserialize_binary", &CheckDeserializeBinary},
        {"deserialize", &CheckDeserialize},
        {"uuid_text", &CheckUuidText},
        {"utc_time", &CheckUtcTime},
        {"truncate_utf8", &CheckTruncateUtf8},
    };
    return targets;
}

}  // namespace Fuzz
}  // namespace Kol
