#pragma once

#include <string>
#include <utility>

namespace Kol {
namespace Common {
namespace Logs {
namespace Test {

// The text of the `Exception` that `action` throws, or "<no exception>".
// Other exception types propagate, so a wrong type fails the test.
template <typename Exception, typename Action>
std::string ErrorText(Action&& action) {
    try {
        std::forward<Action>(action)();
    } catch (const Exception& e) {
        return e.what();
    }
    return "<no exception>";
}

// Lower-case hex of `bytes`, two digits per byte, no separators.
inline std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
    }
    return text;
}

// The bytes of a hex text; spaces are ignored.
inline std::string Bytes(const std::string& hex) {
    std::string digits;
    for (char c : hex) {
        if (c != ' ') {
            digits += c;
        }
    }
    std::string bytes;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
        bytes += static_cast<char>(std::stoi(digits.substr(i, 2), nullptr, 16));
    }
    return bytes;
}

}  // namespace Test
}  // namespace Logs
}  // namespace Common
}  // namespace Kol
