#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Kol {
namespace Fuzz {

// One check per reader of untrusted bytes. Each feeds one input to the
// project's own code and verifies what must hold for every input: only the
// documented errors, with their documented texts; whatever was read survives
// a round trip through the writers unchanged; the heap use stays within a
// small multiple of the input.
//
// A check returns "" when everything held, otherwise a description of the
// first broken rule. Exceptions other than the documented ones are reported
// the same way. Crashes and sanitizer findings end the process, as they
// should. Every check may be called from any thread; none keeps state.
typedef std::string (*CheckFunction)(const std::uint8_t* data, std::size_t size);

// CSymbolContainer::DeserializeBinary on the bytes.
std::string CheckDeserializeBinary(const std::uint8_t* data, std::size_t size);
// CSymbolContainer::Deserialize (protobuf form) on the bytes.
std::string CheckDeserialize(const std::uint8_t* data, std::size_t size);
// ParseUuid on the bytes as text, and UuidToString of what it returns.
std::string CheckUuidText(const std::uint8_t* data, std::size_t size);
// Byte 0 chooses: even, the rest is a UTCTime protobuf encoding for
// FromUtcTime and ToUtcTime; odd, the next 8 bytes (little-endian, missing
// bytes zero) are a tick count for TicksToTime, TimeToTicks and ToUtcTime.
std::string CheckUtcTime(const std::uint8_t* data, std::size_t size);
// Bytes 0 and 1 are the limit (little-endian, missing bytes zero), the rest
// the text for TruncateUtf8.
std::string CheckTruncateUtf8(const std::uint8_t* data, std::size_t size);

struct FuzzTarget {
    const char* name;  // the corpus folder and the fuzzer's name without "fuzz_"
    CheckFunction check;
};

// Every target, in a fixed order.
const std::vector<FuzzTarget>& GetFuzzTargets();

// The heap a reader may hold at once for an input of `size` bytes.
std::size_t GetAllocationBound(std::size_t size);

}  // namespace Fuzz
}  // namespace Kol
