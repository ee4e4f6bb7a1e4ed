// The readers of what starts a program: command lines, shell links and task definitions. Any
// bytes are split, resolved, read or refused without reading out of bounds; a link that reads
// takes new arguments and reads back with them and with everything else unchanged.
#include <cstdint>
#include <string>

#include "core/autostart/command_line.h"
#include "core/autostart/shortcut.h"
#include "core/autostart/task_definition.h"
#include "fuzz/fuzz_check.h"

using namespace pellora::autostart;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    const std::vector<std::string> args = SplitCommandLine(bytes);
    FUZZ_CHECK(!args.empty());
    size_t total = 0;
    for (const std::string& arg : args)
        total += arg.size();
    FUZZ_CHECK(total <= bytes.size());

    ResolveContext context;
    context.expand = [](const std::string& text) { return text.size() < 4096 ? text + text : text; };
    // Every third candidate "exists", so the blank-by-blank search and the host forms all run.
    context.fileExists = [](const std::string& path) { return path.size() % 3 == 0; };
    context.systemDirectory = "C:\\Windows\\System32";
    context.windowsDirectory = "C:\\Windows";
    const ResolvedCommand resolved = ResolveCommand(bytes, context);
    FUZZ_CHECK(!resolved.exists || !resolved.program.empty());
    FUZZ_CHECK(!resolved.program.empty() || !resolved.problem.empty());
    const ResolvedCommand module = ResolveModule(bytes, context);
    FUZZ_CHECK(!module.exists || !module.program.empty());

    if (const std::optional<Shortcut> link = ReadShortcut(bytes)) {
        const std::optional<std::string> changed = ReplaceArguments(bytes, "--x");
        FUZZ_CHECK(changed.has_value());
        const std::optional<Shortcut> again = ReadShortcut(*changed);
        FUZZ_CHECK(again.has_value());
        FUZZ_CHECK(again->arguments == "--x");
        FUZZ_CHECK(again->target == link->target);
        FUZZ_CHECK(again->workingDirectory == link->workingDirectory);
        FUZZ_CHECK(again->iconLocation == link->iconLocation);
    }

    const TaskReadResult task = ReadTaskDefinition(bytes);
    FUZZ_CHECK(task.definition.has_value() == task.problem.empty());
    return 0;
}
