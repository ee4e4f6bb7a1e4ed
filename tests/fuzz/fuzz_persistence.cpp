// What the removal rewrites of the places spyware starts from: a hosts file and a list value.
// Any bytes as a hosts file: the lines that map a name, taken out and put back, give the same
// bytes, and what stays holds no line that maps it; their stored form reads back as they were.
// Any bytes as a list value: taking an element out keeps every byte of the others.
// Any bytes as a stored service: refused, or a record that names only keys below the service's
// own and stores back to the same record.
// Any bytes as a shortcut's arguments (and as a whole link): the arguments taken out for a text
// are exactly those that hold it, the others read back as they were, and a repaired link holds
// the text no more.
#include <cstdint>
#include <string>

#include "core/autostart/command_line.h"
#include "core/autostart/hosts_file.h"
#include "core/autostart/shortcut_places.h"
#include "core/quarantine/service_record.h"
#include "core/scan/persistence_matches.h"
#include "core/util/case_fold.h"
#include "fuzz/fuzz_check.h"

using namespace pellora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    // The first line names the host, the rest is the file.
    const size_t cut = bytes.find('\n');
    const std::string host = cut == std::string::npos ? bytes : bytes.substr(0, cut);
    const std::string text = cut == std::string::npos ? std::string() : bytes.substr(cut + 1);

    const std::vector<HostsLine> lines = LinesMapping(text, host);
    const std::string kept = WithoutLines(text, lines);
    FUZZ_CHECK(LinesMapping(kept, host).empty());
    FUZZ_CHECK(WithLinesBack(kept, lines) == text);
    if (!lines.empty()) {
        const std::optional<std::vector<HostsLine>> decoded = DecodeHostsLines(EncodeHostsLines(lines));
        FUZZ_CHECK(decoded.has_value() && decoded->size() == lines.size());
        for (size_t i = 0; i < lines.size(); ++i)
            FUZZ_CHECK((*decoded)[i].offset == lines[i].offset && (*decoded)[i].bytes == lines[i].bytes);
    }
    (void)DecodeHostsLines(bytes);

    for (std::string_view separators : {std::string_view(","), std::string_view(", \t")}) {
        if (const std::optional<std::string> rest = WithoutListPart(text, host, separators)) {
            FUZZ_CHECK(rest->size() < text.size());
        }
    }
    if (const std::optional<ServiceRecord> service = DecodeServiceRecord(bytes)) {
        const std::optional<ServiceRecord> again = DecodeServiceRecord(EncodeServiceRecord(*service));
        FUZZ_CHECK(again.has_value() && again->values.size() == service->values.size());
        for (const ServiceValue& value : service->values)
            FUZZ_CHECK(("\\" + value.key + "\\").find("\\..\\") == std::string::npos);
    }

    using namespace pellora::autostart;
    if (const std::optional<std::string> rest = ArgumentsWithout(text, host)) {
        std::vector<std::string> kept;
        for (const CommandArgument& argument : SplitArguments(text)) {
            FUZZ_CHECK(argument.begin <= argument.end && argument.end <= text.size());
            if (!ContainsOrdinalIgnoreCase(argument.value, host))
                kept.push_back(argument.value);
        }
        std::vector<std::string> after;
        for (const CommandArgument& argument : SplitArguments(*rest))
            after.push_back(argument.value);
        FUZZ_CHECK(after == kept);
    }
    for (const char* target : {"C:\\Program Files\\Google\\Chrome\\Application\\chrome.exe", "C:\\Tools\\tool.exe"}) {
        Shortcut link;
        link.target = target;
        link.arguments = text;
        const ShortcutRemoval plan = PlanShortcutRemoval(link, host);
        FUZZ_CHECK((plan.action == ShortcutRemoval::Action::NotHeld) == !ShortcutHolds(link, host));
        if (plan.action == ShortcutRemoval::Action::Repair) {
            link.arguments = plan.arguments;
            FUZZ_CHECK(!ShortcutHolds(link, host));
        }
    }
    if (const std::optional<Shortcut> link = ReadShortcut(text)) {
        const ShortcutRemoval plan = PlanShortcutRemoval(*link, host);
        if (plan.action == ShortcutRemoval::Action::Repair) {
            const std::optional<std::string> repaired = ReplaceArguments(text, plan.arguments);
            const std::optional<Shortcut> again = repaired ? ReadShortcut(*repaired) : std::nullopt;
            FUZZ_CHECK(!repaired || (again && again->arguments == plan.arguments && again->target == link->target));
        }
    }
    return 0;
}
