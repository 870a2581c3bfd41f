#pragma once

// Small text and error helpers shared by the fuzz checks.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>
#include <typeinfo>

namespace Kol {
namespace Fuzz {

inline bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

inline bool EndsWith(const std::string& text, const std::string& suffix) {
    return text.size() >= suffix.size() &&
           text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

inline bool IsSignedDecimal(const std::string& text) {
    std::size_t i = text.size() > 1 && text[0] == '-' ? 1 : 0;
    if (i == text.size()) {
        return false;
    }
    for (; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return false;
        }
    }
    return true;
}

inline std::string Describe(const std::exception& error) {
    return std::string(typeid(error).name()) + " \"" + error.what() + "\"";
}

inline bool IsPlainRuntimeError(const std::exception& error) {
    return typeid(error) == typeid(std::runtime_error);
}

inline bool IsUtf8Error(const std::string& text) {
    return text == "Invalid utf8 leading byte" ||
           text == "Utf8 character cannot have more than 6 characters";
}

inline bool IsDateError(const std::exception& error) {
    if (dynamic_cast<const std::out_of_range*>(&error) == nullptr) {
        return false;
    }
    const std::string text = error.what();
    return text == "Day of month value is out of range 1..31" ||
           text == "Month number is out of range 1..12" ||
           text == "Year is out of valid range: 1400..9999" ||
           text == "Day of month is not valid for year";
}

inline bool IsYearError(const std::exception& error) {
    return dynamic_cast<const std::out_of_range*>(&error) != nullptr &&
           std::string(error.what()) == "Year is out of valid range: 1400..9999";
}

inline std::string ToText(const std::uint8_t* data, std::size_t size) {
    return size == 0 ? std::string() : std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace Fuzz
}  // namespace Kol
