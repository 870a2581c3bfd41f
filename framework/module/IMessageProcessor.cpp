#include "framework/module/IMessageProcessor.h"

namespace Kol {
namespace Common {
namespace Module {

IMessageProcessor::~IMessageProcessor() = default;

}  // namespace Module
}  // namespace Common
}  // namespace Kol
