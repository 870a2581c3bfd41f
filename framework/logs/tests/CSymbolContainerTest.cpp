#include <cstdint>
#include <functional>
#include <iterator>
#include <limits>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <google/protobuf/text_format.h>
#include <gtest/gtest.h>
#include <boost/date_time/posix_time/posix_time_types.hpp>

#include "contracts/logs/CLogDescriptorMap.h"
#include "contracts/logs/CSymbolContainerValidator.h"
#include "framework/logs/CSymbolContainer.h"
#include "framework/logs/tests/TestSupport.h"

namespace Kol::Common::Logs {
namespace {

using boost::posix_time::ptime;
using DataDefinition::Common::MultiDataType;
using DataDefinition::Common::UTCTime;
using DataDefinition::Common::Uuid;
using namespace Test;

typedef std::vector<std::int32_t> IdList;

TEST(CSymbolContainer, TypedGettersAndMultiDataTypeForms) {
    CSymbolContainer c;
    FillEveryKind(c);
    c.AddSymbol(9, std::int64_t(4294967297LL)).AddSymbol(10, std::int32_t(-1));
    // GetInt32 gives the low 32 bits.
    EXPECT_EQ(std::make_tuple(c.GetInt64(1), c.GetString(2), c.GetUuid(3).uuid(), c.GetBool(4),
                              c.GetBlob(-5), c.GetTime(6), c.GetUtcTime(6).ShortDebugString(),
                              c.GetDouble(7), c.GetResourceId(8), c.GetInt32(9), c.GetInt64(10)),
              std::make_tuple(-5, "abc", kUuidText, true, std::string("x\0", 2),
                              ptime(boost::gregorian::date(1970, 1, 1)),
                              MakeUtcTime(1970, 1, 1).ShortDebugString(), 2.5, 77, 1, -1));

    // Each value is exactly one entry of the list of its kind.
    const char* forms[] = {
        "val_int: -5",
        "val_string: \"abc\"",
        "val_uuid { uuid: \"00010203-0405-0607-0809-0a0b0c0d0e0f\" }",
        "val_bool: true",
        "val_blob: \"x\\000\"",
        "val_time_date { year: 1970 month: 1 day: 1 hour: 0 minute: 0 second: 0 }",
        "val_double: 2.5",
        "val_res_id: 77",
        "val_int: 4294967297",
        "val_int: -1",
    };
    for (std::size_t i = 0; i < c.GetSymbolCount(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(c.GetSymbolDataAt(i).ShortDebugString(), forms[i]);
        EXPECT_EQ(c.GetSymbolData(c.GetSymbolIdAt(i)).ShortDebugString(), forms[i]);
        EXPECT_EQ(c.TryGetSymbolData(c.GetSymbolIdAt(i))->ShortDebugString(), forms[i]);
    }
    EXPECT_EQ(*c.TryGetString(2), "abc");
    EXPECT_EQ(*c.TryGetInt32(9), 1);
    EXPECT_EQ(c.TryGetUtcTime(6)->year(), 1970);
    EXPECT_FALSE(c.TryGetSymbolData(100) || c.TryGetBool(100) || c.TryGetBlob(100) ||
                 c.TryGetInt64(100) || c.TryGetDouble(100) || c.TryGetString(100) ||
                 c.TryGetResourceId(100) || c.TryGetInt32(100) || c.TryGetUtcTime(100) ||
                 c.TryGetTime(100) || c.TryGetUuid(100));
}

TEST(CSymbolContainer, RefusalsNameTheIdentifierAndChangeNothing) {
    CSymbolContainer c;
    c.AddSymbol(-4, std::int64_t(9)).AddSymbol(12, "kept").AddResourceId(13, 1);
    UTCTime partial;
    partial.set_year(2024);
    const std::string notSame = " because it exists but is not of same type as before";
    const std::string badUuid = "Invalid UUID string at position ";
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { c.AddSymbol(-4, std::int64_t(1)); }, "Symbol -4 is already in container"},
        {[&] { c.GetInt64(INT32_MIN); }, "Cannot find symbol -2147483648 in symbol container"},
        {[&] { c.GetSymbolData(5); }, "Cannot find symbol 5 in symbol container"},
        {[&] { c.GetString(-4); }, "The symbol -4 exists but is not of requested type"},
        {[&] { c.GetInt32(13); }, "The symbol 13 exists but is not of requested type"},
        {[&] { c.GetResourceId(-4); }, "The symbol -4 exists but is not of requested type"},
        {[&] { c.TryGetBool(-4); }, "The symbol -4 exists but is not of requested type"},
        {[&] { c.TryGetUuid(12); }, "The symbol 12 exists but is not of requested type"},
        {[&] { c.SetSymbol(-4, true); }, "Cannot set the symbol -4" + notSame},
        {[&] { c.SetBlob(12, "x"); }, "Cannot set the symbol 12" + notSame},
        {[&] { c.SetSymbol(13, std::int64_t(1)); }, "Cannot set the symbol 13" + notSame},
        {[&] { c.AddSymbol(-9, partial); }, "Symbol -9 value is not fully initialized"},
        {[&] { c.SetSymbol(-9, partial); }, "Symbol -9 value is not fully initialized"},
        {[&] { c.AddSymbol(-9, Uuid()); }, "Symbol -9 value is not fully initialized"},
        {[&] { c.AddUuidText(-9, "nope"); }, badUuid + "0: hex digit expected"},
        {[&] { c.SetUuidText(-9, "00010203"); }, badUuid + "8: unexpected end of input"},
    };
    for (const auto& [action, error] : cases) {
        SCOPED_TRACE(error);
        EXPECT_EQ(ErrorText<std::runtime_error>(action), error);
        EXPECT_EQ(Ids(c), (IdList{-4, 12, 13}));
        EXPECT_EQ(c.GetInt64(-4), 9);
        EXPECT_EQ(c.GetString(12), "kept");
    }
    EXPECT_EQ(ErrorText<std::out_of_range>([&] { c.AddSymbol(-9, MakeUtcTime(2024, 2, 30)); }),
              "Day of month is not valid for year");
    EXPECT_EQ(ErrorText<std::out_of_range>([&] { c.GetSymbolIdAt(3); }),
              "Symbol index 3 is not below the symbol count 3");
    EXPECT_EQ(ErrorText<std::out_of_range>([&] { c.GetSymbolDataAt(SIZE_MAX); }),
              "Symbol index 18446744073709551615 is not below the symbol count 3");
    EXPECT_EQ(Ids(c), (IdList{-4, 12, 13}));
}

TEST(CSymbolContainer, SettersReplaceInPlaceOrAppend) {
    CSymbolContainer c;
    c.AddSymbol(1, true).AddSymbol(2, std::int64_t(2)).AddSymbol(3, "three");
    c.AddUuidText(4, kUuidText).AddResourceId(5, 5).AddBlob(6, "six");
    c.AddSymbol(7, MakeUtcTime(2020, 1, 1));
    c.SetSymbol(1, false)
        .SetSymbol(2, std::int64_t(-2))
        .SetSymbol(3, "drei")
        .SetUuidText(4, "{FFFFFFFF-0405-0607-0809-0A0B0C0D0E0F}")
        .SetResourceId(5, -5)
        .SetBlob(6, "sechs")
        .SetSymbol(7, MakeUtcTime(2021, 2, 3, 4, 5, 6))
        .SetSymbol(8, std::int64_t(8));
    EXPECT_EQ(Ids(c), (IdList{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(std::make_tuple(c.GetBool(1), c.GetInt64(2), c.GetString(3), c.GetUuid(4).uuid(),
                              c.GetResourceId(5), c.GetBlob(6), c.GetUtcTime(7).ShortDebugString(),
                              c.GetInt64(8)),
              std::make_tuple(false, -2, "drei", "ffffffff-0405-0607-0809-0a0b0c0d0e0f", -5,
                              "sechs", MakeUtcTime(2021, 2, 3, 4, 5, 6).ShortDebugString(), 8));

    // The text adder cuts to the storage length (2872: 32, 2874: 10 bytes);
    // the text setter does not.
    c.AddSymbol(2872, "abcdefghijklmnopqrstuvwxyz0123456789");
    c.SetSymbol(2874, "abcdefghijklmnopqrst");
    EXPECT_EQ(c.GetString(2872), "abcdefghijklmnopqrstuvwxyz012...");
    EXPECT_EQ(c.GetString(2874), "abcdefghijklmnopqrst");
}

TEST(CSymbolContainer, MultiDataTypeAdderTakesEntryZeroOfTheFirstNonEmptyListSetterReAdds) {
    MultiDataType value;
    ASSERT_TRUE(google::protobuf::TextFormat::ParseFromString(
        "val_blob: 'blob' val_uuid { uuid: '00010203-0405-0607-0809-0a0b0c0d0e0f' } "
        "val_time_date { year: 2024 month: 1 day: 2 hour: 3 minute: 4 second: 5 } "
        "val_string: 'text' val_res_id: 44 val_double: 1.5 val_int: 7 val_int: 8 val_bool: true",
        &value));
    // Clearing the winning list each round walks the fixed order: the list,
    // what is stored from it.
    const std::pair<const char*, const char*> order[] = {
        {"val_bool", "val_bool: true"},
        {"val_int", "val_int: 7"},
        {"val_double", "val_double: 1.5"},
        {"val_res_id", "val_res_id: 44"},
        {"val_string", "val_string: \"text\""},
        {"val_time_date",
         "val_time_date { year: 2024 month: 1 day: 2 hour: 3 minute: 4 second: 5 }"},
        {"val_uuid", "val_uuid { uuid: \"00010203-0405-0607-0809-0a0b0c0d0e0f\" }"},
        {"val_blob", "val_blob: \"blob\""},
    };
    CSymbolContainer c;
    for (const auto& [list, stored] : order) {
        SCOPED_TRACE(list);
        const auto id = static_cast<std::int32_t>(c.GetSymbolCount());
        c.AddSymbol(id, value);
        EXPECT_EQ(c.GetSymbolData(id).ShortDebugString(), stored);
        value.GetReflection()->ClearField(&value, value.GetDescriptor()->FindFieldByName(list));
    }
    c.AddSymbol(8, value);  // every list empty: nothing added, no error
    EXPECT_EQ(c.GetSymbolCount(), 8u);

    MultiDataType longText;
    longText.add_val_string("abcdefghijklmnopqrst");
    c.AddSymbol(2874, longText);
    EXPECT_EQ(c.GetString(2874), "abcdefg...");

    // The setter removes the symbol, then adds through the adder.
    CSymbolContainer set;
    set.AddSymbol(1, std::int64_t(1)).AddSymbol(2, std::int64_t(2)).AddSymbol(3, true);
    MultiDataType text;
    text.add_val_string("now a text");
    set.SetSymbol(1, text);  // no kind check; moves to the end
    EXPECT_EQ(Ids(set), (IdList{2, 3, 1}));
    EXPECT_EQ(set.GetString(1), "now a text");
    set.SetSymbol(2, MultiDataType());
    set.RemoveSymbol(42);                 // unknown: nothing happens
    EXPECT_EQ(Ids(set), (IdList{3, 1}));  // insertion order survives removal

    MultiDataType partial;
    partial.add_val_time_date()->set_year(2024);
    EXPECT_EQ(ErrorText<std::runtime_error>([&] { set.SetSymbol(3, partial); }),
              "Symbol 3 value is not fully initialized");
    EXPECT_EQ(Ids(set), (IdList{1}));  // removed before the failing add
}

TEST(CSymbolContainer, LockRefusesWritesButNotReadsOrRemoval) {
    CSymbolContainer c;
    c.AddSymbol(12, std::int64_t(1)).AddSymbol(13, "t").AddSymbol(-1, true);
    c.Lock();
    EXPECT_TRUE(c.IsLocked());
    MultiDataType value;
    value.add_val_int(5);
    const std::pair<std::function<void()>, const char*> cases[] = {
        {[&] { c.AddSymbol(12, std::int64_t(2)); }, "Cannot add symbol 12: container is locked"},
        {[&] { c.AddSymbol(-7, value); }, "Cannot add symbol -7: container is locked"},
        {[&] { c.SetSymbol(12, std::int64_t(3)); }, "Cannot add symbol 12: container is locked"},
        {[&] { c.SetSymbol(13, value); }, "Cannot add symbol 13: container is locked"},
        {[&] { c.Deserialize(""); }, "Failed to deserialize symbols: container is locked"},
        // Conversions come first, so their errors win over the lock.
        {[&] { c.AddUuidText(22, "x"); }, "Invalid UUID string at position 0: hex digit expected"},
    };
    for (const auto& [action, error] : cases) {
        SCOPED_TRACE(error);
        EXPECT_EQ(ErrorText<std::runtime_error>(action), error);
        EXPECT_EQ(Ids(c), (IdList{12, 13, -1}));
        EXPECT_EQ(c.GetInt64(12), 1);
    }
    c.DeserializeBinary(std::string(4, '\0'));  // nothing to add, so no refusal
    c.RemoveSymbol(13);
    EXPECT_EQ(Ids(c), (IdList{12, -1}));

    c.Unlock();
    c.AddSymbol(13, "again").SetSymbol(12, std::int64_t(5));
    EXPECT_EQ(c.GetInt64(12), 5);
    EXPECT_EQ(c.GetString(13), "again");
}

TEST(CSymbolContainer, EqualityIgnoresOrderAndLockButNotKindOrValue) {
    CSymbolContainer a;
    CSymbolContainer b;
    EXPECT_TRUE(a.Equals(b));
    a.AddSymbol(1, std::int64_t(1)).AddSymbol(2, "x").AddUuidText(3, kUuidText);
    b.AddUuidText(3, kUuidText).AddSymbol(1, std::int64_t(1)).AddSymbol(2, "x");
    b.Lock();
    EXPECT_TRUE(a.Equals(b) && b.Equals(a));
    b.Unlock();

    // A symbol removed (0: none), then one added: another kind, value or id.
    const std::pair<std::int32_t, std::function<void(ISymbolContainer&)>> changes[] = {
        {1, [](ISymbolContainer& c) { c.AddResourceId(1, 1); }},
        {1, [](ISymbolContainer& c) { c.AddSymbol(1, std::int64_t(2)); }},
        {2, [](ISymbolContainer& c) { c.AddBlob(2, "x"); }},
        {2, [](ISymbolContainer& c) { c.AddSymbol(2, std::string("x\0", 2)); }},
        {3, [](ISymbolContainer& c) { c.AddUuidText(3, "00010203-0405-0607-0809-0a0b0c0d0e0e"); }},
        {3, [](ISymbolContainer& c) { c.AddUuidText(4, kUuidText); }},
        {0, [](ISymbolContainer& c) { c.AddSymbol(9, false); }},
    };
    for (std::size_t i = 0; i < std::size(changes); ++i) {
        SCOPED_TRACE(i);
        boost::shared_ptr<ISymbolContainer> changed = b.Clone();
        changed->RemoveSymbol(changes[i].first);
        changes[i].second(*changed);
        EXPECT_FALSE(a.Equals(*changed) || changed->Equals(a));
    }

    CSymbolContainer withNan;
    withNan.AddSymbol(1, std::numeric_limits<double>::quiet_NaN());
    EXPECT_FALSE(withNan.Equals(*withNan.Clone()));
}

TEST(CSymbolContainer, CloneIsAnIndependentUnlockedCopyThroughMultiDataType) {
    CSymbolContainer source;
    FillEveryKind(source);
    UTCTime fraction = MakeUtcTime(2024, 1, 1);
    fraction.set_nanos(123456789);
    source.AddSymbol(9, fraction);
    source.SetSymbol(2874, "abcdefghijklmnopqrst");  // longer than its 10 bytes
    source.Lock();

    boost::shared_ptr<ISymbolContainer> copy = source.Clone();
    EXPECT_EQ(Ids(*copy), Ids(source));
    EXPECT_EQ(copy->GetString(2874), "abcdefg...");  // cut again by the adder
    EXPECT_FALSE(copy->Equals(source));
    copy->SetSymbol(2874, "abcdefghijklmnopqrst");
    EXPECT_TRUE(copy->Equals(source));
    EXPECT_EQ(copy->GetUtcTime(9).nanos(), 123456000);  // microseconds survive

    copy->SetSymbol(2, "changed").AddSymbol(10, true);  // the copy is unlocked
    EXPECT_EQ(source.GetString(2), "abc");
    EXPECT_FALSE(source.HasSymbol(10));
    EXPECT_FALSE(CSymbolContainer(source).IsLocked());
}

// The validator's refusal of `container` as a message of `type`, or
// "<no exception>" when it passes.
std::string ValidationError(const ISymbolContainer& container,
                            Kernel::MessageType type = Kernel::MessageTypeCleanupStatusEvent) {
    return ErrorText<std::runtime_error>([&] {
        const CLogMessageDescriptorPtr descriptor =
            CLogDescriptorMap::Instance().GetMessageDescriptor(type);
        CSymbolContainerValidator::ValidateSymbolContainer(container, *descriptor,
                                                           descriptor->GetLogType(type));
    });
}

TEST(CSymbolContainerValidator, MissingExtraOrMistypedSymbolsFailWithTheirText) {
    // A change to the nine symbols of a status event, and the outcome.
    std::vector<std::pair<std::function<void(ISymbolContainer&)>, std::string>> cases = {
        {[](ISymbolContainer&) {}, "<no exception>"},
        {[](ISymbolContainer& c) { c.AddSymbol(2860, "service"); },
         "Symbol 2860 is not defined for log type CLEANUP_STATUS"},
        {[](ISymbolContainer& c) { c.AddSymbol(-1, true); },
         "Symbol -1 is not defined for log type CLEANUP_STATUS"},
        {[](ISymbolContainer& c) {
             c.RemoveSymbol(2850);
             c.AddResourceId(2850, 20);
         },
         "Symbol 2850 of log type CLEANUP_STATUS must be of kind int but is res_id"},
        {[](ISymbolContainer& c) {
             c.RemoveSymbol(2834);
             c.AddSymbol(2834, kUuidText);
         },
         "Symbol 2834 of log type CLEANUP_STATUS must be of kind uuid but is string"},
    };
    for (const std::int32_t id : {2834, 2836, 2838, 2842, 2844, 2846, 2848, 2850, 2853}) {
        cases.emplace_back(
            [id](ISymbolContainer& c) { c.RemoveSymbol(id); },
            "Required symbol " + std::to_string(id) + " of log type CLEANUP_STATUS is missing");
    }
    for (const auto& [change, error] : cases) {
        SCOPED_TRACE(error);
        CSymbolContainer container;
        FillStatusEvent(container);
        change(container);
        EXPECT_EQ(ValidationError(container), error);
    }
    // The delta needs the nine symbols too.
    CSymbolContainer container;
    FillStatusEvent(container);
    EXPECT_EQ(ValidationError(container, Kernel::MessageTypeCleanupStatusDelta), "<no exception>");
    container.RemoveSymbol(2853);
    EXPECT_EQ(ValidationError(container, Kernel::MessageTypeCleanupStatusDelta),
              "Required symbol 2853 of log type CLEANUP_STATUS_DELTA is missing");
}

TEST(CSymbolContainerValidator, TextLongerThanItsStorageLengthFails) {
    CSymbolContainer container;
    container.AddSymbol(2870, "product").AddSymbol(2872, "1.0").AddUuidText(2878, kUuidText);
    EXPECT_EQ(ValidationError(container, Kernel::MessageTypeSoftwareInventoryEvent),
              "<no exception>");
    container.SetSymbol(2874, "more than ten bytes");  // the setter does not cut
    EXPECT_EQ(ValidationError(container, Kernel::MessageTypeSoftwareInventoryEvent),
              "Symbol 2874 of log type SOFTWARE_INVENTORY is longer than 10 bytes");

    const CLogMessageDescriptorPtr status =
        CLogDescriptorMap::Instance().GetMessageDescriptor(Kernel::MessageTypeCleanupStatusEvent);
    EXPECT_EQ(ErrorText<std::runtime_error>([&] {
                  CSymbolContainerValidator::ValidateSymbolContainer(
                      container, *status, DataDefinition::Logs::SOFTWARE_INVENTORY);
              }),
              "Log type 5 is not carried by this log message");
}

}  // namespace
}  // namespace Kol::Common::Logs
