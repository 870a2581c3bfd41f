#include "framework/logs/TextTruncation.h"

#include <stdexcept>

#include "contracts/logs/CLogDescriptorMap.h"

namespace Kol {
namespace Common {
namespace Logs {

std::string TruncateUtf8(const std::string& text, std::size_t limit) {
    if (text.size() < limit) {
        return text;
    }
    // For limits below 3 the subtraction wraps, so only p < limit stops the
    // walk; text.size() >= limit keeps every p read inside the text.
    const std::size_t last = limit - 3;
    std::size_t cut = 0;
    std::size_t p = 0;
    while (p < limit) {
        if (p > last) {
            break;
        }
        cut = p;
        const unsigned char b = static_cast<unsigned char>(text[p]);
        if (b < 0x80) {
            p += 1;
        } else if ((b & 0xC0) != 0xC0) {
            throw std::runtime_error("Invalid utf8 leading byte");
        } else {
            std::size_t n = 0;
            for (unsigned char mask = 0x80; mask != 0 && (b & mask) != 0; mask >>= 1) {
                ++n;
            }
            if (n > 6) {
                throw std::runtime_error("Utf8 character cannot have more than 6 characters");
            }
            p += n;
        }
    }
    std::string result;
    result.reserve(cut + 3);
    result.append(text, 0, cut);
    result.append("...");
    return result;
}

void TruncateToOtlLength(std::string& text, std::int32_t id) {
    const CLogDescriptorMap& map = CLogDescriptorMap::Instance();
    if (!map.HasSymbol(id)) {
        return;
    }
    const CLogDescriptorPtr log = map.GetLogDescriptor(map.GetLogTypeBySymbol(id));
    const CSymbolDescriptorPtr symbol = log->GetSymbolDescriptor(id);
    if (!symbol) {
        // A symbol the map reports without a descriptor has no known limit.
        return;
    }
    const std::int32_t limit = static_cast<std::int32_t>(symbol->GetOtlLength());
    if (limit >= 1 && static_cast<std::size_t>(limit) < text.size()) {
        text = TruncateUtf8(text, static_cast<std::size_t>(limit));
    }
}

}  // namespace Logs
}  // namespace Common
}  // namespace Kol
