#include "framework/logs/ProtobufLengthBound.h"

#include <climits>
#include <cstddef>
#include <cstdint>

namespace Kol {
namespace Common {
namespace Logs {

namespace {

// The parser reads up to 16 bytes past the end of its input; a declared
// length this far beyond the input's end is never reached by any of its
// reads, whatever the original length was.
const std::uint64_t kLengthMargin = 64;
// Deeper than the parser's recursion limit (100): the parser fails before
// anything this deep, so the walk may stop there.
const int kMaxDepth = 110;
// The largest length the parser accepts.
const std::uint64_t kMaxLength = INT_MAX - 16;

// What a length-delimited field is to the parser.
enum class Shape { Text, Packed, Message };

enum class Type { Container, Symbol, Value, Time, Uuid, Group };

struct FieldRule {
    Type type;
    std::uint32_t number;
    Shape shape;
    Type child;
};

// The length-delimited fields of LogSymbolContainer and what it holds that
// are not texts. Every other length-delimited field, known or unknown, is
// read as a text (a known numeric field of the wrong wire type is an unknown
// field to the parser).
const FieldRule kRules[] = {
    {Type::Container, 1, Shape::Message, Type::Symbol},
    {Type::Symbol, 2, Shape::Message, Type::Value},
    {Type::Value, 2, Shape::Packed, Type::Value},
    {Type::Value, 3, Shape::Packed, Type::Value},
    {Type::Value, 5, Shape::Packed, Type::Value},
    {Type::Value, 6, Shape::Message, Type::Time},
    {Type::Value, 7, Shape::Message, Type::Uuid},
    {Type::Value, 8, Shape::Packed, Type::Value},
};

const FieldRule* FindRule(Type type, std::uint32_t number) {
    for (const FieldRule& rule : kRules) {
        if (rule.type == type && rule.number == number) {
            return &rule;
        }
    }
    return nullptr;
}

// Walks the input as libprotobuf 3 parses it and stops where the parser
// would stop or fail (or earlier only where the parser fails too). Positions
// are offsets; a scope end may lie past the input.
class CWalker {
public:
    explicit CWalker(const std::string& bytes)
        : m_data(reinterpret_cast<const unsigned char*>(bytes.data())), m_size(bytes.size()) {}

    // Offset and width of the length to lower, or width 0; `complete` is
    // false when the input ends inside that length.
    std::size_t Run(std::size_t& width, bool& complete) {
        Walk(Type::Container, m_size, 0, 0);
        width = m_width;
        complete = m_complete;
        return m_lengthAt;
    }

private:
    // A tag as the parser computes it (up to 5 bytes, wrapping at 32 bits).
    bool ReadTag(std::uint32_t& tag) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 5; ++i) {
            if (m_position >= m_size) {
                return false;
            }
            const std::uint32_t byte = m_data[m_position++];
            value += i == 0 ? byte : (byte - 1) << (7 * i);
            if (byte < 128) {
                tag = value;
                return true;
            }
        }
        return false;
    }

    bool SkipVarint() {
        for (std::size_t i = 0; i < 10 && m_position < m_size; ++i) {
            if (m_data[m_position++] < 128) {
                return true;
            }
        }
        return false;
    }

    // A length: at most 5 bytes, the fifth below 8, at most kMaxLength. A
    // length cut off by the end of the input is read as the parser reads it,
    // ended by the zero bytes it finds past the end; `complete` tells which.
    bool ReadLength(std::uint64_t& length, bool& complete) {
        length = 0;
        complete = false;
        for (std::size_t i = 0; i < 5; ++i) {
            if (m_position >= m_size) {
                return true;
            }
            const std::uint64_t byte = m_data[m_position++];
            if (i == 4 && byte >= 8) {
                return false;
            }
            length |= (byte & 127) << (7 * i);
            if (byte < 128) {
                complete = true;
                return length <= kMaxLength;
            }
        }
        return false;
    }

    // False where the parser stops; `end` is the scope's limit, `endTag` the
    // tag that closes a group (0 for a message).
    bool Walk(Type type, std::uint64_t end, std::uint32_t endTag, int depth);
    bool WalkLengthDelimited(Type type, std::uint32_t number, int depth);

    const unsigned char* m_data;
    std::size_t m_size;
    std::uint64_t m_position = 0;
    std::size_t m_lengthAt = 0;
    std::size_t m_width = 0;
    bool m_complete = false;
};

bool CWalker::Walk(Type type, std::uint64_t end, std::uint32_t endTag, int depth) {
    while (m_position != end) {
        std::uint32_t tag = 0;
        if (m_position > end || !ReadTag(tag) || tag == 0) {
            return false;
        }
        const std::uint32_t number = tag >> 3;
        const std::uint32_t wireType = tag & 7;
        if (wireType == 4) {
            return endTag != 0 && tag == endTag;
        }
        if (number == 0) {
            return false;
        }
        bool going = true;
        switch (wireType) {
            case 0:
                going = SkipVarint();
                break;
            case 1:
                m_position += 8;
                break;
            case 5:
                m_position += 4;
                break;
            case 3:
                going = depth < kMaxDepth && Walk(Type::Group, end, tag + 1, depth + 1);
                break;
            case 2:
                going = WalkLengthDelimited(type, number, depth);
                break;
            default:
                return false;
        }
        if (!going || m_position > m_size) {
            return false;
        }
    }
    // A group that meets its scope's limit before its end tag fails.
    return endTag == 0;
}

bool CWalker::WalkLengthDelimited(Type type, std::uint32_t number, int depth) {
    const std::uint64_t lengthAt = m_position;
    std::uint64_t length = 0;
    bool complete = false;
    if (!ReadLength(length, complete)) {
        return false;
    }
    const std::uint64_t left = m_size - m_position;
    const FieldRule* rule = type == Type::Group ? nullptr : FindRule(type, number);
    if (complete && rule != nullptr && rule->shape == Shape::Message) {
        return depth < kMaxDepth && Walk(rule->child, m_position + length, 0, depth + 1);
    }
    if (complete && length <= left) {
        m_position += length;
        return true;
    }
    // The input ends inside this field: the parser stops here.
    if (rule == nullptr && length > left + kLengthMargin) {
        m_lengthAt = static_cast<std::size_t>(lengthAt);
        m_width = static_cast<std::size_t>(m_position - lengthAt);
        m_complete = complete;
    }
    return false;
}

}  // namespace

bool ParseWithinInput(const std::string& bytes, DataDefinition::Logs::LogSymbolContainer& message) {
    std::size_t width = 0;
    bool complete = false;
    const std::size_t at = CWalker(bytes).Run(width, complete);
    if (width == 0) {
        return message.ParseFromString(bytes);
    }
    // The new length in the same bytes: continuation bits on all but the
    // last (on all of them when the input ends inside the length, which the
    // parser then ends with a zero byte).
    std::string bounded(bytes);
    std::uint64_t length = bytes.size() - (at + width) + kLengthMargin;
    for (std::size_t i = 0; i < width; ++i) {
        const unsigned char more = i + 1 < width || !complete ? 0x80 : 0;
        bounded[at + i] = static_cast<char>((length & 127) | more);
        length >>= 7;
    }
    return message.ParseFromString(bounded);
}

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
