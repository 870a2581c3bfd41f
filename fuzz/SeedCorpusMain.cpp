// Writes the seed corpus: fuzz_seed_corpus DIR creates DIR/<target>/<seed>
// for every seed, replacing files of the same name and leaving others alone.
#include <filesystem>
#include <fstream>
#include <iostream>

#include "fuzz/SeedCorpus.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: fuzz_seed_corpus DIR\n";
        return 2;
    }
    try {
        const std::filesystem::path root(argv[1]);
        for (const Kol::Fuzz::Seed& seed : Kol::Fuzz::MakeSeedCorpus()) {
            const std::filesystem::path folder = root / seed.target;
            std::filesystem::create_directories(folder);
            std::ofstream out(folder / seed.name, std::ios::binary | std::ios::trunc);
            out.write(seed.bytes.data(), static_cast<std::streamsize>(seed.bytes.size()));
            out.close();
            if (!out) {
                std::cerr << "fuzz_seed_corpus: cannot write " << (folder / seed.name) << "\n";
                return 1;
            }
        }
    } catch (const std::exception& error) {
        std::cerr << "fuzz_seed_corpus: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
