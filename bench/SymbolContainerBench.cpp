// Costs of the symbol container's serialised forms, its copy and its typed
// getters, for a container shaped like the cleanup status event (9 symbols)
// and a 64-symbol container of every kind; the bulk loads also for 100,000
// symbols of every kind, and both readers for 10,000 and 100,000 integer
// symbols under scattered identifiers. References: memcpy of the binary form's size for
// the writer, a stand-alone packed reader of the same bytes for the reader.

#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/uuid/uuid.hpp>

#include <benchmark/benchmark.h>

#include "framework/logs/CSymbolContainer.h"

namespace {

using Kol::Common::Logs::CSymbolContainer;
using Kol::Common::Logs::ISymbolContainer;
using Kol::Common::Logs::SymbolKind;

const char kUuidText[] = "5f0c1d2e-3a4b-4c5d-8e9f-0a1b2c3d4e5f";

CSymbolContainer MakeStatusEvent() {
    CSymbolContainer container;
    container.AddSymbol(2836, std::int64_t(2))
        .AddUuidText(2834, kUuidText)
        .AddCurrentTime(2838)
        .AddUuidText(2842, kUuidText)
        .AddUuidText(2846, kUuidText)
        .AddUuidText(2844, kUuidText)
        .AddResourceId(2848, 123456789)
        .AddResourceId(2853, 987654321)
        .AddSymbol(2850, std::int64_t(20));
    return container;
}

// `count` symbols (a multiple of 8), the eight kinds in turn.
CSymbolContainer MakeMixed(std::int32_t count) {
    CSymbolContainer container;
    Kol::Common::DataDefinition::Common::UTCTime time;
    time.set_year(2024);
    time.set_month(5);
    time.set_day(6);
    time.set_hour(7);
    time.set_minute(8);
    time.set_second(9);
    time.set_nanos(123000);
    for (std::int32_t i = 0; i < count / 8; ++i) {
        const std::int32_t base = 1000 + i * 8;
        container.AddBlob(base, std::string(32, static_cast<char>('a' + i % 8)))
            .AddSymbol(base + 1, std::int64_t(i) * 1000003)
            .AddSymbol(base + 2, i * 0.25)
            .AddSymbol(base + 3, "symbol text number " + std::to_string(i))
            .AddResourceId(base + 4, 5000000000LL + i)
            .AddSymbol(base + 5, time)
            .AddUuidText(base + 6, kUuidText)
            .AddSymbol(base + 7, i % 2 == 0);
    }
    return container;
}

CSymbolContainer MakeMixed64() {
    return MakeMixed(64);
}

CSymbolContainer MakeMixed100k() {
    return MakeMixed(100000);
}

// `count` integer symbols under distinct identifiers spread over the whole
// 32-bit range in no particular order (an odd multiplier permutes them), so
// that no reader can profit from ascending or dense identifiers.
CSymbolContainer MakeScattered(std::int32_t count) {
    CSymbolContainer container;
    for (std::int32_t i = 0; i < count; ++i) {
        const std::uint32_t id = static_cast<std::uint32_t>(i + 1) * 2654435761u;
        container.AddSymbol(static_cast<std::int32_t>(id), std::int64_t(i));
    }
    return container;
}

CSymbolContainer MakeScattered10k() {
    return MakeScattered(10000);
}

CSymbolContainer MakeScattered100k() {
    return MakeScattered(100000);
}

typedef CSymbolContainer (*Maker)();

// The caller's size is computed once, as a sender that knows its size would;
// BM_GetBinarySize gives the cost of computing it.
void BM_SerializeBinary(benchmark::State& state, Maker make) {
    const CSymbolContainer container = make();
    const std::size_t size = container.GetBinarySize();
    for (auto _ : state) {
        std::string bytes = container.SerializeBinary(size);
        benchmark::DoNotOptimize(bytes.data());
    }
    state.counters["bytes"] = static_cast<double>(size);
}

void BM_GetBinarySize(benchmark::State& state, Maker make) {
    const CSymbolContainer container = make();
    for (auto _ : state) {
        benchmark::DoNotOptimize(container.GetBinarySize());
    }
}

void BM_DeserializeBinary(benchmark::State& state, Maker make) {
    const CSymbolContainer source = make();
    const std::string bytes = source.SerializeBinary(source.GetBinarySize());
    for (auto _ : state) {
        CSymbolContainer container;
        container.DeserializeBinary(bytes);
        benchmark::DoNotOptimize(container.GetSymbolCount());
    }
}

// The reference reader: the same bytes into the same storage (an identifier
// array and one word per value, the texts, blobs and UUIDs on the heap), with
// the bounds checks but without the container's rules (duplicates, text
// lengths, error texts).
struct PackedValue {
    std::uint32_t code;
    std::uint64_t word;
    std::unique_ptr<std::string> bytes;
    std::unique_ptr<boost::uuids::uuid> id;
};

struct PackedSymbols {
    std::vector<std::int32_t> ids;
    std::vector<PackedValue> values;
};

void Need(const char* p, const char* end, std::size_t count) {
    if (static_cast<std::size_t>(end - p) < count) {
        throw std::runtime_error("cut short");
    }
}

std::uint32_t Load32(const char* p) {
    std::uint32_t value;
    std::memcpy(&value, p, 4);
    return value;
}

void ReadPacked(const std::string& bytes, PackedSymbols& out) {
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    Need(p, end, 4);
    const std::size_t count = Load32(p);
    p += 4;
    Need(p, end, 4 * count);
    out.ids.resize(count);
    std::memcpy(out.ids.data(), p, 4 * count);
    p += 4 * count;
    out.values.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        Need(p, end, 4);
        PackedValue value{Load32(p), 0, nullptr, nullptr};
        p += 4;
        if (value.code == 3 || value.code == 8) {
            Need(p, end, 4);
            const std::size_t size = Load32(p);
            Need(p + 4, end, size);
            value.bytes.reset(new std::string(p + 4, size));
            p += 4 + size;
        } else if (value.code == 5) {
            Need(p, end, 16);
            value.id.reset(new boost::uuids::uuid);
            std::memcpy(value.id->data, p, 16);
            p += 16;
        } else {
            const std::size_t size = value.code == 7 ? 1 : 8;
            Need(p, end, size);
            std::memcpy(&value.word, p, size);
            p += size;
        }
        out.values.push_back(std::move(value));
    }
}

void BM_PackedReader(benchmark::State& state, Maker make) {
    const CSymbolContainer source = make();
    const std::string bytes = source.SerializeBinary(source.GetBinarySize());
    for (auto _ : state) {
        PackedSymbols symbols;
        ReadPacked(bytes, symbols);
        benchmark::DoNotOptimize(symbols.values.data());
    }
}

void BM_Serialize(benchmark::State& state, Maker make) {
    const CSymbolContainer container = make();
    std::string out;
    for (auto _ : state) {
        container.Serialize(out);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["bytes"] = static_cast<double>(out.size());
}

void BM_Deserialize(benchmark::State& state, Maker make) {
    const CSymbolContainer source = make();
    std::string bytes;
    source.Serialize(bytes);
    for (auto _ : state) {
        CSymbolContainer container;
        container.Deserialize(bytes);
        benchmark::DoNotOptimize(container.GetSymbolCount());
    }
}

void BM_Clone(benchmark::State& state, Maker make) {
    const CSymbolContainer container = make();
    for (auto _ : state) {
        boost::shared_ptr<ISymbolContainer> copy = container.Clone();
        benchmark::DoNotOptimize(copy.get());
    }
}

// Reads every symbol through the typed getter of its kind.
void BM_TypedGetterWalk(benchmark::State& state, Maker make) {
    const CSymbolContainer container = make();
    std::vector<std::pair<std::int32_t, SymbolKind>> symbols;
    for (std::size_t i = 0; i < container.GetSymbolCount(); ++i) {
        const std::int32_t id = container.GetSymbolIdAt(i);
        SymbolKind kind = SymbolKind::Blob;
        const auto data = container.GetSymbolDataAt(i);
        if (data.val_int_size())
            kind = SymbolKind::Int;
        if (data.val_double_size())
            kind = SymbolKind::Double;
        if (data.val_string_size())
            kind = SymbolKind::String;
        if (data.val_res_id_size())
            kind = SymbolKind::ResId;
        if (data.val_time_date_size())
            kind = SymbolKind::TimeDate;
        if (data.val_uuid_size())
            kind = SymbolKind::Uuid;
        if (data.val_bool_size())
            kind = SymbolKind::Bool;
        symbols.emplace_back(id, kind);
    }
    for (auto _ : state) {
        for (const auto& symbol : symbols) {
            switch (symbol.second) {
                case SymbolKind::Blob:
                    benchmark::DoNotOptimize(container.GetBlob(symbol.first).size());
                    break;
                case SymbolKind::Int:
                    benchmark::DoNotOptimize(container.GetInt64(symbol.first));
                    break;
                case SymbolKind::Double:
                    benchmark::DoNotOptimize(container.GetDouble(symbol.first));
                    break;
                case SymbolKind::String:
                    benchmark::DoNotOptimize(container.GetString(symbol.first).size());
                    break;
                case SymbolKind::ResId:
                    benchmark::DoNotOptimize(container.GetResourceId(symbol.first));
                    break;
                case SymbolKind::TimeDate:
                    benchmark::DoNotOptimize(container.GetTime(symbol.first));
                    break;
                case SymbolKind::Uuid:
                    benchmark::DoNotOptimize(container.GetUuid(symbol.first));
                    break;
                case SymbolKind::Bool:
                    benchmark::DoNotOptimize(container.GetBool(symbol.first));
                    break;
            }
        }
    }
}

// Copying the binary form's byte count between two existing buffers.
void BM_Memcpy(benchmark::State& state, Maker make) {
    const CSymbolContainer container = make();
    const std::string source = container.SerializeBinary(container.GetBinarySize());
    std::string target(source.size(), '\0');
    for (auto _ : state) {
        std::memcpy(&target[0], source.data(), source.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.counters["bytes"] = static_cast<double>(source.size());
}

#define CONTAINER_BENCHMARKS(name)                      \
    BENCHMARK_CAPTURE(name, Status9, &MakeStatusEvent); \
    BENCHMARK_CAPTURE(name, Mixed64, &MakeMixed64)

CONTAINER_BENCHMARKS(BM_SerializeBinary);
CONTAINER_BENCHMARKS(BM_GetBinarySize);
CONTAINER_BENCHMARKS(BM_DeserializeBinary);
CONTAINER_BENCHMARKS(BM_PackedReader);
CONTAINER_BENCHMARKS(BM_Serialize);
CONTAINER_BENCHMARKS(BM_Deserialize);
CONTAINER_BENCHMARKS(BM_Clone);
CONTAINER_BENCHMARKS(BM_TypedGetterWalk);
CONTAINER_BENCHMARKS(BM_Memcpy);

// The bulk loads at scale: each reads or copies 100,000 symbols.
BENCHMARK_CAPTURE(BM_DeserializeBinary, Mixed100k, &MakeMixed100k)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_PackedReader, Mixed100k, &MakeMixed100k)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Deserialize, Mixed100k, &MakeMixed100k)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Clone, Mixed100k, &MakeMixed100k)->Unit(benchmark::kMillisecond);

// Growth of both readers from 10,000 to 100,000 scattered identifiers: a
// linear or N log N reader takes 10 to 13 times as long for ten times the
// symbols, one that searches the symbols read so far per symbol about 100.
BENCHMARK_CAPTURE(BM_DeserializeBinary, Scattered10k, &MakeScattered10k)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_DeserializeBinary, Scattered100k, &MakeScattered100k)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Deserialize, Scattered10k, &MakeScattered10k)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Deserialize, Scattered100k, &MakeScattered100k)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
