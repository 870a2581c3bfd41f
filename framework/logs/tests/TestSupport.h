#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <boost/algorithm/hex.hpp>

#include "contracts/datadefinition/Common.pb.h"
#include "contracts/logs/ISymbolContainer.h"

namespace Kol::Common::Logs::Test {

const char kUuidText[] = "00010203-0405-0607-0809-0a0b0c0d0e0f";

// The text of the `Exception` that `action` throws, or "<no exception>".
// Other exception types propagate, so a wrong type fails the test.
template <typename Exception, typename Action>
std::string ErrorText(Action&& action) {
    try {
        std::forward<Action>(action)();
    } catch (const Exception& e) {
        return e.what();
    }
    return "<no exception>";
}

// Lower-case hex of `bytes`, two digits per byte, no separators.
inline std::string Hex(const std::string& bytes) {
    return boost::algorithm::hex_lower(bytes);
}

// The bytes of a hex text; spaces are ignored.
inline std::string Bytes(std::string hex) {
    hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end());
    return boost::algorithm::unhex(hex);
}

// The identifiers of `container` in insertion order.
inline std::vector<std::int32_t> Ids(const ISymbolContainer& container) {
    std::vector<std::int32_t> ids;
    for (std::size_t i = 0; i < container.GetSymbolCount(); ++i) {
        ids.push_back(container.GetSymbolIdAt(i));
    }
    return ids;
}

inline DataDefinition::Common::UTCTime MakeUtcTime(int year, int month, int day, int hour = 0,
                                                   int minute = 0, int second = 0) {
    DataDefinition::Common::UTCTime time;
    time.set_year(year);
    time.set_month(month);
    time.set_day(day);
    time.set_hour(hour);
    time.set_minute(minute);
    time.set_second(second);
    return time;
}

// One symbol of each kind under identifiers 1, 2, 3, 4, -5, 6, 7, 8; its
// binary form is 130 bytes long.
inline void FillEveryKind(ISymbolContainer& container) {
    container.AddSymbol(1, std::int64_t(-5))
        .AddSymbol(2, "abc")
        .AddUuidText(3, kUuidText)
        .AddSymbol(4, true)
        .AddBlob(-5, std::string("x\0", 2))
        .AddSymbol(6, MakeUtcTime(1970, 1, 1))
        .AddSymbol(7, 2.5)
        .AddResourceId(8, 77);
}

// The nine symbols of a cleanup status event.
inline void FillStatusEvent(ISymbolContainer& container) {
    container.AddSymbol(2836, std::int32_t(2))
        .AddUuidText(2834, kUuidText)
        .AddCurrentTime(2838)
        .AddUuidText(2842, kUuidText)
        .AddUuidText(2846, kUuidText)
        .AddUuidText(2844, kUuidText)
        .AddResourceId(2848, 1)
        .AddResourceId(2853, 2)
        .AddSymbol(2850, std::int32_t(20));
}

}  // namespace Kol::Common::Logs::Test
