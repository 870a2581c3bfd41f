#pragma once

#include <string>

#include "contracts/datadefinition/Logs.pb.h"

namespace Kol {
namespace Common {
namespace Logs {

// message.ParseFromString(bytes), with the same result and the same fields
// filled in, but with the memory that one call may reserve bounded by a small
// multiple of the input.
//
// libprotobuf checks a text's declared length against the end of the input
// only at the outermost level: inside a nested message whose own declared
// length runs past the input, it reserves up to 50 MB for a text before it
// finds the input ends. Such input fails to parse whatever is done, and the
// parser then keeps the bytes that were there. So the bytes are walked first,
// as the parser will walk them (the LogSymbolContainer schema: which fields
// are nested messages, which are packed numbers, which are texts), and the
// declared length of the text the input ends inside is lowered, in a copy and
// in the same number of bytes, to what is left of the input plus a margin
// beyond the parser's read-ahead. The parser then fails at the same place
// with the same bytes kept, without the reservation.
//
// Any thread; the message belongs to the caller.
bool ParseWithinInput(const std::string& bytes, DataDefinition::Logs::LogSymbolContainer& message);

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
