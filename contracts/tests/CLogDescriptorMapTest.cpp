#include "contracts/logs/CLogDescriptorMap.h"

#include <stdexcept>

#include <google/protobuf/generated_enum_reflection.h>
#include <gtest/gtest.h>

#include "contracts/datadefinition/Cleanup.pb.h"

namespace Kol {
namespace Common {
namespace Logs {
namespace {

using DataDefinition::Logs::LogType;

TEST(CLogDescriptorMap, CleanupStatusEventHasItsNineSymbols) {
    const CLogDescriptorMap& map = CLogDescriptorMap::Instance();
    EXPECT_EQ(&map, &CLogDescriptorMap::Instance());

    CLogMessageDescriptorPtr message = map.GetMessageDescriptor(Kernel::MessageType(10368));
    EXPECT_EQ(message->GetEventMessageType(), 10368);
    EXPECT_EQ(message->GetDeltaMessageType(), 10369);
    EXPECT_FALSE(message->IsDelta(Kernel::MessageType(10368)));
    EXPECT_TRUE(message->IsDelta(Kernel::MessageType(10369)));
    EXPECT_EQ(message->GetLogType(Kernel::MessageType(10368)), DataDefinition::Logs::CLEANUP_STATUS);
    EXPECT_EQ(message->GetLogType(Kernel::MessageType(10369)),
              DataDefinition::Logs::CLEANUP_STATUS_DELTA);

    const struct {
        std::int32_t id;
        SymbolKind kind;
    } expected[] = {{2834, SymbolKind::Uuid},  {2836, SymbolKind::Int},   {2838, SymbolKind::TimeDate},
                    {2842, SymbolKind::Uuid},  {2844, SymbolKind::Uuid},  {2846, SymbolKind::Uuid},
                    {2848, SymbolKind::ResId}, {2850, SymbolKind::Int},   {2853, SymbolKind::ResId}};
    CLogDescriptorPtr log = map.GetLogDescriptor(DataDefinition::Logs::CLEANUP_STATUS);
    ASSERT_EQ(log->GetSymbolDescriptors().size(), 9u);
    for (const auto& symbol : expected) {
        SCOPED_TRACE(symbol.id);
        EXPECT_TRUE(map.HasSymbol(symbol.id));
        EXPECT_EQ(map.GetLogTypeBySymbol(symbol.id), DataDefinition::Logs::CLEANUP_STATUS);
        CSymbolDescriptorPtr descriptor = log->GetSymbolDescriptor(symbol.id);
        ASSERT_TRUE(descriptor);
        EXPECT_EQ(descriptor->GetKind(), symbol.kind);
        EXPECT_TRUE(descriptor->IsRequired());
        EXPECT_EQ(descriptor->GetOtlLength(), 0u);
    }
}

TEST(CLogDescriptorMap, LookupsOfUnknownValuesThrow) {
    const CLogDescriptorMap& map = CLogDescriptorMap::Instance();
    EXPECT_FALSE(map.HasSymbol(1));
    try {
        map.GetLogTypeBySymbol(-7);
        FAIL();
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "Unknown log symbol -7");
    }
    try {
        map.GetMessageDescriptor(Kernel::MessageType(-3));
        FAIL();
    } catch (const std::out_of_range& e) {
        EXPECT_STREQ(e.what(), "No log descriptor for message type -3");
    }
    EXPECT_THROW(map.GetLogDescriptor(LogType(99)), std::out_of_range);
}

TEST(CLogDescriptorMap, CleanupRequestTypeAnswersWithOtherEventAndDeltaTypes) {
    CLogMessageDescriptorPtr message =
        CLogDescriptorMap::Instance().GetMessageDescriptor(Kernel::MessageTypeCleanupLogs);
    EXPECT_NE(message->GetEventMessageType(), 2);
    EXPECT_NE(message->GetDeltaMessageType(), 2);
}

TEST(CLogDescriptorMap, TextSymbolsCarryTheirStorageLength) {
    const CLogDescriptorMap& map = CLogDescriptorMap::Instance();
    const LogType type = map.GetLogTypeBySymbol(2874);
    EXPECT_EQ(type, DataDefinition::Logs::SOFTWARE_INVENTORY);
    EXPECT_EQ(map.GetLogDescriptor(type)->GetSymbolDescriptor(2874)->GetOtlLength(), 10u);
    EXPECT_EQ(map.GetLogDescriptor(type)->GetSymbolDescriptor(2874)->GetKind(), SymbolKind::String);
}

TEST(CleanupLogsOperations, NameOfEnumGivesLibraryNamesAndEmptyForUnknown) {
    using google::protobuf::internal::NameOfEnum;
    const auto* descriptor = DataDefinition::Cleanup::CleanupLogsOperations_descriptor();
    EXPECT_EQ(NameOfEnum(descriptor, 7), "OLD_LOGS");
    EXPECT_EQ(NameOfEnum(descriptor, 13), "ENROLLMENT_TOMBSTONES");
    EXPECT_EQ(NameOfEnum(descriptor, 0), "");
    EXPECT_EQ(NameOfEnum(descriptor, 25), "");
    EXPECT_EQ(NameOfEnum(descriptor, -1), "");
}

}  // namespace
}  // namespace Logs
}  // namespace Common
}  // namespace Kol
