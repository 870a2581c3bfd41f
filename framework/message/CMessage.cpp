#include "framework/message/CMessage.h"

namespace Kol {
namespace Common {
namespace Message {

CMessage::~CMessage() = default;

}  // namespace Message
}  // namespace Common
}  // namespace Kol
