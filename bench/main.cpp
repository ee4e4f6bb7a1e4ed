// The native benchmarks' entry point: Google Benchmark's runs, or with --rules the content-rule
// scan over a folder of files (rules_bench.cpp).
#include <benchmark/benchmark.h>

#include <cstring>

namespace pellora::bench {
int RunRulesBenchmark(int argc, char** argv);
}

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--rules") == 0)
            return pellora::bench::RunRulesBenchmark(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
