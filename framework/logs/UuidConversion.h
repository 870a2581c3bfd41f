#pragma once

#include <string>

#include <boost/uuid/uuid.hpp>

namespace Kol {
namespace Common {
namespace Logs {

// The text form of a UUID: 36 characters, lower-case hexadecimal digits in
// storage order with dashes after bytes 4, 6, 8 and 10. Never throws except
// std::bad_alloc. Any thread.
std::string UuidToString(const boost::uuids::uuid& value);

// Parses the text form in [begin, end): 32 hexadecimal digits of either case,
// with all four dashes or none (decided at byte 4), optionally inside "{" and
// "}", nothing before or after. `begin` and `end` must delimit a valid range.
// Throws std::runtime_error "Invalid UUID string at position <pos>: <reason>",
// <pos> being the 0-based index of the offending character (the input length
// when the input ends early) and <reason> one of "unexpected end of input",
// "hex digit expected", "dash expected", "closing brace expected",
// "unexpected extra input". Any thread.
boost::uuids::uuid ParseUuid(const char* begin, const char* end);
boost::uuids::uuid ParseUuid(const std::string& text);

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
