// GetArguments on a command line of the longest length Windows allows,
// against the stand-in's heap: one long quoted path, and many short ones.
#include <benchmark/benchmark.h>

#include <string>

#include "platform/arguments.h"
#include "standin.h"

namespace {

const size_t kLineLength = 32767;
const std::string kProgram = "\"C:\\Tools\\Vorquin.exe\" ";

// 文档 2\子目录\ in code page 936, repeated inside one pair of quotes.
std::string OneLongPath() {
    const std::string piece = "\xce\xc4\xb5\xb5 2\\\xd7\xd3\xc4\xbf\xc2\xbc\\";
    std::string line = kProgram + "\"D:\\";
    while (line.size() + piece.size() + 1 <= kLineLength) line += piece;
    line.append(kLineLength - 1 - line.size(), 'a');
    return line + "\"";
}

std::string ManyPaths() {
    const std::string piece = " C:\\docs\\a.txt";
    std::string line = kProgram;
    while (line.size() + piece.size() <= kLineLength) line += piece;
    line.append(kLineLength - line.size(), 'b');
    return line;
}

void Split(benchmark::State& state, const std::string& line) {
    standin::Reset();
    standin::Get().commandLine = line;
    ArgumentList* list = nullptr;
    GetArguments(list);
    state.counters["arguments"] = double(ArgumentCount(list));
    for (auto _ : state) {
        GetArguments(list);  // releases the previous split
        benchmark::DoNotOptimize(list);
        standin::Get().allocationSizes.clear();  // the stand-in's record of requests
    }
    FreeArgumentList(list);
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(line.size()));
}

}  // namespace

BENCHMARK_CAPTURE(Split, one_long_path, OneLongPath());
BENCHMARK_CAPTURE(Split, many_paths, ManyPaths());
BENCHMARK_MAIN();
