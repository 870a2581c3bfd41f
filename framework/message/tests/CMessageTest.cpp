#include <stdexcept>
#include <string>

#include <gtest/gtest.h>
#include <boost/make_shared.hpp>

#include "framework/message/CLogMessage.h"

namespace Kol {
namespace Common {
namespace Message {
namespace {

// A log message with one text field, whose validation outcome is chosen by
// the test.
class CNoteMessage : public CLogMessage {
public:
    enum Outcome { Conforms, RuntimeError, OutOfRange, NotStd };

    explicit CNoteMessage(Kernel::MessageType type) : m_type(type) {}

    Kernel::MessageType GetType() const override { return m_type; }
    std::string GetName() const override { return "Note"; }
    bool Equals(const Kernel::IMessage& other) const override {
        if (other.GetType() != GetType()) {
            return false;
        }
        return static_cast<const CNoteMessage&>(other).m_text == m_text;
    }
    void Validate() const override {
        switch (m_outcome) {
            case Conforms:
                return;
            case RuntimeError:
                throw std::runtime_error("bad note");
            case OutOfRange:
                throw std::out_of_range("note out of range");
            case NotStd:
                throw 42;
        }
    }

    void SetText(const std::string& text) {
        CheckWritable();
        m_text = text;
    }
    const std::string& GetText() const { return m_text; }
    void SetOutcome(Outcome outcome) { m_outcome = outcome; }

private:
    Kernel::MessageType m_type;
    std::string m_text;
    Outcome m_outcome = Conforms;
};

TEST(CWriteControl, FreezesOnceAndRefusesLaterWrites) {
    boost::shared_ptr<CNoteMessage> message =
        boost::make_shared<CNoteMessage>(Kernel::MessageType(7));
    CWriteControl& control = *message;
    EXPECT_FALSE(control.IsReadOnly());
    EXPECT_NO_THROW(control.CheckWritable());
    message->SetText("first");

    control.SetReadOnly();
    EXPECT_TRUE(message->IsReadOnly());
    try {
        message->SetText("second");
        FAIL() << "a write to a read-only message was accepted";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Message is read only");
    }
    EXPECT_EQ(message->GetText(), "first");

    control.SetReadOnly();
    EXPECT_TRUE(control.IsReadOnly());
    EXPECT_THROW(control.CheckWritable(), std::runtime_error);
}

TEST(CLogMessage, IsValidTurnsStandardExceptionsIntoFalse) {
    CNoteMessage message(Kernel::MessageType(7));
    const struct {
        CNoteMessage::Outcome outcome;
        bool valid;
    } cases[] = {
        {CNoteMessage::Conforms, true},
        {CNoteMessage::RuntimeError, false},
        {CNoteMessage::OutOfRange, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.outcome);
        message.SetOutcome(c.outcome);
        EXPECT_EQ(message.IsValid(), c.valid);
    }
    message.SetOutcome(CNoteMessage::NotStd);
    EXPECT_THROW(message.IsValid(), int);
}

TEST(CMessage, EqualsIsFalseForAnotherTypeWithTheSameFields) {
    CNoteMessage a(Kernel::MessageType(7));
    CNoteMessage b(Kernel::MessageType(7));
    CNoteMessage c(Kernel::MessageType(-7));
    a.SetText("same");
    b.SetText("same");
    c.SetText("same");
    EXPECT_TRUE(a.Equals(b));
    EXPECT_FALSE(a.Equals(c));
    EXPECT_FALSE(c.Equals(a));
    b.SetReadOnly();
    EXPECT_TRUE(a.Equals(b));  // the read-only state is not content
}

}  // namespace
}  // namespace Message
}  // namespace Common
}  // namespace Kol
