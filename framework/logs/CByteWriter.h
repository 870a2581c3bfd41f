#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace Kol {
namespace Common {
namespace Logs {

// Writes little-endian integers and raw bytes into a fixed buffer that it does
// not own. Writing stops silently at the end of the buffer: the part of a
// field that fits is written, the rest is dropped, and nothing after it is
// written. Never throws. Belongs to one thread.
class CByteWriter {
public:
    // `data` must hold `size` writable bytes for the writer's lifetime.
    CByteWriter(char* data, std::size_t size) : m_data(data), m_size(size), m_position(0) {}

    CByteWriter(const CByteWriter&) = delete;
    CByteWriter& operator=(const CByteWriter&) = delete;

    void WriteUInt8(std::uint8_t value) { WriteBytes(&value, 1); }

    void WriteUInt32(std::uint32_t value) {
        const unsigned char bytes[4] = {
            static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
            static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
        WriteBytes(bytes, sizeof bytes);
    }

    void WriteUInt64(std::uint64_t value) {
        const unsigned char bytes[8] = {
            static_cast<unsigned char>(value),       static_cast<unsigned char>(value >> 8),
            static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24),
            static_cast<unsigned char>(value >> 32), static_cast<unsigned char>(value >> 40),
            static_cast<unsigned char>(value >> 48), static_cast<unsigned char>(value >> 56)};
        WriteBytes(bytes, sizeof bytes);
    }

    void WriteBytes(const void* bytes, std::size_t count) {
        const std::size_t room = m_size - m_position;
        if (count > room) {
            count = room;
        }
        if (count != 0) {
            std::memcpy(m_data + m_position, bytes, count);
            m_position += count;
        }
    }

    // Bytes written so far; never more than the buffer's size.
    std::size_t GetPosition() const { return m_position; }

private:
    char* m_data;
    std::size_t m_size;
    std::size_t m_position;
};

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
