#include <functional>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "contracts/logs/CLogDescriptorMap.h"
#include "contracts/logs/CSymbolContainerValidator.h"
#include "framework/logs/CSymbolContainer.h"
#include "framework/logs/tests/TestSupport.h"

namespace Kol::Common::Logs {
namespace {

using namespace Test;

void Validate(const ISymbolContainer& container, Kernel::MessageType type) {
    const CLogMessageDescriptorPtr descriptor =
        CLogDescriptorMap::Instance().GetMessageDescriptor(type);
    CSymbolContainerValidator::ValidateSymbolContainer(container, *descriptor,
                                                       descriptor->GetLogType(type));
}

TEST(CSymbolContainerValidator, MissingExtraOrMistypedSymbolsFailWithTheirText) {
    const struct {
        const char* name;
        std::function<void(ISymbolContainer&)> change;
        const char* error;
    } cases[] = {
        {"missing", [](ISymbolContainer& c) { c.RemoveSymbol(2846); },
         "Required symbol 2846 of log type CLEANUP_STATUS is missing"},
        {"extra", [](ISymbolContainer& c) { c.AddSymbol(2860, "service"); },
         "Symbol 2860 is not defined for log type CLEANUP_STATUS"},
        {"unknown negative", [](ISymbolContainer& c) { c.AddSymbol(-1, true); },
         "Symbol -1 is not defined for log type CLEANUP_STATUS"},
        {"int as res_id",
         [](ISymbolContainer& c) {
             c.RemoveSymbol(2850);
             c.AddResourceId(2850, 20);
         },
         "Symbol 2850 of log type CLEANUP_STATUS must be of kind int but is res_id"},
        {"uuid as text",
         [](ISymbolContainer& c) {
             c.RemoveSymbol(2834);
             c.AddSymbol(2834, kUuidText);
         },
         "Symbol 2834 of log type CLEANUP_STATUS must be of kind uuid but is string"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CSymbolContainer container;
        FillStatusEvent(container);
        c.change(container);
        EXPECT_EQ(ErrorText<std::runtime_error>(
                      [&] { Validate(container, Kernel::MessageTypeCleanupStatusEvent); }),
                  c.error);
    }

    // The nine symbols pass as event and as delta; the delta needs them too.
    CSymbolContainer container;
    FillStatusEvent(container);
    EXPECT_NO_THROW(Validate(container, Kernel::MessageTypeCleanupStatusEvent));
    EXPECT_NO_THROW(Validate(container, Kernel::MessageTypeCleanupStatusDelta));
    container.RemoveSymbol(2853);
    EXPECT_EQ(ErrorText<std::runtime_error>(
                  [&] { Validate(container, Kernel::MessageTypeCleanupStatusDelta); }),
              "Required symbol 2853 of log type CLEANUP_STATUS_DELTA is missing");
}

TEST(CSymbolContainerValidator, TextLongerThanItsStorageLengthFails) {
    CSymbolContainer container;
    container.AddSymbol(2870, "product").AddSymbol(2872, "1.0").AddUuidText(2878, kUuidText);
    EXPECT_NO_THROW(Validate(container, Kernel::MessageTypeSoftwareInventoryEvent));
    container.SetSymbol(2874, "more than ten bytes");  // the setter does not cut
    EXPECT_EQ(ErrorText<std::runtime_error>(
                  [&] { Validate(container, Kernel::MessageTypeSoftwareInventoryEvent); }),
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
