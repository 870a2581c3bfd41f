#include "host/kernel/CHostLogger.h"

#include <sys/stat.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "host/store/CUnits.h"

namespace Kol {
namespace Host {

CHostLogger::CHostLogger(std::ostream& out, std::int32_t threshold, const Observer& observer)
    : m_out(out), m_threshold(threshold), m_observer(observer), m_journal(IsJournal(out)) {}

void CHostLogger::SetLogLevel(std::int32_t level) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_threshold = level;
}

void CHostLogger::Log(const std::string& text, std::int32_t level, const std::string& moduleName) {
    try {
        std::string line;
        if (m_journal) {
            line = JournalPrefix(level);
        } else {
            std::timespec now{};
            std::timespec_get(&now, TIME_UTC);
            line = CUnits::Time(now) + " ";
        }
        line += LevelName(level) + " " + Escape(moduleName) + ": " + Escape(text) + "\n";
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (level >= m_threshold) {
                m_out << line << std::flush;
            }
        }
        if (m_observer) {
            m_observer(text, level, moduleName);
        }
    } catch (...) {
        // A logger must never take its caller down.
    }
}

void CHostLogger::Flush() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_out.flush();
}

std::int32_t CHostLogger::GetLogLevel() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_threshold;
}

std::string CHostLogger::LevelName(std::int32_t level) {
    switch (level) {
        case 1:
            return "DEBUG";
        case 2:
            return "INFO";
        case 3:
            return "WARNING";
        case 4:
            return "ERROR";
        default:
            return "LEVEL" + std::to_string(level);
    }
}

bool CHostLogger::IsJournal(const std::ostream& out) {
    const int fd = &out == &std::cout ? 1 : &out == &std::cerr ? 2 : -1;
    const char* stream = std::getenv("JOURNAL_STREAM");
    std::uintmax_t device = 0;
    std::uintmax_t inode = 0;
    char end = 0;
    if (fd < 0 || stream == nullptr ||
        std::sscanf(stream, "%" SCNuMAX ":%" SCNuMAX "%c", &device, &inode, &end) != 2) {
        return false;
    }
    struct stat status {};
    return ::fstat(fd, &status) == 0 && static_cast<std::uintmax_t>(status.st_dev) == device &&
           static_cast<std::uintmax_t>(status.st_ino) == inode;
}

std::string CHostLogger::JournalPrefix(std::int32_t level) {
    switch (level) {
        case 1:
            return "<7>";
        case 3:
            return "<4>";
        case 4:
            return "<3>";
        default:
            return "<6>";
    }
}

std::string CHostLogger::ErrorPrefix(const std::ostream& stream) {
    return IsJournal(stream) ? JournalPrefix(4) : std::string();
}

namespace {

// The length of the valid UTF-8 sequence at `at` (lead byte 0x80 or more),
// 0 when there is none: no overlong forms, surrogates or values past U+10FFFF.
std::size_t Utf8Length(const std::string& text, std::size_t at) {
    const unsigned char lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead >= 0xc2 && lead <= 0xdf   ? 2
                               : lead >= 0xe0 && lead <= 0xef ? 3
                               : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                              : 0;
    if (length == 0 || at + length > text.size()) {
        return 0;
    }
    const unsigned char second = static_cast<unsigned char>(text[at + 1]);
    const unsigned char low = lead == 0xe0 ? 0xa0 : lead == 0xf0 ? 0x90 : 0x80;
    const unsigned char high = lead == 0xed ? 0x9f : lead == 0xf4 ? 0x8f : 0xbf;
    if (second < low || second > high) {
        return 0;
    }
    for (std::size_t k = 2; k < length; ++k) {
        const unsigned char next = static_cast<unsigned char>(text[at + k]);
        if (next < 0x80 || next > 0xbf) {
            return 0;
        }
    }
    return length;
}

}  // namespace

std::string CHostLogger::Escape(const std::string& text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        char code[8];
        if (c == '\n' || c == '\r' || c == '\t') {
            escaped += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            std::snprintf(code, sizeof code, "\\x%02x", c);
            escaped += code;
        } else if (c == 0xc2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
            // UTF-8 of U+0080 to U+009F: terminals take these as controls too.
            std::snprintf(code, sizeof code, "\\u%04x", static_cast<unsigned char>(text[++i]));
            escaped += code;
        } else if (c < 0x80) {
            escaped += static_cast<char>(c);
        } else if (const std::size_t length = Utf8Length(text, i)) {
            escaped.append(text, i, length);
            i += length - 1;
        } else {
            // Not UTF-8: shown as its byte, never passed on raw.
            std::snprintf(code, sizeof code, "\\x%02x", c);
            escaped += code;
        }
    }
    return escaped;
}

}  // namespace Host
}  // namespace Kol
