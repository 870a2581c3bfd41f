#include <cmath>
#include <cstdint>
#include <ctime>
#include <limits>
#include <numeric>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <boost/date_time/posix_time/posix_time_types.hpp>

#include "framework/logs/CSymbolContainer.h"
#include "framework/logs/TextTruncation.h"
#include "framework/logs/TimeConversion.h"
#include "framework/logs/UuidConversion.h"
#include "framework/logs/tests/TestSupport.h"

namespace Kol::Common::Logs {
namespace {

using boost::posix_time::ptime;
using DataDefinition::Logs::LogSymbol;
using DataDefinition::Logs::LogSymbolContainer;
using namespace Test;

typedef std::vector<std::int32_t> IdList;

// The documented 29-byte example (an int and a bool) is written byte for byte
// by the serialiser: FuzzCorpus.HoldsTheSeedsTheSerialisersWriteToday with
// ContainerChecksAcceptTheDocumentedFormAndEdges.
TEST(CSymbolContainerBinary, EveryKindHasItsCodeAndPayload) {
    CSymbolContainer c;
    FillEveryKind(c);
    ASSERT_EQ(c.GetBinarySize(), 130u);
    const std::string bytes = c.SerializeBinary(130);
    EXPECT_EQ(Hex(bytes),
              "08000000"                                                          // count
              "01000000020000000300000004000000fbffffff060000000700000008000000"  // ids
              "01000000fbffffffffffffff"                                          // int -5
              "0300000003000000616263"                                            // string "abc"
              "05000000000102030405060708090a0b0c0d0e0f"                          // uuid
              "0700000001"                                                        // bool true
              "08000000020000007800"                                              // blob "x\0"
              "060000000080a8833d26ed02"                                          // time 1970-01-01
              "020000000000000000000440"                                          // double 2.5
              "040000004d00000000000000");                                        // res_id 77
    CSymbolContainer back;
    back.DeserializeBinary(bytes);
    EXPECT_EQ(Ids(back), Ids(c));
    EXPECT_TRUE(back.Equals(c));

    CSymbolContainer doubles;
    doubles.AddSymbol(1, std::numeric_limits<double>::quiet_NaN()).AddSymbol(2, -0.0);
    CSymbolContainer doublesBack;
    doublesBack.DeserializeBinary(doubles.SerializeBinary(doubles.GetBinarySize()));
    EXPECT_TRUE(std::isnan(doublesBack.GetDouble(1)));
    EXPECT_TRUE(std::signbit(doublesBack.GetDouble(2)));
}

TEST(CSymbolContainerBinary, SizeArgumentCutsOrPadsWithZeros) {
    // Every size, cutting inside each field or padding, with a bool both in
    // the middle and last.
    CSymbolContainer c;
    FillEveryKind(c);
    c.AddSymbol(9, true);
    const std::string whole = c.SerializeBinary(c.GetBinarySize());
    ASSERT_EQ(whole.size(), 139u);
    ASSERT_EQ(Hex(whole.substr(134)), "0700000001");
    for (std::size_t size = 0; size <= whole.size() + 16; ++size) {
        SCOPED_TRACE(size);
        const std::string expected = size <= whole.size()
                                         ? whole.substr(0, size)
                                         : whole + std::string(size - whole.size(), '\0');
        EXPECT_EQ(Hex(c.SerializeBinary(size)), Hex(expected));
    }
    CSymbolContainer back;
    back.DeserializeBinary(c.SerializeBinary(150));  // bytes after the last record are ignored
    EXPECT_TRUE(back.Equals(c));
}

TEST(CSymbolContainerBinary, ReaderErrorsKeepTheSymbolsBeforeThem) {
    CSymbolContainer locked;
    locked.Lock();
    CSymbolContainer holdsMinusOne;
    holdsMinusOne.AddSymbol(-1, false);
    // The container read into (nullptr: a fresh one), the symbols it keeps,
    // the error, the bytes.
    const std::tuple<CSymbolContainer*, IdList, const char*, const char*> cases[] = {
        // clang-format off
        {nullptr, {1, 2}, "Unimplemented type handler",
         "03000000 01000000 02000000 03000000 07000000 01 01000000 0500000000000000 09000000 00000000"},
        {nullptr, {}, "Unimplemented type handler", "01000000 01000000 00000000"},
        {&holdsMinusOne, {-1, 10}, "Symbol -1 is already in container",
         "02000000 0a000000 ffffffff 07000000 01 07000000 01"},
        {&locked, {}, "Cannot add symbol -10: container is locked", "01000000 f6ffffff 07000000 01"},
        // clang-format on
    };
    for (const auto& [target, kept, error, hex] : cases) {
        SCOPED_TRACE(hex);
        CSymbolContainer fresh;
        CSymbolContainer& c = target ? *target : fresh;
        const std::string bytes = Bytes(hex);
        EXPECT_EQ(ErrorText<std::runtime_error>([&] { c.DeserializeBinary(bytes); }), error);
        EXPECT_EQ(Ids(c), kept);
    }
    CSymbolContainer c;
    EXPECT_EQ(ErrorText<std::length_error>(
                  [&] { c.DeserializeBinary(Bytes("ffffffff 01000000 07000000 01")); }),
              "Negative symbol count in binary symbol data: -1");
    EXPECT_EQ(c.GetSymbolCount(), 0u);

    c.DeserializeBinary(Bytes("02000000 03000000 3a0b0000 07000000 02 03000000 14000000") +
                        "abcdefghijklmnopqrst");
    EXPECT_FALSE(c.GetBool(3));                  // only the byte 1 means true
    EXPECT_EQ(c.GetString(2874), "abcdefg...");  // cut like any added text
}

TEST(CSymbolContainerBinary, DataEndingEarlyNamesTheFieldAndKeepsEarlierSymbols) {
    CSymbolContainer source;
    FillEveryKind(source);
    const std::string full = source.SerializeBinary(source.GetBinarySize());
    const IdList sourceIds = Ids(source);
    // `input` is refused as ending early in `field`, keeping the first `kept`
    // symbols.
    const auto check = [&](const std::string& input, const char* field, std::size_t kept) {
        CSymbolContainer c;
        // Exactly the input on the heap, so a read past it is an ASan error.
        const std::vector<char> bytes(input.begin(), input.end());
        EXPECT_EQ(
            ErrorText<std::runtime_error>([&] { c.DeserializeBinary(bytes.data(), bytes.size()); }),
            std::string("Binary symbol data is cut short in ") + field);
        EXPECT_EQ(Ids(c), IdList(sourceIds.begin(), sourceIds.begin() + kept));
    };
    const std::tuple<std::size_t, const char*, std::size_t> cuts[] = {
        // length, field, kept
        {3, "the symbol count", 0},           {35, "the identifiers", 0},
        {39, "the kind code of symbol 1", 0}, {47, "the value of symbol 1", 0},
        {50, "the kind code of symbol 2", 1}, {55, "the length of symbol 2", 1},
        {58, "the value of symbol 2", 1},     {78, "the value of symbol 3", 2},
        {83, "the value of symbol 4", 3},     {88, "the length of symbol -5", 4},
        {93, "the value of symbol -5", 4},    {97, "the kind code of symbol 6", 5},
        {105, "the value of symbol 6", 5},    {117, "the value of symbol 7", 6},
        {129, "the value of symbol 8", 7},
    };
    for (const auto& [length, field, kept] : cuts) {
        SCOPED_TRACE(length);
        check(full.substr(0, length), field, kept);
    }
    // Counts and lengths larger than the data are refused before anything is
    // allocated for them.
    const std::pair<const char*, const char*> forged[] = {
        {"ffffff7f 01000000 02000000", "the identifiers"},
        {"03000000 01000000 02000000 0700", "the identifiers"},
        {"01000000 01000000 03000000 ffffffff 616263", "the value of symbol 1"},
        {"01000000 01000000 08000000 00000080", "the value of symbol 1"},
    };
    for (const auto& [hex, field] : forged) {
        SCOPED_TRACE(hex);
        check(Bytes(hex), field, 0);
    }
}

// The other special values and their texts: fuzz/corpus/utc_time.
TEST(CSymbolContainerBinary, SpecialTimeValuesRoundTripButHaveNoCalendarForm) {
    const std::string bytes = Bytes("01000000 0b000000 06000000 feffffffffffff7f");
    CSymbolContainer c;
    c.DeserializeBinary(bytes);
    EXPECT_TRUE(c.GetTime(11).is_not_a_date_time());
    EXPECT_EQ(c.SerializeBinary(c.GetBinarySize()), bytes);
    std::string out;
    const char error[] = "Cannot convert not-a-date-time to UTCTime";
    EXPECT_EQ(ErrorText<std::runtime_error>([&] { c.GetUtcTime(11); }), error);
    EXPECT_EQ(ErrorText<std::runtime_error>([&] { c.Serialize(out); }), error);
    EXPECT_EQ(ErrorText<std::runtime_error>([&] { c.Clone(); }), error);
}

// Both readers at scale: the first repeat in reading order is reported (not
// the repeat of the smallest identifier), an entry without a value does not
// count as present, and everything before the repeat stays.
TEST(CSymbolContainerReaders, LargeFormsReportTheFirstRepeatAndKeepWhatCameBefore) {
    const std::size_t count = 100000;
    std::vector<std::int32_t> ids(count);
    std::iota(ids.begin(), ids.end(), 1);
    ids[99990] = 99000;  // the first repeat
    ids[99995] = 3;      // a later repeat of a smaller identifier
    ids[20] = 11;        // repeats entry 10, which has no value in the protobuf form
    std::string binary(reinterpret_cast<const char*>(&count), 4);
    binary.append(reinterpret_cast<const char*>(ids.data()), 4 * count);
    LogSymbolContainer message;
    for (std::size_t i = 0; i < count; ++i) {
        binary.append(Bytes(i == 10 ? "07000000 00" : "07000000 01"));
        LogSymbol* symbol = message.add_symbols();
        symbol->set_symbol_type(ids[i]);
        symbol->mutable_symbol_data()->add_val_bool(true);
    }
    message.mutable_symbols(10)->mutable_symbol_data()->clear_val_bool();
    CSymbolContainer fromBinary;
    EXPECT_EQ(ErrorText<std::runtime_error>([&] { fromBinary.DeserializeBinary(binary); }),
              "Symbol 11 is already in container");
    EXPECT_EQ(Ids(fromBinary), IdList(ids.begin(), ids.begin() + 20));

    CSymbolContainer fromProtobuf;
    EXPECT_EQ(ErrorText<std::runtime_error>(
                  [&] { fromProtobuf.Deserialize(message.SerializeAsString()); }),
              "Symbol 99000 is already in container");
    IdList kept(ids.begin(), ids.begin() + 99990);
    kept.erase(kept.begin() + 10);
    EXPECT_EQ(Ids(fromProtobuf), kept);
}

TEST(CSymbolContainerProtobuf, EncodingHasOneEntryPerSymbolInOrder) {
    CSymbolContainer c;
    std::string out = "old";
    EXPECT_FALSE(c.Serialize(out));
    EXPECT_EQ(out, "");
    EXPECT_EQ(c.GetProtobufSize(), 0);

    c.AddSymbol(2, std::int64_t(1)).AddSymbol(-4, true);
    EXPECT_TRUE(c.Serialize(out));
    EXPECT_EQ(Hex(out),
              "0a06080212021001"                      // symbol 2: int 1
              "0a0f08fcffffffffffffffff0112024001");  // symbol -4: bool true
    EXPECT_EQ(c.GetProtobufSize(), static_cast<int>(out.size()));

    EXPECT_EQ(c.GetProtobuf()->SerializeAsString(), out);
    // Every kind of every committed input in the message form and back:
    // FuzzCorpus.EveryFileOfEveryTargetPassesItsCheck.
}

TEST(CSymbolContainerProtobuf, ReaderAddsThroughTheMultiDataTypeAdder) {
    // Symbol 5 with the int 50, again, then 6 with the int 60.
    const std::string repeated =
        Bytes("0a06 0805 12021032  0a06 0805 12021032  0a06 0806 1202103c");
    CSymbolContainer c;
    EXPECT_EQ(ErrorText<std::runtime_error>([&] { c.Deserialize(repeated); }),
              "Symbol 5 is already in container");
    EXPECT_EQ(Ids(c), (IdList{5}));

    // Symbol -8 with the text "text" and the int 42; symbol 9 with no entry
    // at all, so nothing is added for it.
    EXPECT_TRUE(
        c.Deserialize(Bytes("0a15 08f8ffffffffffffffff01 1208 220474657874 102a  0a04 0809 1200")));
    EXPECT_EQ(Ids(c), (IdList{5, -8}));
    EXPECT_EQ(c.GetInt64(-8), 42);

    // A symbol without its required value fails the parse; what was read is
    // still added.
    CSymbolContainer partial;
    EXPECT_FALSE(partial.Deserialize(Bytes("0a06 0802 12021001  0a02 0807")));
    EXPECT_EQ(Ids(partial), (IdList{2}));
    EXPECT_FALSE(partial.Deserialize(Bytes("ffff")));
    EXPECT_EQ(Ids(partial), (IdList{2}));
}

// The accepted text forms are checked digit for digit by the fuzz corpus
// (fuzz/corpus/uuid_text); the canonical text both ways by the containers'
// UUID symbols (their binary bytes and GetUuid). Here a range inside a longer
// buffer, and the refusals.
TEST(UuidConversion, RangeParsingAndMalformedTextsNameThePositionAndReason) {
    const std::string framed = std::string("x") + kUuidText + "x";
    EXPECT_EQ(UuidToString(ParseUuid(framed.data() + 1, framed.data() + framed.size() - 1)),
              kUuidText);
    const std::tuple<std::string, int, const char*> cases[] = {
        // text, position, reason
        {"", 0, "unexpected end of input"},
        {"0001020", 7, "unexpected end of input"},
        {"00010203-0405-0607-0809-0a0b0c0d0e0", 35, "unexpected end of input"},
        {"00010203", 8, "unexpected end of input"},
        {"0001020g-0405-0607-0809-0a0b0c0d0e0f", 7, "hex digit expected"},
        {"-00010203-0405-0607-0809-0a0b0c0d0e0f", 0, "hex digit expected"},
        {"00010203-0405x0607-0809-0a0b0c0d0e0f", 13, "dash expected"},
        {"00010203-0405-0607-0809a0a0b0c0d0e0f", 23, "dash expected"},
        {"000102030405-0607-0809-0a0b0c0d0e0f", 12, "hex digit expected"},
        {"{00010203-0405-0607-0809-0a0b0c0d0e0f", 37, "unexpected end of input"},
        {"{00010203-0405-0607-0809-0a0b0c0d0e0f)", 37, "closing brace expected"},
        {"00010203-0405-0607-0809-0a0b0c0d0e0f}", 36, "unexpected extra input"},
        {"000102030405060708090a0b0c0d0e0f0", 32, "unexpected extra input"},
        {"{000102030405060708090a0b0c0d0e0f} ", 34, "unexpected extra input"},
    };
    for (const auto& [text, position, reason] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ErrorText<std::runtime_error>([&input = text] { ParseUuid(input); }),
                  "Invalid UUID string at position " + std::to_string(position) + ": " + reason);
    }
}

TEST(TimeConversion, UtcTimeFieldsBothWays) {
    DataDefinition::Common::UTCTime fraction = MakeUtcTime(2024, 2, 29, 23, 59, 58);
    fraction.set_nanos(1500);
    const ptime withMicro = FromUtcTime(fraction);
    EXPECT_EQ(withMicro, ptime(boost::gregorian::date(2024, 2, 29),
                               boost::posix_time::time_duration(23, 59, 58, 1)));
    EXPECT_EQ(ToUtcTime(withMicro).ShortDebugString(),
              "year: 2024 month: 2 day: 29 hour: 23 minute: 59 second: 58 nanos: 1000");
    EXPECT_EQ(ToUtcTime(ptime(boost::gregorian::date(1970, 1, 1))).ShortDebugString(),
              "year: 1970 month: 1 day: 1 hour: 0 minute: 0 second: 0");

    // Components are not range-checked; a negative one makes the whole time
    // of day negative from the absolute values.
    EXPECT_EQ(FromUtcTime(MakeUtcTime(2024, 1, 31, 25)),
              ptime(boost::gregorian::date(2024, 2, 1), boost::posix_time::hours(1)));
    EXPECT_EQ(
        FromUtcTime(MakeUtcTime(2024, 1, 31, -1, 30)),
        ptime(boost::gregorian::date(2024, 1, 30), boost::posix_time::time_duration(22, 30, 0)));
}

// The current time in whole seconds of the clock: the cut-offs of
// CleanupEngine.CutOffsAreCountedBackFromTheCurrentSecond.

// Cuts, limits below 3 and bad lead bytes before the limit are checked
// against their definition by the fuzz corpus (fuzz/corpus/truncate_utf8);
// that check cannot tell whether a bad byte between the cut and the limit
// was looked at.
TEST(TextTruncation, LooksAtLeadBytesUpToTheCutOnlyWithTheSymbolsStorageLength) {
    EXPECT_EQ(TruncateUtf8("abcde\xFF", 6), "abc...");
    EXPECT_EQ(TruncateUtf8("abcd\x80\x80", 6), "abc...");
    EXPECT_EQ(ErrorText<std::runtime_error>([] {
                  TruncateUtf8("ab\200def", 6);  // \200: the byte 0x80
              }),
              "Invalid utf8 leading byte");

    // 2874 is a text symbol limited to 10 bytes, 2834 a symbol without limit,
    // 1 a symbol no log type knows.
    const std::tuple<std::int32_t, std::string, std::string> cases[] = {
        // id, text, result
        {2874, "abcdefghijklmnopqrst", "abcdefg..."},
        {2874, "abcdefghij", "abcdefghij"},
        {2874, "abcdefghijk", "abcdefg..."},
        {2834, "abcdefghijklmnopqrst", "abcdefghijklmnopqrst"},
        {1, "abcdefghijklmnopqrst", "abcdefghijklmnopqrst"},
    };
    for (auto [id, text, result] : cases) {
        SCOPED_TRACE(id);
        TruncateToOtlLength(text, id);
        EXPECT_EQ(text, result);
    }
    std::string bad = "ab\200defghijklmnop";
    EXPECT_EQ(ErrorText<std::runtime_error>([&] { TruncateToOtlLength(bad, 2874); }),
              "Invalid utf8 leading byte");
    EXPECT_EQ(bad, "ab\200defghijklmnop");
}

}  // namespace
}  // namespace Kol::Common::Logs
