// Writes a deterministic CSV export of at least SIZE_MB megabytes:
// make_bench_csv SIZE_MB FILE
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench_data.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_bench_csv SIZE_MB FILE\n");
        return 2;
    }
    const std::size_t target = std::strtoull(argv[1], nullptr, 10) * 1000 * 1000;
    std::FILE* out = std::fopen(argv[2], "wb");
    if (!out) {
        std::perror(argv[2]);
        return 1;
    }
    std::string chunk;
    std::size_t written = 0;
    for (std::uint64_t seed = 0; written < target; ++seed) {
        rowsmith::bench::AppendSampleLine(seed, chunk);
        if (chunk.size() >= (1u << 20) || written + chunk.size() >= target) {
            written += std::fwrite(chunk.data(), 1, chunk.size(), out);
            chunk.clear();
        }
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
