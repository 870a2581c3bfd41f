#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace Kol {
namespace Common {
namespace Logs {

// Writes little-endian integers and raw bytes into a fixed buffer that it does
// not own. The Write calls stop silently at the end of the buffer: the part of
// a field that fits is written, the rest is dropped. Never throws. Belongs to
// one thread.
class CByteWriter {
public:
    // `data` must hold `size` writable bytes for the writer's lifetime.
    CByteWriter(char* data, std::size_t size) : m_data(data), m_size(size), m_position(0) {}

    CByteWriter(const CByteWriter&) = delete;
    CByteWriter& operator=(const CByteWriter&) = delete;

    bool HasRoom(std::size_t count) const { return count <= m_size - m_position; }
    // Bytes written so far; never more than the buffer's size.
    std::size_t GetPosition() const { return m_position; }

    void WriteUInt32(std::uint32_t value) {
        if (HasRoom(4)) {
            Store32(m_data + m_position, value);
            m_position += 4;
            return;
        }
        unsigned char bytes[4];
        Encode(value, bytes);
        WriteBytes(bytes, sizeof bytes);
    }
    // The low `count` bytes (at most 8) of `value`. With room for all 8, all
    // 8 are stored in one go and the position advances by `count`: the bytes
    // above `count` must be zero, so that they read as the zero bytes the
    // buffer held, or are overwritten by the next write.
    void WriteLow(std::uint64_t value, std::size_t count) {
        if (HasRoom(8)) {
            Store64(m_data + m_position, value);
            m_position += count;
            return;
        }
        unsigned char bytes[8];
        Encode(value, bytes);
        WriteBytes(bytes, count);
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
    // WriteBytes for a count known at compile time, copied inline.
    template <std::size_t Count>
    void WriteFixed(const void* bytes) {
        if (HasRoom(Count)) {
            std::memcpy(m_data + m_position, bytes, Count);
            m_position += Count;
        } else {
            WriteBytes(bytes, Count);
        }
    }

    // Little-endian encodings into memory the caller has checked.
    static void Store32(char* out, std::uint32_t value) { Encode(value, out); }
    static void Store64(char* out, std::uint64_t value) { Encode(value, out); }

private:
    template <typename T>
    static void Encode(T value, void* target) {
        unsigned char* out = static_cast<unsigned char*>(target);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        std::memcpy(out, &value, sizeof value);
#else
        for (std::size_t i = 0; i < sizeof value; ++i) {
            out[i] = static_cast<unsigned char>(value >> (8 * i));
        }
#endif
    }

    char* m_data;
    std::size_t m_size;
    std::size_t m_position;
};

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
