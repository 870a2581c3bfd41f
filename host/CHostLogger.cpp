#include "host/CHostLogger.h"

#include <cstdio>

namespace Kol {
namespace Host {

CHostLogger::CHostLogger(std::ostream& out, std::int32_t threshold, const Observer& observer)
    : m_out(out), m_threshold(threshold), m_observer(observer) {}

void CHostLogger::SetLogLevel(std::int32_t level) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_threshold = level;
}

void CHostLogger::Log(const std::string& text, std::int32_t level, const std::string& moduleName) {
    try {
        std::timespec now{};
        std::timespec_get(&now, TIME_UTC);
        const std::string line =
            FormatTime(now) + " " + LevelName(level) + " " + moduleName + ": " + text + "\n";
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

std::string CHostLogger::FormatTime(const std::timespec& time) {
    std::tm parts{};
    gmtime_r(&time.tv_sec, &parts);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                  static_cast<int>(time.tv_nsec / 1000000));
    return text;
}

}  // namespace Host
}  // namespace Kol
