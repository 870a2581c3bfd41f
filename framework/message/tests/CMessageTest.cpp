#include <stdexcept>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "framework/message/CLogMessage.h"

namespace Kol {
namespace Common {
namespace Message {
namespace {

// A log message whose validation outcome the test chooses.
class CNoteMessage : public CLogMessage {
public:
    enum Outcome { Conforms, RuntimeError, OutOfRange, NotStd };

    Kernel::MessageType GetType() const override { return Kernel::MessageType(7); }
    std::string GetName() const override { return "Note"; }
    bool Equals(const Kernel::IMessage&) const override { return false; }
    void Validate() const override {
        if (m_outcome == RuntimeError) {
            throw std::runtime_error("bad note");
        }
        if (m_outcome == OutOfRange) {
            throw std::out_of_range("note out of range");
        }
        if (m_outcome == NotStd) {
            throw 42;
        }
    }

    Outcome m_outcome = Conforms;
};

TEST(CWriteControl, FreezesOnceAndRefusesLaterWrites) {
    CNoteMessage message;
    CWriteControl& control = message;
    EXPECT_FALSE(control.IsReadOnly());
    EXPECT_NO_THROW(control.CheckWritable());
    control.SetReadOnly();
    control.SetReadOnly();
    EXPECT_TRUE(message.IsReadOnly());
    try {
        control.CheckWritable();
        FAIL() << "a write to a read-only message was allowed";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Message is read only");
    }
}

TEST(CLogMessage, IsValidTurnsStandardExceptionsIntoFalse) {
    CNoteMessage message;
    const std::pair<CNoteMessage::Outcome, bool> cases[] = {
        {CNoteMessage::Conforms, true},
        {CNoteMessage::RuntimeError, false},
        {CNoteMessage::OutOfRange, false},
    };
    for (const auto& c : cases) {
        message.m_outcome = c.first;
        EXPECT_EQ(message.IsValid(), c.second) << c.first;
    }
    message.m_outcome = CNoteMessage::NotStd;
    EXPECT_THROW(message.IsValid(), int);
}

}  // namespace
}  // namespace Message
}  // namespace Common
}  // namespace Kol
