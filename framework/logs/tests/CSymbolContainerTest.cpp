#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <boost/date_time/posix_time/posix_time_types.hpp>

#include "framework/logs/CSymbolContainer.h"
#include "framework/logs/UuidConversion.h"
#include "framework/logs/tests/TestSupport.h"

namespace Kol {
namespace Common {
namespace Logs {
namespace {

using boost::posix_time::ptime;
using DataDefinition::Common::MultiDataType;
using DataDefinition::Common::UTCTime;
using Test::ErrorText;

const char kUuidText[] = "00010203-0405-0607-0809-0a0b0c0d0e0f";

UTCTime MakeUtcTime(int year, int month, int day, int hour, int minute, int second) {
    UTCTime time;
    time.set_year(year);
    time.set_month(month);
    time.set_day(day);
    time.set_hour(hour);
    time.set_minute(minute);
    time.set_second(second);
    return time;
}

std::vector<std::int32_t> Ids(const ISymbolContainer& container) {
    std::vector<std::int32_t> ids;
    for (std::size_t i = 0; i < container.GetSymbolCount(); ++i) {
        ids.push_back(container.GetSymbolIdAt(i));
    }
    return ids;
}

// One symbol of every kind under identifiers 1 to 8.
void FillAllKinds(ISymbolContainer& container) {
    container.AddBlob(1, std::string("b\0b", 3))
        .AddSymbol(2, std::int64_t(-5))
        .AddSymbol(3, 2.5)
        .AddSymbol(4, "text")
        .AddResourceId(5, 77)
        .AddSymbol(6, MakeUtcTime(2024, 5, 6, 7, 8, 9))
        .AddUuidText(7, kUuidText)
        .AddSymbol(8, true);
}

TEST(CSymbolContainer, TypedValuesReadBackByKind) {
    CSymbolContainer container;
    FillAllKinds(container);
    ASSERT_EQ(container.GetSymbolCount(), 8u);
    EXPECT_EQ(container.GetBlob(1), std::string("b\0b", 3));
    EXPECT_EQ(container.GetInt64(2), -5);
    EXPECT_EQ(container.GetInt32(2), -5);
    EXPECT_EQ(container.GetDouble(3), 2.5);
    EXPECT_EQ(container.GetString(4), "text");
    EXPECT_EQ(container.GetResourceId(5), 77);
    EXPECT_EQ(container.GetTime(6),
              ptime(boost::gregorian::date(2024, 5, 6), boost::posix_time::time_duration(7, 8, 9)));
    const UTCTime time = container.GetUtcTime(6);
    EXPECT_EQ(time.SerializeAsString(), MakeUtcTime(2024, 5, 6, 7, 8, 9).SerializeAsString());
    EXPECT_EQ(container.GetUuid(7).uuid(), kUuidText);
    EXPECT_TRUE(container.GetBool(8));

    // Each value comes out as exactly one entry of the list of its kind.
    const struct {
        std::int32_t id;
        std::function<int(const MultiDataType&)> size;
    } lists[] = {
        {1, [](const MultiDataType& m) { return m.val_blob_size(); }},
        {2, [](const MultiDataType& m) { return m.val_int_size(); }},
        {3, [](const MultiDataType& m) { return m.val_double_size(); }},
        {4, [](const MultiDataType& m) { return m.val_string_size(); }},
        {5, [](const MultiDataType& m) { return m.val_res_id_size(); }},
        {6, [](const MultiDataType& m) { return m.val_time_date_size(); }},
        {7, [](const MultiDataType& m) { return m.val_uuid_size(); }},
        {8, [](const MultiDataType& m) { return m.val_bool_size(); }},
    };
    for (const auto& list : lists) {
        SCOPED_TRACE(list.id);
        const MultiDataType data = container.GetSymbolData(list.id);
        EXPECT_EQ(list.size(data), 1);
        const int total = data.val_blob_size() + data.val_int_size() + data.val_double_size() +
                          data.val_string_size() + data.val_res_id_size() +
                          data.val_time_date_size() + data.val_uuid_size() + data.val_bool_size();
        EXPECT_EQ(total, 1);
        EXPECT_EQ(
            container.GetSymbolDataAt(static_cast<std::size_t>(list.id - 1)).SerializeAsString(),
            data.SerializeAsString());
    }
    EXPECT_EQ(container.GetSymbolData(7).val_uuid(0).uuid(), kUuidText);
    EXPECT_EQ(container.GetSymbolData(6).val_time_date(0).SerializeAsString(),
              time.SerializeAsString());
}

TEST(CSymbolContainer, IntegersKeepWidthAndKind) {
    CSymbolContainer container;
    container.AddSymbol(1, std::int64_t(4294967297LL)).AddSymbol(2, std::int32_t(-1));
    container.AddResourceId(3, 4294967297LL);
    EXPECT_EQ(container.GetInt32(1), 1);
    EXPECT_EQ(container.GetInt64(1), 4294967297LL);
    EXPECT_EQ(container.GetInt64(2), -1);
    EXPECT_EQ(container.GetSymbolData(2).val_int(0), -1);
    // int and res_id are distinct kinds.
    EXPECT_EQ(ErrorText<std::runtime_error>([&] { container.GetInt32(3); }),
              "The symbol 3 exists but is not of requested type");
    EXPECT_EQ(ErrorText<std::runtime_error>([&] { container.GetResourceId(1); }),
              "The symbol 1 exists but is not of requested type");
}

TEST(CSymbolContainer, InsertionOrderSurvivesRemoval) {
    CSymbolContainer container;
    container.AddSymbol(7, true).AddSymbol(3, true).AddSymbol(5, true);
    EXPECT_EQ(Ids(container), (std::vector<std::int32_t>{7, 3, 5}));
    container.RemoveSymbol(3);
    EXPECT_EQ(Ids(container), (std::vector<std::int32_t>{7, 5}));
    container.RemoveSymbol(42);
    EXPECT_EQ(Ids(container), (std::vector<std::int32_t>{7, 5}));
    EXPECT_FALSE(container.HasSymbol(3));
    container.AddSymbol(3, false);
    EXPECT_EQ(Ids(container), (std::vector<std::int32_t>{7, 5, 3}));
}

TEST(CSymbolContainer, RefusalsNameTheIdentifierAndChangeNothing) {
    CSymbolContainer container;
    container.AddSymbol(-4, std::int64_t(9)).AddSymbol(12, "kept");
    UTCTime partial;
    partial.set_year(2024);
    DataDefinition::Common::Uuid emptyUuid;

    const struct {
        const char* name;
        std::function<void()> action;
        const char* error;
    } cases[] = {
        {"duplicate", [&] { container.AddSymbol(-4, std::int64_t(1)); },
         "Symbol -4 is already in container"},
        {"duplicate other kind", [&] { container.AddSymbol(12, true); },
         "Symbol 12 is already in container"},
        {"absent", [&] { container.GetInt64(-2147483647 - 1); },
         "Cannot find symbol -2147483648 in symbol container"},
        {"absent data", [&] { container.GetSymbolData(5); },
         "Cannot find symbol 5 in symbol container"},
        {"other kind", [&] { container.GetString(-4); },
         "The symbol -4 exists but is not of requested type"},
        {"try other kind", [&] { container.TryGetBool(-4); },
         "The symbol -4 exists but is not of requested type"},
        {"set other kind", [&] { container.SetSymbol(-4, true); },
         "Cannot set the symbol -4 because it exists but is not of same type as before"},
        {"set text over int", [&] { container.SetSymbol(-4, std::string("x")); },
         "Cannot set the symbol -4 because it exists but is not of same type as before"},
        {"set blob over text", [&] { container.SetBlob(12, "x"); },
         "Cannot set the symbol 12 because it exists but is not of same type as before"},
        {"partial time", [&] { container.AddSymbol(-9, partial); },
         "Symbol -9 value is not fully initialized"},
        {"partial time set", [&] { container.SetSymbol(-9, partial); },
         "Symbol -9 value is not fully initialized"},
        {"empty uuid", [&] { container.AddSymbol(-9, emptyUuid); },
         "Symbol -9 value is not fully initialized"},
        {"bad uuid", [&] { container.AddUuidText(-9, "nope"); },
         "Invalid UUID string at position 0: hex digit expected"},
        {"bad uuid set", [&] { container.SetUuidText(-9, "00010203"); },
         "Invalid UUID string at position 8: unexpected end of input"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ErrorText<std::runtime_error>(c.action), c.error);
        EXPECT_EQ(Ids(container), (std::vector<std::int32_t>{-4, 12}));
        EXPECT_EQ(container.GetInt64(-4), 9);
        EXPECT_EQ(container.GetString(12), "kept");
    }
    EXPECT_EQ(ErrorText<std::out_of_range>(
                  [&] { container.AddSymbol(-9, MakeUtcTime(2024, 2, 30, 0, 0, 0)); }),
              "Day of month is not valid for year");
    EXPECT_FALSE(container.HasSymbol(-9));
}

TEST(CSymbolContainer, SettersReplaceInPlaceOrAppend) {
    CSymbolContainer container;
    container.AddSymbol(1, true)
        .AddSymbol(2, std::int64_t(2))
        .AddSymbol(3, "three")
        .AddUuidText(4, kUuidText)
        .AddResourceId(5, 5)
        .AddBlob(6, "six")
        .AddSymbol(7, MakeUtcTime(2020, 1, 1, 0, 0, 0));
    container.SetSymbol(1, false)
        .SetSymbol(2, std::int64_t(-2))
        .SetSymbol(3, "drei")
        .SetUuidText(4, "{FFFFFFFF-0405-0607-0809-0A0B0C0D0E0F}")
        .SetResourceId(5, -5)
        .SetBlob(6, "sechs")
        .SetSymbol(7, MakeUtcTime(2021, 2, 3, 4, 5, 6))
        .SetSymbol(8, std::int64_t(8));
    EXPECT_EQ(Ids(container), (std::vector<std::int32_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_FALSE(container.GetBool(1));
    EXPECT_EQ(container.GetInt64(2), -2);
    EXPECT_EQ(container.GetString(3), "drei");
    EXPECT_EQ(container.GetUuid(4).uuid(), "ffffffff-0405-0607-0809-0a0b0c0d0e0f");
    EXPECT_EQ(container.GetResourceId(5), -5);
    EXPECT_EQ(container.GetBlob(6), "sechs");
    EXPECT_EQ(container.GetTime(7),
              ptime(boost::gregorian::date(2021, 2, 3), boost::posix_time::time_duration(4, 5, 6)));
    EXPECT_EQ(container.GetInt64(8), 8);

    // The text setter keeps a text longer than the symbol's storage length;
    // the adder cuts it.
    container.SetSymbol(2874, "abcdefghijklmnopqrst");
    container.AddSymbol(2872, "abcdefghijklmnopqrstuvwxyz0123456789");
    EXPECT_EQ(container.GetString(2874), "abcdefghijklmnopqrst");
    EXPECT_EQ(container.GetString(2872), "abcdefghijklmnopqrstuvwxyz012...");
}

TEST(CSymbolContainer, MultiDataTypeTakesTheFirstNonEmptyList) {
    MultiDataType all;
    all.add_val_blob("blob");
    all.add_val_uuid()->set_uuid(kUuidText);
    *all.add_val_time_date() = MakeUtcTime(2024, 1, 2, 3, 4, 5);
    all.add_val_string("text");
    all.add_val_string("second");
    all.add_val_res_id(44);
    all.add_val_double(1.5);
    all.add_val_int(7);
    all.add_val_int(8);
    all.add_val_bool(true);

    // Emptying the winning list each round walks the fixed order.
    const SymbolKind order[] = {SymbolKind::Bool,  SymbolKind::Int,    SymbolKind::Double,
                                SymbolKind::ResId, SymbolKind::String, SymbolKind::TimeDate,
                                SymbolKind::Uuid,  SymbolKind::Blob};
    MultiDataType value = all;
    for (std::int32_t i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        CSymbolContainer container;
        container.AddSymbol(i, value);
        ASSERT_EQ(container.GetSymbolCount(), 1u);
        switch (order[i]) {
            case SymbolKind::Bool:
                EXPECT_TRUE(container.GetBool(i));
                value.clear_val_bool();
                break;
            case SymbolKind::Int:
                EXPECT_EQ(container.GetInt64(i), 7);
                value.clear_val_int();
                break;
            case SymbolKind::Double:
                EXPECT_EQ(container.GetDouble(i), 1.5);
                value.clear_val_double();
                break;
            case SymbolKind::ResId:
                EXPECT_EQ(container.GetResourceId(i), 44);
                value.clear_val_res_id();
                break;
            case SymbolKind::String:
                EXPECT_EQ(container.GetString(i), "text");
                value.clear_val_string();
                break;
            case SymbolKind::TimeDate:
                EXPECT_EQ(container.GetUtcTime(i).SerializeAsString(),
                          MakeUtcTime(2024, 1, 2, 3, 4, 5).SerializeAsString());
                value.clear_val_time_date();
                break;
            case SymbolKind::Uuid:
                EXPECT_EQ(container.GetUuid(i).uuid(), kUuidText);
                value.clear_val_uuid();
                break;
            case SymbolKind::Blob:
                EXPECT_EQ(container.GetBlob(i), "blob");
                value.clear_val_blob();
                break;
        }
    }

    CSymbolContainer container;
    container.AddSymbol(1, value);  // every list empty now
    EXPECT_EQ(container.GetSymbolCount(), 0u);

    MultiDataType intAndString;
    intAndString.add_val_string("ignored");
    intAndString.add_val_int(3);
    container.AddSymbol(2, intAndString);
    EXPECT_EQ(container.GetInt64(2), 3);

    // A text from a MultiDataType is cut like any added text.
    MultiDataType longText;
    longText.add_val_string("abcdefghijklmnopqrst");
    container.AddSymbol(2874, longText);
    EXPECT_EQ(container.GetString(2874), "abcdefg...");
}

TEST(CSymbolContainer, MultiDataTypeSetterMovesOrRemoves) {
    CSymbolContainer container;
    container.AddSymbol(1, std::int64_t(1)).AddSymbol(2, std::int64_t(2)).AddSymbol(3, true);
    MultiDataType text;
    text.add_val_string("now a text");
    container.SetSymbol(1, text);
    EXPECT_EQ(Ids(container), (std::vector<std::int32_t>{2, 3, 1}));
    EXPECT_EQ(container.GetString(1), "now a text");

    container.SetSymbol(2, MultiDataType());
    EXPECT_EQ(Ids(container), (std::vector<std::int32_t>{3, 1}));

    // A failing add after the removal leaves the identifier absent.
    MultiDataType partial;
    partial.add_val_time_date()->set_year(2024);
    EXPECT_EQ(ErrorText<std::runtime_error>([&] { container.SetSymbol(3, partial); }),
              "Symbol 3 value is not fully initialized");
    EXPECT_EQ(Ids(container), (std::vector<std::int32_t>{1}));
    MultiDataType badUuid;
    badUuid.add_val_uuid()->set_uuid("0001");
    EXPECT_EQ(ErrorText<std::runtime_error>([&] { container.SetSymbol(1, badUuid); }),
              "Invalid UUID string at position 4: unexpected end of input");
    EXPECT_EQ(container.GetSymbolCount(), 0u);
}

TEST(CSymbolContainer, LockRefusesWritesButNotReadsOrRemoval) {
    CSymbolContainer container;
    container.AddSymbol(12, std::int64_t(1)).AddSymbol(13, "t").AddSymbol(-1, true);
    container.Lock();
    EXPECT_TRUE(container.IsLocked());
    MultiDataType value;
    value.add_val_int(5);

    const struct {
        const char* name;
        std::function<void()> action;
        const char* error;
    } cases[] = {
        {"add int", [&] { container.AddSymbol(12, std::int64_t(2)); },
         "Cannot add symbol 12: container is locked"},
        {"add new", [&] { container.AddSymbol(20, 2.0); },
         "Cannot add symbol 20: container is locked"},
        {"add mdt", [&] { container.AddSymbol(-7, value); },
         "Cannot add symbol -7: container is locked"},
        {"add time", [&] { container.AddCurrentTime(21); },
         "Cannot add symbol 21: container is locked"},
        {"add uuid", [&] { container.AddUuidText(22, kUuidText); },
         "Cannot add symbol 22: container is locked"},
        {"set same kind", [&] { container.SetSymbol(12, std::int64_t(3)); },
         "Cannot add symbol 12: container is locked"},
        {"set other kind", [&] { container.SetSymbol(12, true); },
         "Cannot add symbol 12: container is locked"},
        {"set mdt", [&] { container.SetSymbol(13, value); },
         "Cannot add symbol 13: container is locked"},
        {"set blob", [&] { container.SetBlob(23, "x"); },
         "Cannot add symbol 23: container is locked"},
        {"deserialize", [&] { container.Deserialize(""); },
         "Failed to deserialize symbols: container is locked"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ErrorText<std::runtime_error>(c.action), c.error);
        EXPECT_EQ(Ids(container), (std::vector<std::int32_t>{12, 13, -1}));
        EXPECT_EQ(container.GetInt64(12), 1);
    }
    // Conversions run first, so their errors win over the lock.
    EXPECT_EQ(ErrorText<std::runtime_error>([&] { container.AddUuidText(22, "x"); }),
              "Invalid UUID string at position 0: hex digit expected");

    container.RemoveSymbol(13);
    EXPECT_EQ(Ids(container), (std::vector<std::int32_t>{12, -1}));
    EXPECT_TRUE(container.Clone()->Equals(container));

    container.Unlock();
    EXPECT_FALSE(container.IsLocked());
    container.AddSymbol(13, "again").SetSymbol(12, std::int64_t(5));
    EXPECT_EQ(container.GetInt64(12), 5);
    EXPECT_EQ(container.GetString(13), "again");
}

TEST(CSymbolContainer, TryGettersAreEmptyOnlyForAbsentSymbols) {
    CSymbolContainer container;
    FillAllKinds(container);
    container.AddSymbol(9, std::int64_t(4294967297LL));
    const std::int32_t absent = 100;
    EXPECT_FALSE(container.TryGetSymbolData(absent));
    EXPECT_FALSE(container.TryGetBool(absent));
    EXPECT_FALSE(container.TryGetBlob(absent));
    EXPECT_FALSE(container.TryGetInt64(absent));
    EXPECT_FALSE(container.TryGetDouble(absent));
    EXPECT_FALSE(container.TryGetString(absent));
    EXPECT_FALSE(container.TryGetResourceId(absent));
    EXPECT_FALSE(container.TryGetInt32(absent));
    EXPECT_FALSE(container.TryGetUtcTime(absent));
    EXPECT_FALSE(container.TryGetTime(absent));
    EXPECT_FALSE(container.TryGetUuid(absent));

    EXPECT_EQ(container.TryGetSymbolData(2)->val_int(0), -5);
    EXPECT_EQ(*container.TryGetBool(8), true);
    EXPECT_EQ(*container.TryGetBlob(1), std::string("b\0b", 3));
    EXPECT_EQ(*container.TryGetInt64(2), -5);
    EXPECT_EQ(*container.TryGetDouble(3), 2.5);
    EXPECT_EQ(*container.TryGetString(4), "text");
    EXPECT_EQ(*container.TryGetResourceId(5), 77);
    EXPECT_EQ(*container.TryGetInt32(9), 1);
    EXPECT_EQ(container.TryGetUtcTime(6)->hour(), 7);
    EXPECT_EQ(*container.TryGetTime(6), container.GetTime(6));
    EXPECT_EQ(container.TryGetUuid(7)->uuid(), kUuidText);

    EXPECT_EQ(ErrorText<std::runtime_error>([&] { container.TryGetUuid(4); }),
              "The symbol 4 exists but is not of requested type");
    EXPECT_EQ(ErrorText<std::runtime_error>([&] { container.TryGetTime(5); }),
              "The symbol 5 exists but is not of requested type");
}

TEST(CSymbolContainer, EqualityIgnoresOrderAndLockButNotKindOrValue) {
    CSymbolContainer a;
    CSymbolContainer b;
    EXPECT_TRUE(a.Equals(b));
    a.AddSymbol(1, std::int64_t(1)).AddSymbol(2, "x").AddUuidText(3, kUuidText);
    b.AddUuidText(3, kUuidText).AddSymbol(1, std::int64_t(1)).AddSymbol(2, "x");
    b.Lock();
    EXPECT_TRUE(a.Equals(b));
    EXPECT_TRUE(b.Equals(a));
    b.Unlock();

    const struct {
        const char* name;
        std::function<void(ISymbolContainer&)> change;
    } differences[] = {
        {"int vs res_id",
         [](ISymbolContainer& c) {
             c.RemoveSymbol(1);
             c.AddResourceId(1, 1);
         }},
        {"value", [](ISymbolContainer& c) { c.SetSymbol(1, std::int64_t(2)); }},
        {"text vs blob",
         [](ISymbolContainer& c) {
             c.RemoveSymbol(2);
             c.AddBlob(2, "x");
         }},
        {"text length", [](ISymbolContainer& c) { c.SetSymbol(2, std::string("x\0", 2)); }},
        {"uuid byte",
         [](ISymbolContainer& c) { c.SetUuidText(3, "00010203-0405-0607-0809-0a0b0c0d0e0e"); }},
        {"identifier",
         [](ISymbolContainer& c) {
             c.RemoveSymbol(3);
             c.AddUuidText(4, kUuidText);
         }},
        {"count", [](ISymbolContainer& c) { c.AddSymbol(9, false); }},
    };
    for (const auto& d : differences) {
        SCOPED_TRACE(d.name);
        boost::shared_ptr<ISymbolContainer> changed = b.Clone();
        d.change(*changed);
        EXPECT_FALSE(a.Equals(*changed));
        EXPECT_FALSE(changed->Equals(a));
    }

    CSymbolContainer withNan;
    withNan.AddSymbol(1, std::numeric_limits<double>::quiet_NaN());
    EXPECT_FALSE(withNan.Equals(*withNan.Clone()));
    EXPECT_FALSE(withNan.Equals(withNan));
}

TEST(CSymbolContainer, CloneIsAnIndependentUnlockedCopyThroughMultiDataType) {
    CSymbolContainer source;
    FillAllKinds(source);
    UTCTime fraction = MakeUtcTime(2024, 1, 1, 0, 0, 0);
    fraction.set_nanos(123456789);
    source.AddSymbol(9, fraction);
    source.Lock();

    boost::shared_ptr<ISymbolContainer> copy = source.Clone();
    ASSERT_TRUE(copy);
    EXPECT_EQ(Ids(*copy), Ids(source));
    EXPECT_TRUE(copy->Equals(source));
    EXPECT_EQ(copy->GetTime(9), source.GetTime(9));  // microseconds survive
    EXPECT_EQ(copy->GetUtcTime(9).nanos(), 123456000);

    copy->SetSymbol(4, "changed").AddSymbol(10, true);  // the copy is unlocked
    EXPECT_EQ(source.GetString(4), "text");
    EXPECT_FALSE(source.HasSymbol(10));

    CSymbolContainer copied(source);
    EXPECT_TRUE(copied.Equals(source));
    EXPECT_FALSE(copied.IsLocked());

    // A text set past its storage length is cut again by the copy.
    CSymbolContainer longText;
    longText.SetSymbol(2874, "abcdefghijklmnopqrst");
    boost::shared_ptr<ISymbolContainer> cut = longText.Clone();
    EXPECT_EQ(cut->GetString(2874), "abcdefg...");
    EXPECT_FALSE(cut->Equals(longText));
}

TEST(CSymbolContainer, CurrentTimeIsAWholeSecondTimeValue) {
    CSymbolContainer container;
    container.AddCurrentTime(-3);
    const ptime time = container.GetTime(-3);
    EXPECT_FALSE(time.is_special());
    EXPECT_EQ(time.time_of_day().fractional_seconds(), 0);
    EXPECT_FALSE(container.GetUtcTime(-3).has_nanos());
    EXPECT_EQ(ErrorText<std::runtime_error>([&] { container.AddCurrentTime(-3); }),
              "Symbol -3 is already in container");
}

}  // namespace
}  // namespace Logs
}  // namespace Common
}  // namespace Kol
