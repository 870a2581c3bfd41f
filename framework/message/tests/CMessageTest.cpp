#include <functional>
#include <stdexcept>
#include <string>

#include <gtest/gtest.h>

#include "framework/message/CLogMessage.h"

namespace Kol::Common::Message {
namespace {

// A log message whose validation the test chooses.
class CNoteMessage : public CLogMessage {
public:
    Kernel::MessageType GetType() const override { return Kernel::MessageType(7); }
    std::string GetName() const override { return "Note"; }
    bool Equals(const Kernel::IMessage&) const override { return false; }
    void Validate() const override { validate(); }

    std::function<void()> validate = [] {};
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
    EXPECT_TRUE(message.IsValid());
    message.validate = [] { throw std::runtime_error("bad note"); };
    EXPECT_FALSE(message.IsValid());
    message.validate = [] { throw std::out_of_range("note out of range"); };
    EXPECT_FALSE(message.IsValid());
    message.validate = [] { throw 42; };
    EXPECT_THROW(message.IsValid(), int);
}

}  // namespace
}  // namespace Kol::Common::Message
