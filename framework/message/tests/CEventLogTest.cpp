#include <functional>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

#include "framework/logs/CSymbolContainer.h"
#include "framework/logs/tests/TestSupport.h"
#include "framework/message/CEventLog.h"
#include "tests/kernel/CTestMessage.h"

namespace Kol::Common::Message::Logs {
namespace {

using Common::Logs::CSymbolContainer;
using Common::Logs::ISymbolContainerPtr;
using namespace Common::Logs::Test;

TEST(CEventLog, EventAndDeltaTypesAreNamedByTheirLogTypeAndGetFreshContainers) {
    const std::pair<Kernel::MessageType, const char*> cases[] = {
        {Kernel::MessageTypeCleanupStatusEvent, "EventLog_CLEANUP_STATUS"},
        {Kernel::MessageTypeCleanupStatusDelta, "EventLog_CLEANUP_STATUS_DELTA"},
        {Kernel::MessageTypeServiceStateEvent, "EventLog_SERVICE_STATE"},
        {Kernel::MessageTypeSoftwareInventoryDelta, "EventLog_SOFTWARE_INVENTORY_DELTA"},
        {Kernel::MessageTypeCleanupRequestEvent, "EventLog_CLEANUP_REQUEST"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second);
        CEventLog message(c.first);
        EXPECT_EQ(message.GetType(), c.first);
        EXPECT_EQ(message.GetName(), c.second);
        EXPECT_FALSE(message.IsReadOnly());
        EXPECT_TRUE(message.GetFlag());
        EXPECT_EQ(message.GetNumber(), -1);
        const ISymbolContainerPtr first = message.GetSymbols();
        ASSERT_TRUE(first && message.GetSecondSymbols());
        EXPECT_NE(first, message.GetSecondSymbols());
        EXPECT_EQ(first.use_count(), 2);  // the message and this test: fresh
        EXPECT_EQ(first->GetSymbolCount() + message.GetSecondSymbols()->GetSymbolCount(), 0u);
    }
    EXPECT_EQ(
        ErrorText<std::runtime_error>([] { CEventLog message(Kernel::MessageTypeCleanupLogs); }),
        "CEventLog: Message type 2 is not event or delta log");
    EXPECT_EQ(ErrorText<std::out_of_range>([] { CEventLog message(Kernel::MessageType(-3)); }),
              "No log descriptor for message type -3");
}

TEST(CEventLog, ValidatesTheFirstContainerAgainstItsLogType) {
    CEventLog event(Kernel::MessageTypeCleanupStatusEvent);
    EXPECT_EQ(ErrorText<std::runtime_error>([&] { event.Validate(); }),
              "Required symbol 2834 of log type CLEANUP_STATUS is missing");
    EXPECT_FALSE(event.IsValid());
    FillStatusEvent(*event.GetSymbols());
    event.GetSecondSymbols()->AddSymbol(1, "not a status symbol");  // never validated
    EXPECT_NO_THROW(event.Validate());
    EXPECT_TRUE(event.IsValid());

    CEventLog delta(Kernel::MessageTypeCleanupStatusDelta);
    FillStatusEvent(*delta.GetSymbols());
    delta.GetSymbols()->RemoveSymbol(2850);
    EXPECT_EQ(ErrorText<std::runtime_error>([&] { delta.Validate(); }),
              "Required symbol 2850 of log type CLEANUP_STATUS_DELTA is missing");
    EXPECT_FALSE(delta.IsValid());
}

TEST(CEventLog, EqualityComparesBothContainersOfTheSameType) {
    const auto make = [](Kernel::MessageType type, std::int64_t first, std::int64_t second) {
        boost::shared_ptr<CEventLog> message = boost::make_shared<CEventLog>(type);
        message->GetSymbols()->AddSymbol(2850, first);
        message->GetSecondSymbols()->AddSymbol(7, second);
        return message;
    };
    const boost::shared_ptr<CEventLog> base = make(Kernel::MessageTypeCleanupStatusEvent, 1, 2);
    const std::tuple<const char*, boost::shared_ptr<CEventLog>, bool> cases[] = {
        // other, equal
        {"same", make(Kernel::MessageTypeCleanupStatusEvent, 1, 2), true},
        {"other first", make(Kernel::MessageTypeCleanupStatusEvent, 9, 2), false},
        {"other second", make(Kernel::MessageTypeCleanupStatusEvent, 1, 9), false},
        {"other type", make(Kernel::MessageTypeCleanupStatusDelta, 1, 2), false},
    };
    for (const auto& [name, other, equal] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(base->Equals(*other), equal);
        EXPECT_EQ(other->Equals(*base), equal);
    }
    const boost::shared_ptr<CEventLog> frozen = make(Kernel::MessageTypeCleanupStatusEvent, 1, 2);
    frozen->SetReadOnly();
    EXPECT_TRUE(base->Equals(*frozen));
    // Another message class answering to an event log type.
    EXPECT_FALSE(base->Equals(Testing::CTestMessage(Kernel::MessageTypeCleanupStatusEvent, "X")));
}

TEST(CEventLog, SettersReplaceContainersUntilReadOnlyWhichLocksBoth) {
    CEventLog message(Kernel::MessageTypeCleanupStatusEvent);
    const ISymbolContainerPtr filled = boost::make_shared<CSymbolContainer>();
    FillStatusEvent(*filled);
    message.SetSymbols(filled);
    EXPECT_EQ(message.GetSymbols(), filled);
    for (const auto& set : {&CEventLog::SetSymbols, &CEventLog::SetSecondSymbols}) {
        EXPECT_EQ(ErrorText<std::invalid_argument>([&] { (message.*set)(ISymbolContainerPtr()); }),
                  "CEventLog: symbol container must not be null");
    }
    EXPECT_EQ(message.GetSymbols(), filled);
    message.GetSecondSymbols()->AddSymbol(5, true);

    static_cast<CWriteControl&>(message).SetReadOnly();
    message.SetReadOnly();  // a second freeze changes nothing
    EXPECT_TRUE(message.IsReadOnly() && message.IsValid());
    EXPECT_EQ(ErrorText<std::runtime_error>([&] { filled->AddSymbol(1, std::int64_t(1)); }),
              "Cannot add symbol 1: container is locked");
    EXPECT_EQ(
        ErrorText<std::runtime_error>([&] { message.GetSecondSymbols()->SetSymbol(5, false); }),
        "Cannot add symbol 5: container is locked");
    for (const auto& set : {&CEventLog::SetSymbols, &CEventLog::SetSecondSymbols}) {
        EXPECT_EQ(ErrorText<std::runtime_error>(
                      [&] { (message.*set)(boost::make_shared<CSymbolContainer>()); }),
                  "Message is read only");
    }
    EXPECT_EQ(message.GetSymbols(), filled);
    EXPECT_TRUE(message.GetSecondSymbols()->GetBool(5));
}

TEST(CEventLog, ReleasesTheSecondContainerFirstAndHandedOutOnesLiveOn) {
    std::vector<std::string> notes;
    // A container that notes its own release under `name`.
    const auto noting = [&notes](const char* name) {
        return ISymbolContainerPtr(new CSymbolContainer(), [&notes, name](CSymbolContainer* c) {
            notes.push_back(name);
            delete c;
        });
    };
    ISymbolContainerPtr kept;
    {
        CEventLog message(Kernel::MessageTypeCleanupStatusEvent);
        message.SetSymbols(noting("first"));
        message.SetSecondSymbols(noting("second"));
        EXPECT_TRUE(notes.empty());
    }
    EXPECT_EQ(notes, (std::vector<std::string>{"second", "first"}));

    notes.clear();
    {
        CEventLog message(Kernel::MessageTypeCleanupStatusEvent);
        message.SetSymbols(noting("first"));
        kept = message.GetSymbols();
    }
    EXPECT_TRUE(notes.empty());
    kept->AddSymbol(1, true);
    kept.reset();
    EXPECT_EQ(notes, (std::vector<std::string>{"first"}));
}

// A log message whose validation the test chooses.
class CNoteMessage : public CLogMessage {
public:
    Kernel::MessageType GetType() const override { return Kernel::MessageType(7); }
    std::string GetName() const override { return "Note"; }
    bool Equals(const Kernel::IMessage&) const override { return false; }
    void Validate() const override { validate(); }

    std::function<void()> validate = [] {};
};

TEST(CLogMessage, IsValidTurnsStandardExceptionsIntoFalse) {
    CNoteMessage message;
    EXPECT_TRUE(message.IsValid());
    message.validate = [] { throw std::runtime_error("bad note"); };
    EXPECT_FALSE(message.IsValid());
    message.validate = [] { throw std::out_of_range("note out of range"); };
    EXPECT_FALSE(message.IsValid());
    message.validate = [] { throw 42; };
    EXPECT_THROW(message.IsValid(), int);
}

}  // namespace
}  // namespace Kol::Common::Message::Logs
