#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace Kol {
namespace Common {
namespace Logs {

// Cuts `text` at a UTF-8 character boundary and appends "...". A text shorter
// than `limit` comes back unchanged. For limits of 3 and more the result is
// the longest prefix of whole characters of at most limit - 3 bytes, then
// "...", so it never exceeds `limit`. Limits 1 and 2 follow the same walk with
// limit - 3 wrapping around: limit 1 gives "...", limit 2 gives the first byte
// and "..." when that byte is a one-byte character, else "..." alone.
// Only the lead bytes met before the cut are checked. Throws
// std::runtime_error "Invalid utf8 leading byte" for a continuation byte where
// a character must start and "Utf8 character cannot have more than 6
// characters" for a lead byte 0xFE or 0xFF. Any thread.
std::string TruncateUtf8(const std::string& text, std::size_t limit);

// Cuts `text` in place to the storage length that the log descriptors give
// symbol `id`, with TruncateUtf8, when the symbol is known, its length is at
// least 1 and the text is longer. Otherwise leaves the text unchanged. Throws
// what TruncateUtf8 throws; the text is unchanged then. Any thread.
void TruncateToOtlLength(std::string& text, std::int32_t id);

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
