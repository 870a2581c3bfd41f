#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "framework/logs/CByteReader.h"
#include "framework/logs/CByteWriter.h"
#include "framework/logs/tests/TestSupport.h"

namespace Kol {
namespace Common {
namespace Logs {
namespace {

using Test::Bytes;
using Test::ErrorText;
using Test::Hex;

TEST(CByteWriter, WritesLittleEndianAndStopsSilentlyAtTheEnd) {
    std::string buffer(16, '\x55');
    {
        CByteWriter writer(&buffer[0], 16);
        writer.WriteUInt32(0x01020304u);
        writer.WriteUInt64(0x0a0b0c0d0e0f1011ull);
        writer.WriteUInt8(0xee);
        EXPECT_EQ(writer.GetPosition(), 13u);
        writer.WriteBytes("xyzw", 4);  // one byte too many: "xyz" fits
        EXPECT_EQ(writer.GetPosition(), 16u);
        writer.WriteUInt32(0xffffffffu);
        EXPECT_EQ(writer.GetPosition(), 16u);
    }
    EXPECT_EQ(Hex(buffer),
              "04030201"
              "11100f0e0d0c0b0a"
              "ee"
              "78797a");

    std::string small(3, '\0');
    CByteWriter writer(&small[0], 3);
    writer.WriteUInt64(0x0807060504030201ull);
    EXPECT_EQ(Hex(small), "010203");
}

TEST(CByteReader, ReadsLittleEndianAndNeverPastTheEnd) {
    const std::string bytes = Bytes("04030201 11100f0e0d0c0b0a ee 78");
    CByteReader reader(bytes.data(), bytes.size());
    EXPECT_TRUE(reader.Has(14));
    EXPECT_FALSE(reader.Has(15));
    EXPECT_EQ(reader.ReadUInt32(), 0x01020304u);
    EXPECT_EQ(reader.ReadUInt64(), 0x0a0b0c0d0e0f1011ull);
    EXPECT_EQ(reader.ReadUInt8(), 0xee);
    EXPECT_EQ(reader.GetRemaining(), 1u);
    EXPECT_FALSE(reader.Has(2));
    EXPECT_EQ(ErrorText<std::logic_error>([&] { reader.ReadUInt32(); }),
              "Read past the end of the buffer");
    EXPECT_EQ(reader.GetRemaining(), 1u);
    EXPECT_EQ(std::string(reader.ReadBytes(1), 1), "x");
    EXPECT_TRUE(reader.Has(0));
    EXPECT_FALSE(reader.Has(static_cast<std::size_t>(-1)));
}

}  // namespace
}  // namespace Logs
}  // namespace Common
}  // namespace Kol
