#pragma once

#include <cstddef>
#include <string>

namespace Kol {
namespace Host {

// The layout of the --help text (CCommandLine::Usage): lines of at most
// kWidth columns, an option's text starting at kTextColumn.
//
// Pure functions; any thread; they throw only std::bad_alloc.
class CHelpText {
public:
    static const std::size_t kWidth = 80;
    static const std::size_t kTextColumn = 30;

    // `text` wrapped into lines of kWidth columns that start at `column`,
    // after `label` (on a line of its own when it reaches into the text).
    static std::string Wrap(std::string label, const std::string& text,
                            std::size_t column = kTextColumn);
    // Two lines per operation: its number, the dashed name of the host's
    // lines and the enumeration name of the module's lines; below them what
    // it does.
    static std::string OperationTable();

    CHelpText() = delete;
};

}  // namespace Host
}  // namespace Kol
