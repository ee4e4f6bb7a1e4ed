// The content phase of the smart and custom scans: where it looks and how deep, which files it
// reads, the size limit, the guard for signed files and the cache of verdicts.
#include <gtest/gtest.h>

#include "core/rules/rules.h"
#include "core/scan/content_scan.h"
#include "fakes/fake_trust.h"
#include "scan_fixture.h"

namespace pellora {
namespace {

using Strings = std::vector<std::string>;

constexpr const char* kMarker = "steal-the-wallet-files";
constexpr const char* kProfile = "C:\\Users\\me";
constexpr const char* kRunKey = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr uint64_t kSomeTime = 133000000000000000;

class ContentScan : public ScanFixture {
  protected:
    ContentScan() {
        Mode("0");
        SetLine(state.lstSettingsFile, kContentLimitLine, "");  // the default limit
        state.appFolder = "C:\\Pellora";
        p.files.AddFolder("C:\\Pellora");
        p.files.AddFile("C:\\WINDOWS\\system32\\wscript.exe", "MZ host");
        const std::string list = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
        p.registry.AddString(list, "ProfilesDirectory", "%SystemDrive%\\Users");
        p.registry.AddString(list + "\\S-1-5-18", "ProfileImagePath", "C:\\WINDOWS\\system32\\config\\systemprofile");
        p.registry.AddString(list + "\\S-1-5-21-1-2-3-1001", "ProfileImagePath", kProfile);
        p.system.environment = {{"SYSTEMDRIVE", "C:"},
                                {"PROGRAMDATA", "C:\\ProgramData"},
                                {"PUBLIC", "C:\\Users\\Public"},
                                {"USERPROFILE", kProfile}};
        p.system.tempPath = "C:\\Users\\me\\AppData\\Local\\Temp\\";
        p.ports.trust = &trust;
        Rules("rule Stealer_Test { meta: description = \"Stealer.Test\" strings: $a = \"" + std::string(kMarker) +
              "\" condition: $a }\nrule Other_Test { strings: $b = \"never-in-any-file\" condition: $b }");
        state.lstCustomScanSettings = {"0", "0", "0", "0", "0", "0", "0"};
    }

    void Rules(const std::string& text) {
        std::vector<rules::Refusal> refusals;
        rules::Source source{"test.yar", text};
        state.contentRules.set = rules::RuleSet::Compile(std::span<const rules::Source>(&source, 1), refusals);
        ASSERT_TRUE(refusals.empty());
    }
    // A program holding the rule's text, and one without it.
    void Program(const std::string& path, uint64_t time = kSomeTime) {
        p.files.AddFile(path, std::string("MZ\x90\0", 4) + "..." + kMarker + "...");
        p.files.SetWriteTime(path, time);
    }
    void Clean(const std::string& path) {
        p.files.AddFile(path, "MZ nothing to see");
        p.files.SetWriteTime(path, kSomeTime);
    }
    static Strings Sorted(Strings list) {
        std::sort(list.begin(), list.end());
        return list;
    }
    Strings ContentRows() const {
        Strings out;
        for (const ResultRow& row : state.lstScanResult) {
            if (row.type == kContentRowType)
                out.push_back(row.object);
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    void Scan() {
        state.lstScanResult.clear();
        scanner.StartScan();
    }

    fakes::FakeTrust trust;
};

TEST_F(ContentScan, FindsProgramsAndScriptsInEveryDropPlaceDownToThreeLevelsAndWhatRunsOrStarts) {
    const std::string roaming = std::string(kProfile) + "\\AppData\\Roaming";
    Program(roaming + "\\a.exe");
    Program(roaming + "\\1\\2\\3\\deep.exe");
    Program(roaming + "\\1\\2\\3\\4\\too-deep.exe");
    Program(std::string(kProfile) + "\\AppData\\LocalLow\\named-as-data.dat");       // "MZ" is what counts
    p.files.AddFile(std::string(kProfile) + "\\AppData\\Local\\text.dat", kMarker);  // neither MZ nor a script
    p.files.AddFile(std::string(kProfile) + "\\AppData\\Local\\Temp\\t.ps1", kMarker);
    p.files.AddFile(std::string(kProfile) + "\\Downloads\\d.JS", kMarker);
    p.files.AddFile(std::string(kProfile) + "\\Desktop\\x.hta", kMarker);
    p.files.AddFile("C:\\ProgramData\\Vendor\\Sub\\p.bat", kMarker);
    p.files.AddFile("C:\\Users\\Public\\pub.vbs", kMarker);
    Program("C:\\Elsewhere\\not-a-place.exe");
    Clean(roaming + "\\clean.exe");
    // A link out of a drop place is never entered.
    Program("C:\\Target\\behind-link.exe");
    p.files.AddFolderLinkTo(roaming + "\\link", "C:\\Target", true);
    // The image of a running program, whatever its name, and what autostart entries start,
    // scripts a host runs included.
    Program("C:\\Tools\\runner.bin");
    p.processes.processes.push_back({"runner.bin", 40, 1, true, "C:\\Tools\\runner.bin", 7});
    Program("C:\\Tools\\started.exe");
    p.files.AddFile("C:\\Scripts\\start.vbs", kMarker);
    p.registry.AddString(kRunKey, "one", "C:\\Tools\\started.exe");
    p.registry.AddString(kRunKey, "two", "wscript.exe //B \"C:\\Scripts\\start.vbs\"");

    Scan();

    EXPECT_EQ(ContentRows(),
              Sorted({"C:\\ProgramData\\Vendor\\Sub\\p.bat", "C:\\Scripts\\start.vbs", "C:\\Tools\\runner.bin",
                      "C:\\Tools\\started.exe", "C:\\Users\\Public\\pub.vbs", roaming + "\\1\\2\\3\\deep.exe",
                      roaming + "\\a.exe", std::string(kProfile) + "\\AppData\\Local\\Temp\\t.ps1",
                      std::string(kProfile) + "\\AppData\\LocalLow\\named-as-data.dat",
                      std::string(kProfile) + "\\Desktop\\x.hta", std::string(kProfile) + "\\Downloads\\d.JS"}));
    const ResultRow& row = state.lstScanResult.front();
    EXPECT_EQ(row.category, "Stealer.Test");
    EXPECT_EQ(row.contentRules, "Stealer_Test");
    EXPECT_EQ(row.image, kImageFile);
    ASSERT_TRUE(row.foundAs.has_value());
    EXPECT_FALSE(row.checked);
    EXPECT_EQ(state.counters.processesIdentified, 1);
    EXPECT_EQ(state.counters.filesIdentified, 11);
    EXPECT_GE(state.counters.contentFiles, 12);  // the finds, the clean program and the host
    // The log's report names the rule.
    EXPECT_NE(std::find(state.lstLog.begin(), state.lstLog.end(),
                        "     Content:" + roaming + "\\a.exe   |Stealer.Test   |Rule: Stealer_Test"),
              state.lstLog.end());
}

TEST_F(ContentScan, FilesOverTheLimitAreCountedNotReadAndSignedFindsAreNeverRemovedUnattended) {
    SetLine(state.lstSettingsFile, kContentLimitLine, "1");  // MiB
    const std::string roaming = std::string(kProfile) + "\\AppData\\Roaming";
    p.files.AddFile(roaming + "\\big.exe", "MZ" + std::string(1024 * 1024, 'x') + kMarker);
    Program(roaming + "\\vendor.exe");
    Program(roaming + "\\unsigned.exe");
    trust.Sign(roaming + "\\vendor.exe", TrustStatus::Signed, "Vendor Ltd");
    trust.Sign(roaming + "\\unsigned.exe", TrustStatus::Untrusted, "Self");

    Scan();

    EXPECT_EQ(ContentRows(), Sorted({roaming + "\\unsigned.exe", roaming + "\\vendor.exe"}));
    EXPECT_EQ(state.counters.contentTooLarge, 1);
    EXPECT_EQ(state.manualOnlyRows.size(), 1u);
    EXPECT_EQ(state.manualOnlyRows[std::string(kContentRowType) + "\t" + roaming + "\\vendor.exe"],
              "signed by Vendor Ltd: a content rule may be wrong about it");
}

TEST_F(ContentScan, VerdictsAreKeptOnlyForFilesNoUserMayChange) {
    // Run by autostart entries: one in a folder only administrators may change, one a broad
    // group may write, one below the profile.
    Program("C:\\Program Files\\Tool\\tool.exe");
    Clean("C:\\Program Files\\Tool\\helper.exe");
    Program("C:\\Shared\\open.exe");
    p.files.accessEntries["C:\\Shared"] = {{true, "S-1-1-0", 0x1f01ff, false}};
    Program(std::string(kProfile) + "\\AppData\\Roaming\\mine.exe");
    p.registry.AddString(kRunKey, "tool", "\"C:\\Program Files\\Tool\\tool.exe\"");
    p.registry.AddString(kRunKey, "helper", "\"C:\\Program Files\\Tool\\helper.exe\"");
    p.registry.AddString(kRunKey, "open", "C:\\Shared\\open.exe");
    const Strings found = Sorted({"C:\\Program Files\\Tool\\tool.exe", "C:\\Shared\\open.exe",
                                  std::string(kProfile) + "\\AppData\\Roaming\\mine.exe"});

    Scan();
    EXPECT_EQ(ContentRows(), found);
    EXPECT_EQ(state.counters.contentCached, 0);
    const int64_t firstBytes = state.counters.contentBytes;
    EXPECT_TRUE(p.files.Exists("C:\\Pellora\\Content.cache"));

    Scan();
    EXPECT_EQ(ContentRows(), found);             // a kept verdict finds as reading does
    EXPECT_EQ(state.counters.contentCached, 2);  // tool.exe and helper.exe
    const int64_t toolBytes = static_cast<int64_t>(p.files.Content("C:\\Program Files\\Tool\\tool.exe").size() +
                                                   p.files.Content("C:\\Program Files\\Tool\\helper.exe").size());
    EXPECT_EQ(state.counters.contentBytes, firstBytes - toolBytes);

    // A changed write time, or other rules, and the file is read again.
    p.files.SetWriteTime("C:\\Program Files\\Tool\\tool.exe", kSomeTime + 1);
    Scan();
    EXPECT_EQ(state.counters.contentCached, 1);
    Rules("rule Stealer_Test { strings: $a = \"" + std::string(kMarker) + "\" condition: $a }");
    Scan();
    EXPECT_EQ(state.counters.contentCached, 0);
    EXPECT_EQ(ContentRows(), found);
}

TEST_F(ContentScan, TheCustomScanReadsTheHardDiskListingBehindItsOption) {
    Program("C:\\Elsewhere\\deep\\deeper\\deepest\\more\\far.exe");
    Custom(true, false, false, false, false);
    state.lstCustomScanSettings[kContentScanLine] = "1";
    Scan();
    EXPECT_EQ(ContentRows(), Strings{"C:\\Elsewhere\\deep\\deeper\\deepest\\more\\far.exe"});

    state.lstCustomScanSettings[kContentScanLine] = "0";
    Scan();
    EXPECT_TRUE(ContentRows().empty());
    EXPECT_EQ(state.counters.contentFiles, 0);
}

TEST_F(ContentScan, NoRulesNoContentPhase) {
    Program(std::string(kProfile) + "\\AppData\\Roaming\\a.exe");
    state.contentRules.set = std::make_shared<const rules::RuleSet>();
    Scan();
    EXPECT_TRUE(ContentRows().empty());
    EXPECT_EQ(state.counters.contentFiles, 0);
}

}  // namespace
}  // namespace pellora
