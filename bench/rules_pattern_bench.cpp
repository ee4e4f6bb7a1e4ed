// The pattern engine's worst cases and its common case, in MB/s of data:
//   BM_PatternSearch/<n>       the `matches` operator's run (Search) of a pattern that makes a
//                              backtracking matcher exponential, over a megabyte of `a`:
//                              0 (a*)*b, 1 (a|a)*c, 2 (x+x+)+y over "xxx..."
//   BM_PatternAllStarts/<n>    every start's match (MatchesAll) of the same patterns over the same
//                              megabyte: the reverse pass finds no possible start, so one pass
//   BM_PatternAtomlessHex      the one shipped pattern without atoms, /[a-f0-9]{168}/, over a
//                              megabyte of hex text (a possible start at every offset)
//   BM_PatternAroundHits       verifying a hex string with a jump and alternatives around each
//                              of 10,000 atom hits in a megabyte; counter: hits/s
#include <benchmark/benchmark.h>

#include <algorithm>
#include <random>
#include <string>

#include "core/rules/pattern.h"

namespace pellora::rules {
namespace {

constexpr size_t kMegabyte = 1 << 20;

struct Case {
    const char* body;
    char fill;
};
constexpr Case kPathological[] = {{"(a*)*b", 'a'}, {"(a|a)*c", 'a'}, {"(x+x+)+y", 'x'}};

Pattern MustCompile(std::variant<Pattern, PatternError> result) {
    return std::get<Pattern>(std::move(result));
}

std::span<const uint8_t> Bytes(const std::string& s) {
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

void BM_PatternSearch(benchmark::State& state) {
    const Case& c = kPathological[state.range(0)];
    const Pattern pattern = MustCompile(Pattern::CompileRegex(c.body, {}));
    const std::string data(kMegabyte, c.fill);
    for (auto _ : state)
        benchmark::DoNotOptimize(pattern.Search(data));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
    state.SetLabel(c.body);
}
BENCHMARK(BM_PatternSearch)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_PatternAllStarts(benchmark::State& state) {
    const Case& c = kPathological[state.range(0)];
    const Pattern pattern = MustCompile(Pattern::CompileRegex(c.body, {}));
    const std::string data(kMegabyte, c.fill);
    size_t matches = 0;
    for (auto _ : state)
        pattern.MatchesAll(Bytes(data), [&](size_t, size_t) { ++matches; });
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
    state.SetLabel(c.body);
    benchmark::DoNotOptimize(matches);
}
BENCHMARK(BM_PatternAllStarts)->DenseRange(0, 2)->Unit(benchmark::kMillisecond);

void BM_PatternAtomlessHex(benchmark::State& state) {
    const Pattern pattern = MustCompile(Pattern::CompileRegex("[a-f0-9]{168}", {}));
    std::mt19937 random(7);
    std::string data;
    for (size_t i = 0; i < kMegabyte; ++i)
        data += "0123456789abcdef"[random() % 16];
    for (size_t i = 100; i < data.size(); i += 160)
        data[i] = ' ';  // no run is long enough: every offset is tried and fails
    size_t matches = 0;
    for (auto _ : state)
        pattern.MatchesAll(Bytes(data), [&](size_t, size_t) { ++matches; });
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * data.size()));
    benchmark::DoNotOptimize(matches);
}
BENCHMARK(BM_PatternAtomlessHex)->Unit(benchmark::kMillisecond);

void BM_PatternAroundHits(benchmark::State& state) {
    const Pattern pattern = MustCompile(Pattern::CompileHex("8B 45 ?? [2-6] ( E8 | FF 15 ) C7 85 4? ?? 33 C0"));
    const std::string atom = pattern.Atoms().front().bytes;
    std::mt19937 random(11);
    std::string data(kMegabyte, '\0');
    for (char& c : data)
        c = static_cast<char>(random());
    std::vector<size_t> hits;
    for (size_t at = 64; at + 64 < data.size() && hits.size() < 10000; at += 100) {
        std::copy(atom.begin(), atom.end(), data.begin() + static_cast<std::ptrdiff_t>(at));
        hits.push_back(at);
    }
    size_t matches = 0;
    for (auto _ : state) {
        for (size_t at : hits)
            pattern.MatchesAround(Bytes(data), 0, at, [&](size_t, size_t) { ++matches; });
    }
    state.counters["hits/s"] =
        benchmark::Counter(static_cast<double>(state.iterations() * hits.size()), benchmark::Counter::kIsRate);
    benchmark::DoNotOptimize(matches);
}
BENCHMARK(BM_PatternAroundHits)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pellora::rules
