#include "framework/message/CLogMessage.h"

#include <exception>

namespace Kol {
namespace Common {
namespace Message {

CLogMessage::~CLogMessage() = default;

bool CLogMessage::IsValid() const {
    try {
        Validate();
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

}  // namespace Message
}  // namespace Common
}  // namespace Kol
