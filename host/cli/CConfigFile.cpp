#include "host/cli/CConfigFile.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace Kol {
namespace Host {

namespace {

const char* const kByteOrderMark = "\xef\xbb\xbf";
const char* const kBlanks = " \t\r\n";

std::string Trimmed(const std::string& text) {
    const std::string::size_type first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

}  // namespace

CConfigFile::CConfigFile(const std::string& path) : m_path(path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        throw std::invalid_argument("--config: " + path + " is not a regular file");
    }
    std::ifstream file(path);
    if (!file) {
        throw std::invalid_argument("--config: cannot read " + path);
    }
    m_text.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (m_text.compare(0, 3, kByteOrderMark) == 0) {
        m_text.erase(0, 3);
    }
}

std::string CConfigFile::Where(const std::string& key, std::size_t occurrence) const {
    std::istringstream lines(m_text);
    std::string prefix;
    std::size_t number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        line = Trimmed(line.substr(0, line.find('#')));
        if (line.empty()) {
            continue;
        }
        if (line.front() == '[' && line.back() == ']') {
            prefix = line.substr(1, line.size() - 2) + ".";
            continue;
        }
        const std::string::size_type equals = line.find('=');
        const bool found = key.empty() ? equals == std::string::npos
                                       : equals != std::string::npos &&
                                             prefix + Trimmed(line.substr(0, equals)) == key &&
                                             occurrence-- == 0;
        if (found) {
            return m_path + ":" + std::to_string(number) + ": ";
        }
    }
    return m_path + ": ";
}

}  // namespace Host
}  // namespace Kol
