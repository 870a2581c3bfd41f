#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <boost/date_time/posix_time/posix_time_types.hpp>

#include "framework/logs/CSymbolContainer.h"
#include "framework/logs/tests/TestSupport.h"

namespace Kol {
namespace Common {
namespace Logs {
namespace {

using boost::posix_time::ptime;
using DataDefinition::Common::MultiDataType;
using DataDefinition::Common::UTCTime;
using DataDefinition::Logs::LogSymbol;
using DataDefinition::Logs::LogSymbolContainer;
using Test::Bytes;
using Test::ErrorText;
using Test::Hex;

const char kUuidText[] = "00010203-0405-0607-0809-0a0b0c0d0e0f";

std::vector<std::int32_t> Ids(const ISymbolContainer& container) {
    std::vector<std::int32_t> ids;
    for (std::size_t i = 0; i < container.GetSymbolCount(); ++i) {
        ids.push_back(container.GetSymbolIdAt(i));
    }
    return ids;
}

UTCTime Epoch() {
    UTCTime time;
    time.set_year(1970);
    time.set_month(1);
    time.set_day(1);
    time.set_hour(0);
    time.set_minute(0);
    time.set_second(0);
    return time;
}

// One symbol of each kind; its binary form is 130 bytes long.
void FillEveryKind(ISymbolContainer& container) {
    container.AddSymbol(1, std::int64_t(-5))
        .AddSymbol(2, "abc")
        .AddUuidText(3, kUuidText)
        .AddSymbol(4, true)
        .AddBlob(-5, std::string("x\0", 2))
        .AddSymbol(6, Epoch())
        .AddSymbol(7, 2.5)
        .AddResourceId(8, 77);
}

TEST(CSymbolContainerBinary, EmptyContainerIsFourZeroBytes) {
    CSymbolContainer container;
    EXPECT_EQ(container.GetBinarySize(), 4u);
    EXPECT_EQ(container.SerializeBinary(4), std::string(4, '\0'));
    container.DeserializeBinary(std::string(4, '\0'));
    EXPECT_EQ(container.GetSymbolCount(), 0u);
    container.Lock();
    container.DeserializeBinary(std::string(4, '\0'));  // nothing to add, so no refusal
}

TEST(CSymbolContainerBinary, IntAndBoolExampleIsTwentyNineBytes) {
    CSymbolContainer container;
    container.AddSymbol(2, std::int64_t(1)).AddSymbol(9, true);
    ASSERT_EQ(container.GetBinarySize(), 29u);
    const std::string bytes = container.SerializeBinary(29);
    EXPECT_EQ(Hex(bytes),
              "02000000"
              "02000000"
              "09000000"
              "01000000"
              "0100000000000000"
              "07000000"
              "01");
    CSymbolContainer back;
    back.DeserializeBinary(bytes.data(), bytes.size());
    EXPECT_EQ(Ids(back), (std::vector<std::int32_t>{2, 9}));
    EXPECT_TRUE(back.Equals(container));
}

TEST(CSymbolContainerBinary, EveryKindHasItsCodeAndPayload) {
    CSymbolContainer container;
    FillEveryKind(container);
    ASSERT_EQ(container.GetBinarySize(), 130u);
    const std::string bytes = container.SerializeBinary(130);
    EXPECT_EQ(Hex(bytes),
              "08000000"  // count
              "01000000"
              "02000000"
              "03000000"
              "04000000"  // identifiers
              "fbffffff"
              "06000000"
              "07000000"
              "08000000"
              "01000000"
              "fbffffffffffffff"  // int -5
              "03000000"
              "03000000"
              "616263"  // string "abc"
              "05000000"
              "000102030405060708090a0b0c0d0e0f"  // uuid
              "07000000"
              "01"  // bool true
              "08000000"
              "02000000"
              "7800"  // blob "x\0"
              "06000000"
              "0080a8833d26ed02"  // 1970-01-01 ticks
              "02000000"
              "0000000000000440"  // double 2.5
              "04000000"
              "4d00000000000000");  // res_id 77

    CSymbolContainer back;
    back.DeserializeBinary(bytes);
    EXPECT_EQ(Ids(back), Ids(container));
    EXPECT_TRUE(back.Equals(container));
    EXPECT_EQ(back.SerializeBinary(back.GetBinarySize()), bytes);
}

TEST(CSymbolContainerBinary, SizeArgumentCutsOrPads) {
    CSymbolContainer container;
    container.AddSymbol(2, std::int64_t(1)).AddSymbol(9, true);
    const std::string full = container.SerializeBinary(29);
    EXPECT_EQ(container.SerializeBinary(0), "");
    EXPECT_EQ(container.SerializeBinary(6), full.substr(0, 6));
    EXPECT_EQ(container.SerializeBinary(22), full.substr(0, 22));
    EXPECT_EQ(container.SerializeBinary(28), full.substr(0, 28));
    const std::string padded = container.SerializeBinary(33);
    EXPECT_EQ(padded, full + std::string(4, '\0'));
    CSymbolContainer back;
    back.DeserializeBinary(padded);  // bytes after the last record are ignored
    EXPECT_TRUE(back.Equals(container));

    // Every size, cut inside each field or padded, for every kind, with a
    // bool both in the middle and last.
    CSymbolContainer every;
    FillEveryKind(every);
    every.AddSymbol(9, true);
    const std::string whole = every.SerializeBinary(every.GetBinarySize());
    ASSERT_EQ(whole.size(), 139u);
    ASSERT_EQ(Hex(whole.substr(whole.size() - 5)), "0700000001");
    for (std::size_t size = 0; size <= whole.size() + 16; ++size) {
        SCOPED_TRACE(size);
        const std::string expected = size <= whole.size()
                                         ? whole.substr(0, size)
                                         : whole + std::string(size - whole.size(), '\0');
        EXPECT_EQ(Hex(every.SerializeBinary(size)), Hex(expected));
    }
}

TEST(CSymbolContainerBinary, ReaderRulesForCodesDuplicatesAndLock) {
    {
        CSymbolContainer container;
        container.DeserializeBinary(Bytes("01000000 03000000 07000000 02"));
        EXPECT_FALSE(container.GetBool(3));  // only the byte 1 means true
    }
    {
        CSymbolContainer container;
        const std::string bytes = Bytes(
            "03000000 01000000 02000000 03000000"
            "07000000 01  01000000 0500000000000000  09000000 00000000");
        EXPECT_EQ(ErrorText<std::runtime_error>([&] { container.DeserializeBinary(bytes); }),
                  "Unimplemented type handler");
        EXPECT_EQ(Ids(container), (std::vector<std::int32_t>{1, 2}));
        EXPECT_EQ(container.GetInt64(2), 5);
    }
    {
        CSymbolContainer container;
        EXPECT_EQ(ErrorText<std::runtime_error>(
                      [&] { container.DeserializeBinary(Bytes("01000000 01000000 00000000")); }),
                  "Unimplemented type handler");
    }
    {
        CSymbolContainer container;
        container.AddSymbol(-1, false);
        const std::string bytes = Bytes("02000000 0a000000 ffffffff  07000000 01  07000000 01");
        EXPECT_EQ(ErrorText<std::runtime_error>([&] { container.DeserializeBinary(bytes); }),
                  "Symbol -1 is already in container");
        EXPECT_EQ(Ids(container), (std::vector<std::int32_t>{-1, 10}));
        EXPECT_FALSE(container.GetBool(-1));
    }
    {
        CSymbolContainer container;
        container.Lock();
        EXPECT_EQ(ErrorText<std::runtime_error>(
                      [&] { container.DeserializeBinary(Bytes("01000000 f6ffffff 07000000 01")); }),
                  "Cannot add symbol -10: container is locked");
        EXPECT_EQ(container.GetSymbolCount(), 0u);
    }
    {
        CSymbolContainer container;
        EXPECT_EQ(ErrorText<std::length_error>(
                      [&] { container.DeserializeBinary(Bytes("ffffffff 01000000 07000000 01")); }),
                  "Negative symbol count in binary symbol data: -1");
        EXPECT_EQ(container.GetSymbolCount(), 0u);
    }
    {
        // A read text is cut to its storage length like any added text.
        CSymbolContainer container;
        container.DeserializeBinary(Bytes("01000000 3a0b0000 03000000 14000000") +
                                    "abcdefghijklmnopqrst");
        EXPECT_EQ(container.GetString(2874), "abcdefg...");
    }
}

TEST(CSymbolContainerBinary, DataEndingEarlyNamesTheFieldAndKeepsEarlierSymbols) {
    CSymbolContainer source;
    FillEveryKind(source);
    const std::string full = source.SerializeBinary(source.GetBinarySize());
    ASSERT_EQ(full.size(), 130u);

    const struct {
        std::size_t length;
        const char* error;
        std::size_t kept;
    } cases[] = {
        {0, "the symbol count", 0},
        {3, "the symbol count", 0},
        {4, "the identifiers", 0},
        {35, "the identifiers", 0},
        {36, "the kind code of symbol 1", 0},
        {39, "the kind code of symbol 1", 0},
        {40, "the value of symbol 1", 0},
        {47, "the value of symbol 1", 0},
        {50, "the kind code of symbol 2", 1},
        {52, "the length of symbol 2", 1},
        {55, "the length of symbol 2", 1},
        {58, "the value of symbol 2", 1},
        {63, "the value of symbol 3", 2},
        {78, "the value of symbol 3", 2},
        {83, "the value of symbol 4", 3},
        {88, "the length of symbol -5", 4},
        {93, "the value of symbol -5", 4},
        {97, "the kind code of symbol 6", 5},
        {105, "the value of symbol 6", 5},
        {117, "the value of symbol 7", 6},
        {129, "the value of symbol 8", 7},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        CSymbolContainer container;
        // A copy of exactly `length` bytes, so a read past it is an ASan error.
        const std::vector<char> cut(full.begin(), full.begin() + c.length);
        EXPECT_EQ(ErrorText<std::runtime_error>(
                      [&] { container.DeserializeBinary(cut.data(), cut.size()); }),
                  std::string("Binary symbol data is cut short in ") + c.error);
        ASSERT_EQ(container.GetSymbolCount(), c.kept);
        for (std::size_t i = 0; i < c.kept; ++i) {
            EXPECT_EQ(container.GetSymbolIdAt(i), source.GetSymbolIdAt(i));
        }
    }
    CSymbolContainer whole;
    whole.DeserializeBinary(full.data(), full.size());
    EXPECT_TRUE(whole.Equals(source));
}

TEST(CSymbolContainerBinary, ForgedCountsAndLengthsAreRefusedWithoutAllocating) {
    const struct {
        const char* name;
        std::string bytes;
        const char* error;
    } cases[] = {
        {"huge count", Bytes("ffffff7f 01000000 02000000"),
         "Binary symbol data is cut short in the identifiers"},
        {"count above ids", Bytes("03000000 01000000 02000000 0700"),
         "Binary symbol data is cut short in the identifiers"},
        {"huge string", Bytes("01000000 01000000 03000000 ffffffff 616263"),
         "Binary symbol data is cut short in the value of symbol 1"},
        {"huge blob", Bytes("01000000 01000000 08000000 00000080"),
         "Binary symbol data is cut short in the value of symbol 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CSymbolContainer container;
        EXPECT_EQ(ErrorText<std::runtime_error>([&] { container.DeserializeBinary(c.bytes); }),
                  c.error);
        EXPECT_EQ(container.GetSymbolCount(), 0u);
    }
}

TEST(CSymbolContainerBinary, SpecialTimeValuesRoundTripButHaveNoCalendarForm) {
    const struct {
        const char* ticks;
        const char* error;
    } cases[] = {
        {"feffffffffffff7f", "Cannot convert not-a-date-time to UTCTime"},
        {"ffffffffffffff7f", "Cannot convert +infinity to UTCTime"},
        {"0000000000000080", "Cannot convert -infinity to UTCTime"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ticks);
        const std::string bytes = Bytes(std::string("01000000 0b000000 06000000") + c.ticks);
        CSymbolContainer container;
        container.DeserializeBinary(bytes);
        EXPECT_TRUE(container.GetTime(11).is_special());
        EXPECT_EQ(container.SerializeBinary(container.GetBinarySize()), bytes);
        EXPECT_EQ(ErrorText<std::runtime_error>([&] { container.GetUtcTime(11); }), c.error);
        std::string out;
        EXPECT_EQ(ErrorText<std::runtime_error>([&] { container.Serialize(out); }), c.error);
        EXPECT_EQ(ErrorText<std::runtime_error>([&] { container.Clone(); }), c.error);
    }
    CSymbolContainer container;
    container.DeserializeBinary(Bytes("01000000 0b000000 06000000 feffffffffffff7f"));
    EXPECT_TRUE(container.GetTime(11).is_not_a_date_time());
}

TEST(CSymbolContainerBinary, DoublesKeepTheirBits) {
    CSymbolContainer container;
    container.AddSymbol(1, std::numeric_limits<double>::quiet_NaN())
        .AddSymbol(2, -0.0)
        .AddSymbol(3, std::numeric_limits<double>::infinity());
    CSymbolContainer back;
    back.DeserializeBinary(container.SerializeBinary(container.GetBinarySize()));
    EXPECT_TRUE(std::isnan(back.GetDouble(1)));
    EXPECT_TRUE(std::signbit(back.GetDouble(2)));
    EXPECT_EQ(back.GetDouble(3), std::numeric_limits<double>::infinity());
    EXPECT_FALSE(back.Equals(container));  // NaN is never equal
}

TEST(CSymbolContainerProtobuf, EmptyContainerSerializesToNothing) {
    CSymbolContainer container;
    std::string out = "old";
    EXPECT_FALSE(container.Serialize(out));
    EXPECT_EQ(out, "");
    EXPECT_EQ(container.GetProtobufSize(), 0);
    EXPECT_EQ(container.GetProtobuf()->symbols_size(), 0);
    EXPECT_TRUE(container.Deserialize(""));
    EXPECT_EQ(container.GetSymbolCount(), 0u);
}

TEST(CSymbolContainerProtobuf, EncodingHasOneEntryPerSymbolInOrder) {
    CSymbolContainer container;
    container.AddSymbol(2, std::int64_t(1)).AddSymbol(-4, true);
    std::string out;
    EXPECT_TRUE(container.Serialize(out));
    EXPECT_EQ(Hex(out),
              "0a06"
              "0802"
              "12021001"
              "0a0f"
              "08fcffffffffffffffff01"
              "12024001");
    EXPECT_EQ(container.GetProtobufSize(), static_cast<int>(out.size()));

    CSymbolContainer every;
    FillEveryKind(every);
    const boost::shared_ptr<LogSymbolContainer> message = every.GetProtobuf();
    ASSERT_EQ(message->symbols_size(), 8);
    for (int i = 0; i < message->symbols_size(); ++i) {
        SCOPED_TRACE(i);
        const LogSymbol& symbol = message->symbols(i);
        EXPECT_EQ(symbol.symbol_type(), every.GetSymbolIdAt(static_cast<std::size_t>(i)));
        EXPECT_EQ(symbol.symbol_data().SerializeAsString(),
                  every.GetSymbolDataAt(static_cast<std::size_t>(i)).SerializeAsString());
    }
    EXPECT_EQ(message->symbols(2).symbol_data().val_uuid(0).uuid(), kUuidText);
    EXPECT_EQ(Hex(message->symbols(5).symbol_data().val_time_date(0).SerializeAsString()),
              "08b20f"
              "1001"
              "1801"
              "2000"
              "2800"
              "3000");
    EXPECT_EQ(every.GetProtobufSize(), static_cast<int>(message->ByteSizeLong()));
}

TEST(CSymbolContainerProtobuf, RoundTripOfEveryKind) {
    CSymbolContainer source;
    FillEveryKind(source);
    UTCTime fraction = Epoch();
    fraction.set_nanos(999999999);
    source.AddSymbol(9, fraction).AddSymbol(2874, "cut by the adder, not again");
    std::string bytes;
    ASSERT_TRUE(source.Serialize(bytes));
    CSymbolContainer back;
    EXPECT_TRUE(back.Deserialize(bytes));
    EXPECT_EQ(Ids(back), Ids(source));
    EXPECT_TRUE(back.Equals(source));
    EXPECT_EQ(back.GetUtcTime(9).nanos(), 999999000);
}

TEST(CSymbolContainerProtobuf, ReaderAddsThroughTheMultiDataTypeAdder) {
    {
        LogSymbolContainer message;
        LogSymbol* first = message.add_symbols();
        first->set_symbol_type(5);
        first->mutable_symbol_data()->add_val_int(1);
        LogSymbol* second = message.add_symbols();
        second->set_symbol_type(5);
        second->mutable_symbol_data()->add_val_int(2);
        LogSymbol* third = message.add_symbols();
        third->set_symbol_type(6);
        third->mutable_symbol_data()->add_val_int(3);
        CSymbolContainer container;
        EXPECT_EQ(ErrorText<std::runtime_error>(
                      [&] { container.Deserialize(message.SerializeAsString()); }),
                  "Symbol 5 is already in container");
        EXPECT_EQ(Ids(container), (std::vector<std::int32_t>{5}));
        EXPECT_EQ(container.GetInt64(5), 1);
    }
    {
        LogSymbolContainer message;
        LogSymbol* symbol = message.add_symbols();
        symbol->set_symbol_type(-8);
        symbol->mutable_symbol_data()->add_val_string("text");
        symbol->mutable_symbol_data()->add_val_int(42);
        LogSymbol* empty = message.add_symbols();
        empty->set_symbol_type(9);
        empty->mutable_symbol_data();
        CSymbolContainer container;
        EXPECT_TRUE(container.Deserialize(message.SerializeAsString()));
        EXPECT_EQ(Ids(container), (std::vector<std::int32_t>{-8}));
        EXPECT_EQ(container.GetInt64(-8), 42);
    }
    {
        // A symbol without its required value fails the parse; what was read
        // is still added.
        CSymbolContainer container;
        EXPECT_FALSE(container.Deserialize(Bytes("0a06 0802 12021001  0a02 0807")));
        EXPECT_EQ(Ids(container), (std::vector<std::int32_t>{2}));
        EXPECT_FALSE(container.Deserialize(Bytes("ffff")));
        EXPECT_EQ(Ids(container), (std::vector<std::int32_t>{2}));
    }
}

}  // namespace
}  // namespace Logs
}  // namespace Common
}  // namespace Kol
