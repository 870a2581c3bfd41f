#include "fuzz/SeedCorpus.h"

#include <cstdint>

#include <boost/date_time/gregorian/gregorian_types.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/make_shared.hpp>
#include <boost/uuid/uuid.hpp>

#include "framework/logs/CSymbolContainer.h"
#include "framework/logs/TimeConversion.h"
#include "framework/logs/UuidConversion.h"

namespace Kol {
namespace Fuzz {

namespace {

using boost::posix_time::ptime;
using Common::Logs::CSymbolContainer;

ptime Time(int year, int month, int day, int hour, int minute, int second, int micro) {
    return ptime(boost::gregorian::date(static_cast<unsigned short>(year),
                                        static_cast<unsigned short>(month),
                                        static_cast<unsigned short>(day)),
                 boost::posix_time::hours(hour) + boost::posix_time::minutes(minute) +
                     boost::posix_time::seconds(second) + boost::posix_time::microseconds(micro));
}

boost::uuids::uuid CountingUuid() {
    boost::uuids::uuid value;
    for (std::size_t i = 0; i < value.size(); ++i) {
        value.data[i] = static_cast<std::uint8_t>(i);
    }
    return value;
}

Common::DataDefinition::Common::Uuid UuidMessage(const std::string& text) {
    Common::DataDefinition::Common::Uuid message;
    message.set_uuid(text);
    return message;
}

std::string LittleEndian64(std::int64_t value) {
    std::string bytes(8, '\0');
    for (std::size_t i = 0; i < 8; ++i) {
        bytes[i] = static_cast<char>(static_cast<std::uint64_t>(value) >> (8 * i));
    }
    return bytes;
}

std::string LimitAndText(std::uint16_t limit, const std::string& text) {
    std::string bytes(1, static_cast<char>(limit & 0xFF));
    bytes += static_cast<char>(limit >> 8);
    return bytes + text;
}

// Named containers covering every kind, the status event's nine symbols and
// texts cut to their storage length.
std::vector<std::pair<std::string, boost::shared_ptr<CSymbolContainer>>> MakeContainers() {
    std::vector<std::pair<std::string, boost::shared_ptr<CSymbolContainer>>> containers;

    containers.emplace_back("empty", boost::make_shared<CSymbolContainer>());

    auto pair = boost::make_shared<CSymbolContainer>();
    pair->AddSymbol(2, std::int64_t{1}).AddSymbol(9, true);
    containers.emplace_back("int-and-bool", pair);

    auto kinds = boost::make_shared<CSymbolContainer>();
    kinds->AddSymbol(1, std::int64_t{-5})
        .AddSymbol(2, 3.25)
        .AddSymbol(3, std::string("text"))
        .AddResourceId(4, 508906757892866594LL)
        .AddSymbol(5, CountingUuid())
        .AddSymbol(6, Common::Logs::ToUtcTime(Time(2024, 2, 29, 12, 34, 56, 789012)))
        .AddSymbol(7, false)
        .AddBlob(8, std::string("\x00\x01\xff", 3));
    containers.emplace_back("every-kind", kinds);

    auto status = boost::make_shared<CSymbolContainer>();
    status->AddSymbol(2836, std::int32_t{1})
        .AddUuidText(2834, "6f1c2a9e-3b4d-4e5f-8a6b-7c8d9e0f1a2b")
        .AddSymbol(2838, Common::Logs::ToUtcTime(Time(2025, 1, 31, 23, 59, 59, 0)))
        .AddSymbol(2842, UuidMessage("11111111-1111-4111-8111-111111111111"))
        .AddSymbol(2846, UuidMessage("33333333-3333-4333-8333-333333333333"))
        .AddSymbol(2844, UuidMessage("22222222-2222-4222-8222-222222222222"))
        .AddResourceId(2848, -1)
        .AddResourceId(2853, 508906757892866594LL)
        .AddSymbol(2850, std::int64_t{20});
    containers.emplace_back("status-event", status);

    auto service = boost::make_shared<CSymbolContainer>();
    service->AddSymbol(2860, std::string(80, 's'))
        .AddSymbol(2862, std::int64_t{4})
        .AddSymbol(2864, Common::Logs::ToUtcTime(Time(1400, 1, 1, 0, 0, 0, 0)))
        .AddSymbol(2866, true)
        .AddSymbol(2868, std::string("Gr\xC3\xB6\xC3\x9F"
                                     "e \xE2\x82\xAC \xF0\x9F\x98\x80"))
        .AddSymbol(2874, std::string("Contoso Software Ltd"))
        .AddSymbol(2876, -0.0)
        .AddSymbol(2878, boost::uuids::uuid{});
    containers.emplace_back("service-texts", service);

    return containers;
}

}  // namespace

std::vector<Seed> MakeSeedCorpus() {
    std::vector<Seed> seeds;

    for (const auto& named : MakeContainers()) {
        const CSymbolContainer& container = *named.second;
        const std::size_t size = container.GetBinarySize();
        seeds.push_back(
            {"deserialize_binary", "seed-" + named.first, container.SerializeBinary(size)});
        std::string encoded;
        container.Serialize(encoded);
        seeds.push_back({"deserialize", "seed-" + named.first, encoded});
    }
    // A form cut inside its last record, and one with zero bytes behind it.
    const auto kinds = MakeContainers()[2].second;
    seeds.push_back({"deserialize_binary", "seed-every-kind-cut",
                     kinds->SerializeBinary(kinds->GetBinarySize() - 3)});
    seeds.push_back({"deserialize_binary", "seed-every-kind-padded",
                     kinds->SerializeBinary(kinds->GetBinarySize() + 8)});

    const std::string counting = Common::Logs::UuidToString(CountingUuid());
    seeds.push_back({"uuid_text", "seed-counting", counting});
    seeds.push_back({"uuid_text", "seed-nil", Common::Logs::UuidToString(boost::uuids::uuid{})});
    std::string braced = "{" + counting + "}";
    for (char& c : braced) {
        c = (c >= 'a' && c <= 'f') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    seeds.push_back({"uuid_text", "seed-braced-upper", braced});
    std::string plain;
    for (const char c : counting) {
        if (c != '-') {
            plain += c;
        }
    }
    seeds.push_back({"uuid_text", "seed-no-dashes", plain});

    const std::pair<const char*, ptime> times[] = {
        {"epoch", Time(1970, 1, 1, 0, 0, 0, 0)},
        {"leap-day-fraction", Time(2024, 2, 29, 12, 34, 56, 789012)},
        {"first", Time(1400, 1, 1, 0, 0, 0, 0)},
        {"last", Time(9999, 12, 31, 23, 59, 59, 999999)},
    };
    for (const auto& named : times) {
        seeds.push_back(
            {"utc_time", std::string("seed-fields-") + named.first,
             std::string(1, '\0') + Common::Logs::ToUtcTime(named.second).SerializeAsString()});
        seeds.push_back(
            {"utc_time", std::string("seed-ticks-") + named.first,
             std::string(1, '\1') + LittleEndian64(Common::Logs::TimeToTicks(named.second))});
    }
    Common::DataDefinition::Common::UTCTime unusual;
    unusual.set_year(2023);
    unusual.set_month(12);
    unusual.set_day(31);
    unusual.set_hour(25);
    unusual.set_minute(-1);
    unusual.set_second(61);
    unusual.set_nanos(1500);
    seeds.push_back({"utc_time", "seed-fields-out-of-range",
                     std::string(1, '\0') + unusual.SerializeAsString()});
    const std::pair<const char*, ptime> specials[] = {
        {"not-a-date-time", ptime(boost::posix_time::not_a_date_time)},
        {"pos-infinity", ptime(boost::posix_time::pos_infin)},
        {"neg-infinity", ptime(boost::posix_time::neg_infin)},
    };
    for (const auto& named : specials) {
        seeds.push_back(
            {"utc_time", std::string("seed-ticks-") + named.first,
             std::string(1, '\1') + LittleEndian64(Common::Logs::TimeToTicks(named.second))});
    }

    seeds.push_back({"truncate_utf8", "seed-ascii", LimitAndText(10, "abcdefghijklmnopqrst")});
    seeds.push_back({"truncate_utf8", "seed-three-byte-at-cut",
                     LimitAndText(10,
                                  "abcde\xE2\x82\xAC"
                                  "fghij")});
    seeds.push_back({"truncate_utf8", "seed-mixed",
                     LimitAndText(16,
                                  "Gr\xC3\xB6\xC3\x9F"
                                  "e \xF0\x9F\x98\x80 und mehr Text")});
    seeds.push_back(
        {"truncate_utf8", "seed-bad-byte-after-cut", LimitAndText(6, "abcdefgh\x80ij")});
    seeds.push_back({"truncate_utf8", "seed-limit-two", LimitAndText(2, "\xC3\xA9tude")});
    seeds.push_back({"truncate_utf8", "seed-long", LimitAndText(300, std::string(400, 'x'))});
    return seeds;
}

}  // namespace Fuzz
}  // namespace Kol
