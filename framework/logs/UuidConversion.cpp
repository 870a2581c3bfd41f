#include "framework/logs/UuidConversion.h"

#include <cstddef>
#include <stdexcept>

#include <boost/uuid/uuid_io.hpp>

namespace Kol {
namespace Common {
namespace Logs {

namespace {

[[noreturn]] void ThrowInvalid(std::size_t position, const char* reason) {
    throw std::runtime_error("Invalid UUID string at position " + std::to_string(position) + ": " +
                             reason);
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Walks the input once, remembering the position for error texts.
class Parser {
public:
    Parser(const char* begin, const char* end) : m_begin(begin), m_current(begin), m_end(end) {}

    bool AtEnd() const { return m_current == m_end; }
    std::size_t Position() const { return static_cast<std::size_t>(m_current - m_begin); }
    char Peek() const { return *m_current; }
    void Skip() { ++m_current; }

    int ReadHexDigit() {
        if (AtEnd()) {
            ThrowInvalid(Position(), "unexpected end of input");
        }
        const int value = HexValue(*m_current);
        if (value < 0) {
            ThrowInvalid(Position(), "hex digit expected");
        }
        ++m_current;
        return value;
    }

    void Expect(char c, const char* reason) {
        if (AtEnd()) {
            ThrowInvalid(Position(), "unexpected end of input");
        }
        if (*m_current != c) {
            ThrowInvalid(Position(), reason);
        }
        ++m_current;
    }

private:
    const char* m_begin;
    const char* m_current;
    const char* m_end;
};

}  // namespace

std::string UuidToString(const boost::uuids::uuid& value) {
    return boost::uuids::to_string(value);
}

boost::uuids::uuid ParseUuid(const char* begin, const char* end) {
    Parser parser(begin, end);
    const bool braced = !parser.AtEnd() && parser.Peek() == '{';
    if (braced) {
        parser.Skip();
    }
    boost::uuids::uuid result;
    bool dashes = false;
    for (std::size_t i = 0; i < result.size(); ++i) {
        if (i == 4) {
            dashes = !parser.AtEnd() && parser.Peek() == '-';
            if (dashes) {
                parser.Skip();
            }
        } else if (dashes && (i == 6 || i == 8 || i == 10)) {
            parser.Expect('-', "dash expected");
        }
        const int high = parser.ReadHexDigit();
        const int low = parser.ReadHexDigit();
        result.data[i] = static_cast<boost::uuids::uuid::value_type>(high * 16 + low);
    }
    if (braced) {
        parser.Expect('}', "closing brace expected");
    }
    if (!parser.AtEnd()) {
        ThrowInvalid(parser.Position(), "unexpected extra input");
    }
    return result;
}

boost::uuids::uuid ParseUuid(const std::string& text) {
    return ParseUuid(text.data(), text.data() + text.size());
}

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
