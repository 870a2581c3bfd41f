#include "host/cli/CHelpText.h"

#include <algorithm>

#include "host/cli/COperationCatalog.h"

namespace Kol {
namespace Host {

std::string CHelpText::Wrap(std::string label, const std::string& text, std::size_t column) {
    std::string out;
    std::string line = label;
    if (line.size() + 2 > column) {
        out += line + "\n";
        line.clear();
    }
    line.resize(column, ' ');
    std::size_t at = 0;
    bool first = true;
    while (at < text.size()) {
        std::size_t end = text.find(' ', at);
        end = end == std::string::npos ? text.size() : end;
        const std::string word = text.substr(at, end - at);
        if (!first && line.size() + 1 + word.size() > kWidth) {
            out += line + "\n";
            line = std::string(column, ' ') + word;
        } else {
            line += (first ? "" : " ") + word;
        }
        first = false;
        at = end + 1;
    }
    return out + line + "\n";
}

std::string CHelpText::OperationTable() {
    std::size_t nameWidth = 0;
    for (const COperationCatalog::Operation& operation : COperationCatalog::All()) {
        nameWidth = std::max(nameWidth, operation.name.size());
    }
    std::string text;
    for (const COperationCatalog::Operation& operation : COperationCatalog::All()) {
        std::string label = std::to_string(operation.number);
        label = std::string(4 - label.size(), ' ') + label + "  " + operation.name;
        label.resize(6 + nameWidth + 2, ' ');
        text += Wrap(label + operation.enumeration, operation.effect, 8);
    }
    return text;
}

}  // namespace Host
}  // namespace Kol
