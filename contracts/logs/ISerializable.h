#pragma once

#include <string>

namespace Kol {
namespace Common {
namespace Logs {

// An object with a protobuf byte form.
class ISerializable {
public:
    virtual ~ISerializable();

    // Replaces `out` with the encoded form. Returns true when `out` is not empty.
    virtual bool Serialize(std::string& out) const = 0;

    // Adds what `bytes` encode. Returns the parser's verdict; what the parser
    // read before a failure is kept.
    virtual bool Deserialize(const std::string& bytes) = 0;
};

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
