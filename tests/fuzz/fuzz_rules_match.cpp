// Matching a file: one rule set that uses every kind of string and condition, the pe module
// included, against any bytes. Scanning never crashes or hangs and gives the same verdicts
// twice; the verdicts stay within the public rules, in rule order.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "core/rules/rules.h"
#include "fuzz/fuzz_check.h"

using namespace pellora::rules;

namespace {

const char kRules[] = R"(import "pe"
private rule IsPe { condition: uint16(0) == 0x5A4D and uint32(uint32(0x3C)) == 0x4550 }
rule Texts {
    strings:
        $a = "kernel32" ascii wide nocase
        $b = "GetProcAddress" fullword
        $c = "run" wide fullword
        $d = "This program" base64 base64wide
        $e = "aa"
    condition: #e > 3 or (any of ($a, $b, $c) and @e[1] < 100) or !a[1] == 16 or $d or $e in (0..16)
}
rule Hex {
    strings:
        $h1 = { 4D 5A [2-60] 50 45 00 00 }
        $h2 = { E8 ?? ?? ?? ?? ( 48 | 4C ) 8B [0-] C3 }
        $h3 = { 6? 6? 6? ?0 }
    condition: 2 of them or for any of them : (# > 2 and @[1] < filesize)
}
rule Regex {
    strings:
        $r1 = /[a-z]{3,8}\.(exe|dll)/ nocase
        $r2 = /https?:\/\/[^\s"]{4,64}/ wide ascii
        $r3 = /^MZ/
    condition: any of them and for all i in (1..#r1) : (!r1[i] >= 5)
}
rule Pe {
    condition: IsPe and (pe.is_dll() or pe.number_of_exports > 2 or pe.exports(/^Dll/) or
        pe.exports("Main") or pe.exports(3) or pe.entry_point < filesize or
        for any i in (0 .. pe.number_of_sections) : (pe.sections[i].name == ".text" and
            pe.sections[i].raw_data_size > pe.sections[i].virtual_size) or
        for any d in pe.data_directories : (d.virtual_address != 0 and d.size == 0) or
        for any fn in pe.export_details : (fn.forward_name contains "Dll" or fn.name icontains "run") or
        pe.dll_name endswith ".dll" or pe.machine == pe.MACHINE_AMD64)
}
rule Reads {
    condition: int32(filesize - 4) == -1 or uint32be(0) & 0xFF00 == 0x5A00 or
        (filesize > 0 and int8(filesize \ 2) < 0 and uint16be(filesize % 7) > 7)
}
)";

std::shared_ptr<const RuleSet> Rules() {
    static std::shared_ptr<const RuleSet> rules = [] {
        Source source{"fuzz.yar", kRules};
        std::vector<Refusal> refusals;
        auto set = RuleSet::Compile(std::span<const Source>(&source, 1), refusals);
        for (const Refusal& refusal : refusals)
            std::fprintf(stderr, "line %zu %s: %s\n", refusal.line, refusal.rule.c_str(), refusal.reason.c_str());
        FUZZ_CHECK(refusals.empty());
        return set;
    }();
    return rules;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto rules = Rules();
    FUZZ_CHECK(rules->Rules().size() == 6);
    std::vector<size_t> first = rules->Scan(std::span(data, size));
    for (size_t i = 0; i < first.size(); ++i) {
        FUZZ_CHECK(first[i] < rules->Rules().size() && !rules->Rules()[first[i]].isPrivate);
        FUZZ_CHECK(i == 0 || first[i - 1] < first[i]);
    }
    FUZZ_CHECK(rules->Scan(std::span(data, size)) == first);
    return 0;
}
