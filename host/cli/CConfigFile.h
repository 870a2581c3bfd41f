#pragma once

#include <cstddef>
#include <string>

namespace Kol {
namespace Host {

// The text of a configuration file and where each of its keys is, so that a
// mistake in it is told as "FILE:LINE: ...". The lines are read as
// Boost.Program_options reads them: blanks and what follows a '#' are
// nothing, "[section]" prefixes the keys below it with "section.", and every
// other line is "key = value".
//
// Immutable once made; thread-safe.
class CConfigFile {
public:
    // Reads `path`. Throws std::invalid_argument "--config: <path> is not a
    // regular file" or "--config: cannot read <path>". A byte order mark, as
    // some editors write, is dropped.
    explicit CConfigFile(const std::string& path);

    const std::string& Path() const { return m_path; }
    const std::string& Text() const { return m_text; }

    // "PATH:LINE: " of the line that sets `key` for the `occurrence`-th time
    // (counting from 0); with an empty `key`, of the first line that is no
    // "key = value", blank, comment or section. "PATH: " when there is none.
    std::string Where(const std::string& key, std::size_t occurrence = 0) const;

private:
    std::string m_path;
    std::string m_text;
};

}  // namespace Host
}  // namespace Kol
