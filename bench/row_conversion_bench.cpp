// Throughput of the conversion engine, in bytes of input per second.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_data.h"
#include "convert/run/conversion_run.h"
#include "convert/row_conversion.h"
#include "convert/read/row_scanner.h"

namespace {

using rowsmith::ConversionSettings;

std::vector<std::string> SampleLines(std::size_t count) {
    std::vector<std::string> lines(count);
    for (std::size_t i = 0; i < count; ++i) rowsmith::bench::AppendSampleLine(i, lines[i]);
    return lines;
}

void BM_ConvertRow(benchmark::State& state) {
    const std::vector<std::string> lines = SampleLines(4096);
    std::size_t bytes = 0;
    std::size_t i = 0;
    for (auto _ : state) {
        const std::string& line = lines[i++ % lines.size()];
        benchmark::DoNotOptimize(rowsmith::ConvertRow(line, "people", "id,name,pair,city,day,note,amount,quote,state"));
        bytes += line.size();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_ConvertRow);

// The engine's own path: one format for the run, statements written into a
// reused buffer, as a whole-file run does.
void BM_WriteRow(benchmark::State& state) {
    std::vector<std::string> lines = SampleLines(static_cast<std::size_t>(state.range(0)));
    for (std::string& line : lines) line.reserve(line.size() + rowsmith::RowScanner::kPadding);
    const auto kind = static_cast<rowsmith::ScanKind>(state.range(1));
    if (!rowsmith::KindRuns(kind)) state.SkipWithError("the processor lacks this vector unit");
    const rowsmith::RowScanner format("people", "id,name,pair,city,day,note,amount,quote,state", {}, "\r\n", kind);
    state.SetLabel(rowsmith::KindName(kind));
    std::vector<char> out(1 << 16);
    std::size_t bytes = 0;
    std::size_t i = 0;
    for (auto _ : state) {
        const std::string& line = lines[i++ % lines.size()];
        benchmark::DoNotOptimize(format.WriteRow(line, out.data()));
        bytes += line.size();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
// Lines: 4096 different ones, or one over and over (no branch mispredicted);
// the vector unit, as ScanKind counts them.
BENCHMARK(BM_WriteRow)->ArgsProduct({{4096, 1}, {0, 1, 2}});

// A generated input of at least 128 MB in a temporary directory, made once.
const std::filesystem::path& LargeInput() {
    static const std::filesystem::path path = [] {
        std::string dir = (std::filesystem::temp_directory_path() / "rowsmith-bench-XXXXXX").string();
        if (!::mkdtemp(dir.data())) std::abort();
        const std::filesystem::path file = std::filesystem::path(dir) / "input.csv";
        std::FILE* out = std::fopen(file.c_str(), "wb");
        std::string chunk;
        std::size_t written = 0;
        for (std::uint64_t seed = 0; written < (std::size_t{128} << 20); ++seed) {
            rowsmith::bench::AppendSampleLine(seed, chunk);
            if (chunk.size() > (1u << 20)) {
                written += std::fwrite(chunk.data(), 1, chunk.size(), out);
                chunk.clear();
            }
        }
        std::fwrite(chunk.data(), 1, chunk.size(), out);
        std::fclose(out);
        return file;
    }();
    return path;
}

void BM_RunConversion(benchmark::State& state) {
    const std::filesystem::path& input = LargeInput();
    const std::filesystem::path output = input.parent_path() / "out.sql";
    const auto size = static_cast<std::int64_t>(std::filesystem::file_size(input));
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(output);
        state.ResumeTiming();
        ConversionSettings settings{input.string(), output.string(), "people",
                                    "id,name,pair,city,day,note,amount,quote,rest,state"};
        const rowsmith::RunReport report = rowsmith::ConvertFile(settings);
        if (report.status != rowsmith::RunStatus::Done) state.SkipWithError(report.text.c_str());
    }
    state.SetBytesProcessed(size * state.iterations());
    state.counters["input_MB"] = static_cast<double>(size) / 1e6;
    std::filesystem::remove(output);
}
BENCHMARK(BM_RunConversion)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
