// The console program's command line: any arguments end in a command to run or in one of the
// program's own exit codes, never in an exception or a code of the parser library.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "fuzz/fuzz_check.h"

using namespace pellora::cli;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> args;
    size_t start = 0;
    for (size_t i = 0; i <= bytes.size(); ++i) {
        if (i == bytes.size() || bytes[i] == '\0') {
            if (i > start || i < bytes.size())
                args.push_back(bytes.substr(start, i - start));
            start = i + 1;
        }
    }
    ParseResult result = ParseCommandLine(args);
    FUZZ_CHECK(result.exitCode == kExitClean || result.exitCode == kExitFound || result.exitCode == kExitError);
    if (result.options) {
        FUZZ_CHECK(result.exitCode == kExitClean);
        const Options& options = *result.options;
        if (options.scanModeLine)
            FUZZ_CHECK(*options.scanModeLine == "0" || *options.scanModeLine == "1" || *options.scanModeLine == "2");
        if (options.command == Command::QuarantineShow || options.command == Command::QuarantineRestore ||
            options.command == Command::QuarantineDelete)
            FUZZ_CHECK(!options.packages.empty());
    } else {
        // A refusal says why on one line; help goes to standard output.
        FUZZ_CHECK(!result.err.empty() || !result.out.empty());
        if (result.exitCode == kExitError && !result.err.empty())
            FUZZ_CHECK(result.err.find('\n') == std::string::npos || result.err.find('\n') == result.err.size() - 1);
    }
    return 0;
}
