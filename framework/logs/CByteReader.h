#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace Kol {
namespace Common {
namespace Logs {

// Reads little-endian integers and raw bytes from a buffer that it does not
// own, never past its end. Each Read call requires Has(n) for its width; a
// caller that skips the check gets std::logic_error "Read past the end of the
// buffer" instead of a read out of bounds. Belongs to one thread.
class CByteReader {
public:
    // `data` must hold `size` readable bytes for the reader's lifetime.
    CByteReader(const char* data, std::size_t size) : m_data(data), m_size(size), m_position(0) {}

    CByteReader(const CByteReader&) = delete;
    CByteReader& operator=(const CByteReader&) = delete;

    bool Has(std::size_t count) const { return count <= m_size - m_position; }
    std::size_t GetRemaining() const { return m_size - m_position; }

    std::uint8_t ReadUInt8() { return static_cast<std::uint8_t>(*Take(1)); }

    std::uint32_t ReadUInt32() {
        const unsigned char* b = reinterpret_cast<const unsigned char*>(Take(4));
        return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
               static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    }

    std::uint64_t ReadUInt64() {
        const unsigned char* b = reinterpret_cast<const unsigned char*>(Take(8));
        std::uint64_t value = 0;
        for (int i = 7; i >= 0; --i) {
            value = value << 8 | b[i];
        }
        return value;
    }

    // The next `count` bytes, valid as long as the buffer is.
    const char* ReadBytes(std::size_t count) { return Take(count); }

private:
    const char* Take(std::size_t count) {
        if (!Has(count)) {
            throw std::logic_error("Read past the end of the buffer");
        }
        const char* start = m_data + m_position;
        m_position += count;
        return start;
    }

    const char* m_data;
    std::size_t m_size;
    std::size_t m_position;
};

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
