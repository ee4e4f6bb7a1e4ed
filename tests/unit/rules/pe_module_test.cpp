// The pe module's values in conditions, on Wine's own DLLs and programs when the build knows
// where they are: each rule's verdict per file the same as the reference tool's, undefined values
// (one past the last section, a file that is not PE) included; and no shipped rule matches them.
#include <unistd.h>

#include <filesystem>
#include <set>

#include "unit/rules/rules_support.h"

namespace pellora::rules::test {
namespace {

namespace fs = std::filesystem;

fs::path WineDllDir() {
#ifdef PELLORA_WINE_DLL_DIR
    return fs::path(PELLORA_WINE_DLL_DIR);
#else
    return {};
#endif
}

// Every n-th file of Wine's folder (the folder's order), kernel32 and ntdll always.
std::vector<fs::path> WineSample(size_t step) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(WineDllDir()))
        if (entry.is_regular_file())
            files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<fs::path> sample{WineDllDir() / "kernel32.dll", WineDllDir() / "ntdll.dll"};
    for (size_t i = 0; i < files.size(); i += step)
        sample.push_back(files[i]);
    return sample;
}

class WineImages : public ::testing::Test {
  protected:
    void SetUp() override {
        if (WineDllDir().empty() || !fs::exists(WineDllDir() / "kernel32.dll"))
            GTEST_SKIP() << "no folder of Wine's DLLs configured (PELLORA_WINE_DLL_DIR)";
    }
};

const char kPeRules[] = R"(import "pe"
rule Dll { condition: pe.is_dll() }
rule NotDll { condition: not pe.is_dll() }
rule ExportsByName { condition: pe.exports("GetProcAddress") or pe.exports("DllGetClassObject") }
rule ExportsOtherCase { condition: pe.exports("getprocaddress") }
rule ExportsByRegex { condition: pe.exports(/^Nt[A-Z][a-z]+File$/) }
rule ExportsByOrdinal { condition: pe.exports(1) and not pe.exports(65535) }
rule ManyExports { condition: pe.number_of_exports > 100 }
rule NoExports { condition: pe.number_of_exports == 0 }
rule SectionText { condition: for any i in (0 .. pe.number_of_sections) : (pe.sections[i].name == ".text") }
rule PastTheLastSection { condition: pe.sections[pe.number_of_sections].name == ".text" or
    not (pe.sections[pe.number_of_sections].name == ".text") }
rule AllSectionsHaveData { condition: for all i in (0 .. pe.number_of_sections - 1) : (pe.sections[i].raw_data_size > 0) }
rule UnusedDirectory { condition: for any d in pe.data_directories : (d.virtual_address == 0 and d.size == 0) }
rule ThreeDirectories { condition: for 3 d in pe.data_directories : (d.size > 0) }
rule ForwardsToDll { condition: for any fn in pe.export_details : (fn.forward_name contains "Dll") }
rule ForwardsToNtdll { condition: for any fn in pe.export_details : (fn.forward_name istartswith "ntdll.") }
rule NamedExportOrdinal { condition: for any fn in pe.export_details : (fn.name == "GetProcAddress" and fn.ordinal > 0) }
rule EntryPoint { condition: pe.entry_point > 0x400 and pe.entry_point < filesize }
rule Amd64 { condition: pe.machine == pe.MACHINE_AMD64 and pe.characteristics & pe.EXECUTABLE_IMAGE }
rule DllName { condition: pe.dll_name icontains "kernel" }
rule Subsystem { condition: pe.subsystem == pe.SUBSYSTEM_WINDOWS_GUI }
)";

TEST_F(WineImages, PeValuesGiveTheReferenceToolsVerdicts) {
    ASSERT_EQ(std::system("yara --version > /dev/null 2>&1"), 0) << "the reference tool `yara` is missing";
    auto set = CompileOk(kPeRules);
    std::vector<fs::path> sample = WineSample(7);
    const fs::path work = fs::temp_directory_path() / ("pellora-pe-module-" + std::to_string(::getpid()));
    fs::create_directories(work);
    std::ofstream(work / "pe.yar") << kPeRules;
    // A file that is not PE and one cut inside its headers: every pe value undefined.
    std::ofstream(work / "plain.txt") << "MZ but nothing more";
    std::string kernel32 = ReadText(WineDllDir() / "kernel32.dll");
    std::ofstream(work / "cut.dll", std::ios::binary) << kernel32.substr(0, 0x100);
    std::set<std::string> ours;
    for (const fs::path& file : sample)
        fs::copy_file(file, work / file.filename(), fs::copy_options::skip_existing);
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(work)) {
        if (entry.path().extension() == ".yar")
            continue;
        ++files;
        for (const std::string& rule : Matching(*set, ReadText(entry.path())))
            ours.insert(rule + " " + entry.path().filename().string());
    }
    std::string error;
    std::set<std::string> theirs = ReferenceMatches({work / "pe.yar"}, work, error);
    fs::remove_all(work);
    ASSERT_EQ(error, "");
    // Differences of the PE reader reported to its authors, tolerated until they are settled: a
    // file cut inside its headers, an export by ordinal at address 0.
    const std::set<std::string> reported = {"Amd64 cut.dll", "Dll cut.dll", "NoExports cut.dll",
                                            "NoExports winehid.sys", "ExportsByOrdinal winehid.sys"};
    std::erase_if(ours, [&](const std::string& m) { return reported.count(m) != 0; });
    std::erase_if(theirs, [&](const std::string& m) { return reported.count(m) != 0; });
    EXPECT_EQ(Missing(ours, theirs, "only ours") + Missing(theirs, ours, "only the reference's"), "");
    // Every rule both matches some file and misses some, so each verdict is really compared.
    for (const RuleInfo& rule : set->Rules()) {
        size_t hits = std::count_if(theirs.begin(), theirs.end(),
                                    [&](const std::string& m) { return m.rfind(rule.name + " ", 0) == 0; });
        if (rule.name != "PastTheLastSection") {  // undefined on every file: never matches
            EXPECT_GT(hits, 0u) << rule.name;
            EXPECT_LT(hits, files) << rule.name;
        }
    }
}

// Strings that occur in real code and data, counted, located and measured.
const char kCountRules[] = R"(
rule HexCount { strings: $h = { 48 89 5C 24 ?? } condition: #h > 10 }
rule HexJump { strings: $h = { 48 8B ?? [2-6] E8 } condition: #h in (0..filesize \ 2) > 5 }
rule HexAlternative { strings: $h = { 0F ( 84 | 85 ) ?? ?? 00 00 } condition: #h > 40 }
rule RegexCount { strings: $r = /[A-Z][a-z]{3,}Ex?W/ condition: #r > 3 }
rule RegexLength { strings: $r = /Wine[ -][a-z]+/ condition: !r[1] > 6 }
rule Header { strings: $m = "builtin DLL" $d = "DOS mode" condition: $m in (0..0x60) and @d[1] > @m[1] and @d[1] < 0x100 }
rule WideWord { strings: $w = "Microsoft" wide nocase fullword condition: #w >= 2 }
rule AsciiWord { strings: $w = "wine" fullword condition: #w > 1 }
rule Both { strings: $a = "kernel32" nocase $b = "ntdll" nocase condition: for all of them : (# > 0) }
rule Threshold { strings: $s1 = "GetProcAddress" $s2 = "LoadLibrary" $s3 = "VirtualAlloc" $s4 = "HeapAlloc"
    condition: 3 of them and not all of them }
)";

TEST_F(WineImages, CountsOffsetsAndLengthsAgreeWithTheReferenceTool) {
    ASSERT_EQ(std::system("yara --version > /dev/null 2>&1"), 0) << "the reference tool `yara` is missing";
    auto set = CompileOk(kCountRules);
    const fs::path work = fs::temp_directory_path() / ("pellora-counts-" + std::to_string(::getpid()));
    fs::create_directories(work / "files");
    std::ofstream(work / "counts.yar") << kCountRules;
    std::set<std::string> ours;
    for (const fs::path& file : WineSample(5)) {
        fs::copy_file(file, work / "files" / file.filename(), fs::copy_options::skip_existing);
        for (const std::string& rule : Matching(*set, ReadText(file)))
            ours.insert(rule + " " + file.filename().string());
    }
    std::string error;
    std::set<std::string> theirs = ReferenceMatches({work / "counts.yar"}, work / "files", error);
    fs::remove_all(work);
    ASSERT_EQ(error, "");
    EXPECT_EQ(Missing(ours, theirs, "only ours") + Missing(theirs, ours, "only the reference's"), "");
    for (const RuleInfo& rule : set->Rules()) {
        size_t hits = std::count_if(theirs.begin(), theirs.end(),
                                    [&](const std::string& m) { return m.rfind(rule.name + " ", 0) == 0; });
        EXPECT_GT(hits, 0u) << rule.name;
    }
}

TEST_F(WineImages, NoShippedRuleMatchesWinesOwnImages) {
    if (!fs::is_directory(DataDir() / "rules"))
        GTEST_SKIP() << "the data folder has no rules/";
    std::vector<Source> sources = ReadSources(DataDir() / "rules");
    std::vector<Refusal> refusals;
    auto set = RuleSet::Compile(sources, refusals);
    ASSERT_TRUE(refusals.empty()) << Describe(refusals);
    std::string found;
    for (const fs::path& file : WineSample(3))
        for (const std::string& rule : Matching(*set, ReadText(file)))
            found += rule + " " + file.filename().string() + "\n";
    EXPECT_EQ(found, "");
}

}  // namespace
}  // namespace pellora::rules::test
