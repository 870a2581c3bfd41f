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

    std::uint32_t ReadUInt32() { return Decode<std::uint32_t>(Take(4)); }
    std::uint64_t ReadUInt64() { return Decode<std::uint64_t>(Take(8)); }

    // The next `count` bytes, valid as long as the buffer is.
    const char* ReadBytes(std::size_t count) { return Take(count); }

    // The little-endian value at `bytes`, which the caller has checked.
    static std::uint32_t Load32(const char* bytes) { return Decode<std::uint32_t>(bytes); }

private:
    template <typename T>
    static T Decode(const char* bytes) {
        T value = 0;
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        std::memcpy(&value, bytes, sizeof value);
#else
        for (std::size_t i = sizeof value; i-- > 0;) {
            value = static_cast<T>(value << 8 | static_cast<unsigned char>(bytes[i]));
        }
#endif
        return value;
    }

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
