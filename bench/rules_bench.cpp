// The content rules' speed: `pellora_bench --rules DIR --files DIR [--show]`.
//
// Compiles every .yar/.yara file below the rules folder together (timed), reads every regular
// file below the files folder into memory, then scans them one after the other on one thread.
// Prints the compile figures, each match as `<rule> <path>` (the reference tool's form, so the
// two can be compared), and last the line
//   rules: <files> files, <bytes> bytes, <seconds> s, <MB/s> MB/s
// (MB: 10^6 bytes) timing only the scans, in processor time of the one scanning thread (the
// machines this runs on are shared; the wall-clock figure is printed on the line before).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/rules/rules.h"

namespace pellora::bench {
namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<fs::path> FilesBelow(const fs::path& folder) {
    std::vector<fs::path> paths;
    std::error_code error;
    for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
        if (it->is_regular_file() && !it->is_symlink())
            paths.push_back(it->path());
    std::sort(paths.begin(), paths.end());
    return paths;
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int RunRulesBenchmark(int argc, char** argv) {
    fs::path rulesFolder, filesFolder;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--rules") == 0)
            rulesFolder = argv[++i];
        else if (std::strcmp(argv[i], "--files") == 0)
            filesFolder = argv[++i];
    }
    if (rulesFolder.empty() || filesFolder.empty()) {
        std::fprintf(stderr, "usage: pellora_bench --rules DIR --files DIR\n");
        return 2;
    }
    std::vector<rules::Source> sources;
    for (const fs::path& path : FilesBelow(rulesFolder))
        if (path.extension() == ".yar" || path.extension() == ".yara")
            sources.push_back(rules::Source{fs::relative(path, rulesFolder).generic_string(), ReadAll(path)});
    std::vector<rules::Refusal> refusals;
    auto start = std::chrono::steady_clock::now();
    auto set = rules::RuleSet::Compile(sources, refusals);
    double compileSeconds = Seconds(start);
    for (const rules::Refusal& r : refusals)
        std::fprintf(stderr, "refused: %s:%zu %s: %s\n", r.source.c_str(), r.line, r.rule.c_str(), r.reason.c_str());
    std::printf("compile: %zu files, %zu rules, %zu refused, %.3f s, %zu bytes compiled\n", sources.size(),
                set->Rules().size(), refusals.size(), compileSeconds, set->CompiledLength());

    std::vector<std::pair<fs::path, std::string>> files;
    size_t bytes = 0;
    for (const fs::path& path : FilesBelow(filesFolder)) {
        files.emplace_back(path, ReadAll(path));
        bytes += files.back().second.size();
    }
    size_t matches = 0;
    start = std::chrono::steady_clock::now();
    std::clock_t cpuStart = std::clock();
    for (const auto& [path, content] : files) {
        auto data = std::span(reinterpret_cast<const uint8_t*>(content.data()), content.size());
        for (size_t index : set->Scan(data)) {
            ++matches;
            std::printf("%s %s\n", set->Rules()[index].name.c_str(), path.string().c_str());
        }
    }
    double seconds = Seconds(start);
    double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    std::printf("matches: %zu\n", matches);
    std::printf("wall clock: %.3f s, %.1f MB/s\n", seconds, seconds > 0 ? bytes / seconds / 1e6 : 0.0);
    std::printf("rules: %zu files, %zu bytes, %.3f s, %.1f MB/s\n", files.size(), bytes, cpu,
                cpu > 0 ? bytes / cpu / 1e6 : 0.0);
    return 0;
}

}  // namespace pellora::bench
