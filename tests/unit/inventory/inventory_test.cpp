#include <gtest/gtest.h>

#include <algorithm>

#include "core/app/app.h"
#include "core/inventory/inventory.h"
#include "core/inventory/inventory_actions.h"
#include "fakes/fake_platform.h"
#include "fakes/fake_trust.h"

namespace pellora::inventory {
namespace {

constexpr const char* kRun = R"(HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Run)";
constexpr const char* kUserRun = R"(HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run)";
constexpr const char* kTcpip = R"(HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services\Tcpip\Parameters)";
constexpr const char* kChromeId = "abcdefghijklmnopabcdefghijklmnop";

// Reports chosen files as larger than they are, so a huge program needs no huge buffer.
class SizedFiles : public fakes::FakeFileSystem {
  public:
    bool FindEntries(const std::string& pattern, std::vector<FindEntry>& out) override {
        const size_t first = out.size();
        const bool found = FakeFileSystem::FindEntries(pattern, out);
        for (size_t i = first; i < out.size(); ++i)
            if (auto it = sizes.find(ToLowerAscii(out[i].name)); it != sizes.end())
                out[i].size = it->second;
        return found;
    }
    std::map<std::string, uint64_t> sizes;  // by lower-case file name
};

class InventoryTest : public ::testing::Test {
  protected:
    InventoryTest() {
        system_.environment["PROGRAMFILES"] = R"(C:\Program Files)";
        system_.environment["APPDATA"] = R"(C:\Users\ann\AppData\Roaming)";
        system_.environment["LOCALAPPDATA"] = R"(C:\Users\ann\AppData\Local)";
        files_.AddFolder(R"(C:\WINDOWS\system32\Tasks)");
        files_.AddFolder(R"(C:\Pellora)");
        state_.appFolder = R"(C:\Pellora)";
        state_.folders.programsDir = R"(C:\Program Files)";
        state_.folders.systemDir = R"(C:\WINDOWS\system32)";
        state_.folders.windowsDir = R"(C:\WINDOWS)";
        state_.lstDBaseFile = {"Pellora test database 1", "path|%ProgramsDir%\\Gator\\gator.exe|Adware.Gator|",
                               "file|gmt.exe|Adware.Gator|", std::string("extension|") + kChromeId + "|Extension.Bad|"};

        // A program signed by the system's publisher, one by a vendor, one the system does not trust.
        files_.AddFile(R"(C:\WINDOWS\system32\ctfmon.exe)", "MZ");
        trust_.Sign(R"(C:\WINDOWS\system32\ctfmon.exe)", TrustStatus::Signed, "Microsoft Windows");
        registry_.AddString(kRun, "ctfmon", R"(C:\WINDOWS\system32\ctfmon.exe)");
        files_.AddFile(R"(C:\Program Files\Vendor App\updater.exe)", "MZ");
        trust_.Sign(R"(C:\Program Files\Vendor App\updater.exe)", TrustStatus::Signed, "Vendor Ltd");
        trust_.Describe(R"(C:\Program Files\Vendor App\updater.exe)", "Vendor Ltd", "Vendor Updater");
        // Unquoted, with blanks: resolved the way Windows starts it.
        registry_.AddString(kRun, "Vendor", R"(C:\Program Files\Vendor App\updater.exe /silent)");
        files_.AddFile(R"(C:\Program Files\Shady\shady.exe)", "MZ");
        trust_.Sign(R"(C:\Program Files\Shady\shady.exe)", TrustStatus::Untrusted, "Microsoft Corporation");
        registry_.AddString(kRun, "Shady", R"("C:\Program Files\Shady\shady.exe")");
        trust_.verdicts[ToLowerAscii(R"(C:\Program Files\Shady\shady.exe)")].problem = "chain not trusted";
        // An unsigned program in a folder every user may write.
        files_.AddFile(R"(C:\Users\Public\tool\tool.exe)", "MZ");
        files_.accessEntries[R"(C:\Users\Public\tool)"] = {{true, "S-1-1-0", 0x1f01ff, false}};
        registry_.AddString(kUserRun, "Tool", R"(C:\Users\Public\tool\tool.exe)");
        // A program that is gone, and two the database names.
        registry_.AddString(kUserRun, "Gone", R"(C:\Program Files\Gone\gone.exe)");
        files_.AddFile(R"(C:\Program Files\Gator\gator.exe)", "MZ");
        registry_.AddString(kRun, "Gator", R"(C:\Program Files\Gator\gator.exe)");
        files_.AddFile(R"(C:\Program Files\GMT\GMT.exe)", "MZ");
        registry_.AddString(kRun, "GMT", R"(C:\Program Files\GMT\GMT.exe)");
        // Damaged data, and a hosts file with CRLF line ends.
        registry_.AddDword(kRun, "Number", 7);
        files_.AddFile(R"(C:\WINDOWS\system32\drivers\etc\hosts)", "127.0.0.1 localhost\r\n10.0.0.1 bank.example\r\n");
        // Network settings and a browser policy that installs a listed extension.
        registry_.AddString(R"(HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings)",
                            "ProxyServer", "127.0.0.1:8080");
        registry_.AddDword(R"(HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Internet Settings)",
                           "ProxyEnable", 1);
        registry_.AddString(std::string(kTcpip) + R"(\Interfaces\{A1})", "NameServer", "10.9.8.7,10.9.8.6");
        registry_.AddString(std::string(kTcpip) + R"(\Interfaces\{A2})", "NameServer", "");
        registry_.AddString(R"(HKEY_LOCAL_MACHINE\Software\Policies\Google\Chrome\ExtensionInstallForcelist)", "1",
                            std::string(kChromeId) + ";https://bad.example/update.xml");
        registry_.AddString(R"(HKEY_LOCAL_MACHINE\Software\Policies\Google\Chrome)", "HomepageLocation",
                            "https://start.example/");
    }

    std::vector<InventoryEntry> Build() {
        InventoryBuilder builder(registry_, files_, system_, trust_, ui_);
        auto entries = builder.Build(state_);
        verified_ = builder.verifiedCount;
        cached_ = builder.cachedCount;
        return entries;
    }

    static const InventoryEntry& Named(const std::vector<InventoryEntry>& entries, const std::string& name) {
        auto it = std::find_if(entries.begin(), entries.end(), [&](const InventoryEntry& e) { return e.name == name; });
        if (it == entries.end())
            throw std::runtime_error("no entry " + name);
        return *it;
    }

    fakes::FakeRegistry registry_;
    SizedFiles files_;
    fakes::FakeSystem system_;
    fakes::FakeUi ui_;
    fakes::FakeTrust trust_;
    AppState state_;
    size_t verified_ = 0;
    size_t cached_ = 0;
};

TEST_F(InventoryTest, EachPlaceGivesItsProgramSignerAndFlags) {
    const auto entries = Build();

    const InventoryEntry& ctfmon = Named(entries, "ctfmon");
    EXPECT_EQ(ctfmon.place, "run");
    EXPECT_EQ(ctfmon.signature, TrustStatus::Signed);
    EXPECT_TRUE(IsOsSigned(ctfmon));
    EXPECT_EQ(ctfmon.flags, 0u);

    const InventoryEntry& vendor = Named(entries, "Vendor");
    EXPECT_EQ(vendor.program, R"(C:\Program Files\Vendor App\updater.exe)");
    EXPECT_EQ(vendor.signer, "Vendor Ltd");
    EXPECT_EQ(vendor.company, "Vendor Ltd");
    EXPECT_EQ(vendor.description, "Vendor Updater");
    EXPECT_FALSE(IsOsSigned(vendor));
    EXPECT_FALSE(IsFlagged(vendor));

    // A publisher's name on a chain the system does not trust is no signature of that publisher.
    const InventoryEntry& shady = Named(entries, "Shady");
    EXPECT_EQ(shady.signature, TrustStatus::Untrusted);
    EXPECT_FALSE(IsOsSigned(shady));
    EXPECT_EQ(shady.flags, flag::kUnsigned);

    EXPECT_EQ(Named(entries, "Tool").flags, flag::kUnsigned | flag::kUserWritable);
    const InventoryEntry& gone = Named(entries, "Gone");
    EXPECT_EQ(gone.flags, flag::kMissing);
    EXPECT_EQ(gone.signature, TrustStatus::Unchecked);
    // Unquoted with blanks and missing: the whole candidate the command meant.
    EXPECT_EQ(gone.program, R"(C:\Program Files\Gone\gone.exe)");
    EXPECT_EQ(Named(entries, "Gator").flags, flag::kUnsigned | flag::kDatabase);
    EXPECT_EQ(Named(entries, "GMT").flags, flag::kUnsigned | flag::kDatabase);
    EXPECT_NE(Named(entries, "Number").note, "");
    EXPECT_EQ(Named(entries, "bank.example").command, "10.0.0.1 bank.example");

    const InventoryEntry& proxy = Named(entries, "ProxyServer");
    EXPECT_EQ(proxy.place, "proxy");
    EXPECT_EQ(proxy.command, "127.0.0.1:8080");
    EXPECT_TRUE(proxy.enabled);
    const auto dns = std::count_if(entries.begin(), entries.end(), [](const auto& e) { return e.place == "dns"; });
    EXPECT_EQ(dns, 1);
    EXPECT_EQ(Named(entries, "NameServer").command, "10.9.8.7,10.9.8.6");

    auto extension =
        std::find_if(entries.begin(), entries.end(), [](const auto& e) { return e.place == place::kBrowserExtension; });
    ASSERT_NE(extension, entries.end());
    EXPECT_EQ(extension->flags, flag::kDatabase);
    EXPECT_NE(extension->name.find(kChromeId), std::string::npos);
    EXPECT_EQ(extension->description, "");
    EXPECT_EQ(Named(entries, "Chrome: home page").command, "https://start.example/");

    // Each program is checked once, however many entries name it.
    registry_.AddString(kUserRun, "Vendor again", R"("C:\Program Files\Vendor App\updater.exe")");
    files_.DeleteFile(R"(C:\Pellora\Inventory.cache)");
    trust_.verified.clear();
    Build();
    EXPECT_EQ(std::count(trust_.verified.begin(), trust_.verified.end(), R"(C:\Program Files\Vendor App\updater.exe)"),
              1);
}

TEST_F(InventoryTest, IgnoredEntriesStayListedButAreNoLongerFlaggedUntilTheirProgramChanges) {
    auto entries = Build();
    const InventoryEntry tool = Named(entries, "Tool");
    const std::string line = IgnoreEntryOf(tool);
    // No scan find (a path or key, always with a backslash) is ever contained in the line.
    EXPECT_EQ(line.find('\\'), std::string::npos);
    state_.lstIgnoreListFile.push_back(line);

    entries = Build();
    EXPECT_TRUE(Named(entries, "Tool").flags & flag::kIgnored);
    EXPECT_FALSE(IsFlagged(Named(entries, "Tool")));

    files_.AddFile(R"(C:\Users\Public\tool\other.exe)", "MZ");
    registry_.AddString(kUserRun, "Tool", R"(C:\Users\Public\tool\other.exe)");
    entries = Build();
    EXPECT_TRUE(IsFlagged(Named(entries, "Tool")));

    SortFlaggedFirst(entries);
    const auto firstUnflagged = std::find_if(entries.begin(), entries.end(), [](auto& e) { return !IsFlagged(e); });
    EXPECT_TRUE(std::none_of(firstUnflagged, entries.end(), [](auto& e) { return IsFlagged(e); }));
}

TEST_F(InventoryTest, ASecondRunOfAnUnchangedMachineTakesVerdictsFromTheCache) {
    const auto first = Build();
    ASSERT_GT(verified_, 4u);
    EXPECT_EQ(cached_, 0u);

    trust_.verified.clear();
    const auto second = Build();
    // Only the program a standard user may write is checked again.
    EXPECT_EQ(trust_.verified, std::vector<std::string>{R"(C:\Users\Public\tool\tool.exe)"});
    ASSERT_EQ(first.size(), second.size());
    for (size_t i = 0; i < first.size(); ++i) {
        EXPECT_EQ(first[i].signature, second[i].signature) << first[i].name;
        EXPECT_EQ(first[i].signer, second[i].signer) << first[i].name;
        EXPECT_EQ(first[i].description, second[i].description) << first[i].name;
        EXPECT_EQ(first[i].flags, second[i].flags) << first[i].name;
        EXPECT_EQ(first[i].note, second[i].note) << first[i].name;
    }

    // A changed file is checked again; a damaged cache line is dropped, not trusted.
    files_.SetWriteTime(R"(C:\Program Files\Vendor App\updater.exe)", 99);
    std::string cache = files_.Content(R"(C:\Pellora\Inventory.cache)");
    cache += "garbage\tsigned\n1:2:3:4:5\tmaybe\tX\t\t\t\n";
    ASSERT_TRUE(files_.WriteFileAtomic(R"(C:\Pellora\Inventory.cache)", cache));
    trust_.verified.clear();
    trust_.Sign(R"(C:\Program Files\Vendor App\updater.exe)", TrustStatus::Bad, "");
    const auto third = Build();
    EXPECT_EQ(trust_.verified.size(), 2u);
    EXPECT_EQ(Named(third, "Vendor").signature, TrustStatus::Bad);
    EXPECT_EQ(Named(third, "Vendor").flags, flag::kUnsigned);
    EXPECT_EQ(files_.Content(R"(C:\Pellora\Inventory.cache)").find("garbage"), std::string::npos);
}

// A small file named as a program that is none (a text, an empty file) is said to be no program,
// not given a signature verdict.
TEST_F(InventoryTest, ASmallFileThatIsNoProgramIsSaidToBeNone) {
    files_.AddFile(R"(C:\Users\Public\notes.exe)", "just some text");
    files_.AddFile(R"(C:\Users\Public\empty.dll)", "");
    files_.AddFile(R"(C:\Users\Public\start.bat)", "@echo off");
    registry_.AddString(kUserRun, "Notes", R"(C:\Users\Public\notes.exe)");
    registry_.AddString(kUserRun, "Empty", R"(rundll32.exe C:\Users\Public\empty.dll,Start)");
    registry_.AddString(kUserRun, "Script", R"(C:\Users\Public\start.bat)");
    const auto entries = Build();
    for (const char* name : {"Notes", "Empty"}) {
        const InventoryEntry& entry = Named(entries, name);
        EXPECT_TRUE(entry.notProgram) << name;
        EXPECT_EQ(entry.signature, TrustStatus::Unchecked) << name;
        EXPECT_TRUE(IsFlagged(entry)) << name;
        EXPECT_EQ(std::count(trust_.verified.begin(), trust_.verified.end(), entry.program), 0) << name;
    }
    // A script is text by nature: checked as it is.
    EXPECT_FALSE(Named(entries, "Script").notProgram);
    EXPECT_FALSE(Named(entries, "Vendor").notProgram);
}

TEST_F(InventoryTest, AProgramOver512MiBIsNeverHashedAndSaysSo) {
    files_.sizes["updater.exe"] = kMaxVerifiedLength + 1;
    const auto entries = Build();
    const InventoryEntry& vendor = Named(entries, "Vendor");
    EXPECT_EQ(std::count(trust_.verified.begin(), trust_.verified.end(), R"(C:\Program Files\Vendor App\updater.exe)"),
              0);
    EXPECT_EQ(vendor.signature, TrustStatus::Unchecked);
    EXPECT_NE(vendor.note.find("512 MiB"), std::string::npos);
    // Padding a program past the limit does not hide it.
    EXPECT_TRUE(vendor.flags & flag::kUnsigned);
}

TEST_F(InventoryTest, OnlyRunValuesAndStartupFilesBecomeRemovalRowsAndIgnoringIsOnce) {
    registry_.AddString(R"(HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\Winlogon)", "Shell",
                        R"(C:\WINDOWS\explorer.exe)");
    files_.AddFile(R"(C:\Users\ann\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\Startup\run.bat)", "x");
    const auto entries = Build();
    std::vector<InventoryEntry> picked;
    for (const InventoryEntry& entry : entries)
        if (entry.name == "Tool" || entry.name == "Shell" || entry.name == "run.bat" || entry.place == "hosts" ||
            entry.name == "ProxyServer")
            picked.push_back(entry);
    ASSERT_GE(picked.size(), 4u);

    state_.lstScanResult.push_back(ResultRow{});
    std::vector<std::string> refused;
    std::string reason;
    ObjectIdentity identity(files_, registry_);
    EXPECT_FALSE(StageForRemoval(state_, identity, files_, picked, refused, reason));
    EXPECT_EQ(state_.lstScanResult.size(), 1u);
    EXPECT_NE(reason, "");

    state_.lstScanResult.clear();
    ASSERT_TRUE(StageForRemoval(state_, identity, files_, picked, refused, reason));
    ASSERT_EQ(state_.lstScanResult.size(), 2u);
    EXPECT_EQ(state_.lstScanResult[0].type, "regval");
    EXPECT_EQ(state_.lstScanResult[0].object, std::string(kUserRun) + ",Tool");
    EXPECT_TRUE(state_.lstScanResult[0].checked);
    // Each row carries what its object is now, as a scan's find does.
    EXPECT_NE(state_.lstScanResult[0].foundKey, "");
    ASSERT_TRUE(state_.lstScanResult[1].foundAs.has_value());
    EXPECT_EQ(state_.lstScanResult[1].type, "path");
    EXPECT_EQ(state_.lstScanResult[1].object,
              R"(C:\Users\ann\AppData\Roaming\Microsoft\Windows\Start Menu\Programs\Startup\run.bat)");
    // Winlogon's shell and the proxy are changed, never deleted.
    EXPECT_EQ(refused.size(), picked.size() - 2);

    EXPECT_EQ(FolderToOpen(Named(entries, "Tool")), R"(C:\Users\Public\tool)");
    EXPECT_TRUE(AddToIgnoreList(state_, Named(entries, "Tool")));
    EXPECT_FALSE(AddToIgnoreList(state_, Named(entries, "Tool")));
    EXPECT_EQ(state_.lstIgnoreListFile.size(), 1u);
}

TEST(InventoryPorts, TheAppHandsTheFrontEndsTrustPortOn) {
    fakes::FakePlatform platform;
    fakes::FakeTrust trust;
    Ports ports = platform.ports;
    ports.trust = &trust;
    App app(ports);
    EXPECT_EQ(app.ports().trust, &trust);
}

TEST(InventoryReport, TextAndJsonMatchTheirGoldenForms) {
    ReportHeader header{"10.0.19045", "1.0.0", "Pellora test database 1", "2026-12-07 23:15:02", "HOST", 3};
    InventoryEntry run;
    run.place = "run";
    run.location = R"(HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run)";
    run.name = "Bad\nName";
    run.command = R"(C:\x\a.exe /q)";
    run.program = R"(C:\x\a.exe)";
    run.exists = true;
    run.signature = TrustStatus::Signed;
    run.signer = "Vendor Ltd";
    run.company = "Vendor";
    run.description = "A";
    run.flags = flag::kUserWritable | flag::kDatabase;
    InventoryEntry hosts;
    hosts.place = "hosts";
    hosts.location = R"(C:\WINDOWS\system32\drivers\etc\hosts)";
    hosts.name = "bad.example";
    hosts.command = "10.0.0.1 bad.example";
    hosts.note = std::string("bad \xff byte");
    InventoryEntry gone;
    gone.place = "service";
    gone.location = R"(HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Services)";
    gone.name = "gone";
    gone.program = R"(C:\gone.sys)";
    gone.enabled = false;
    gone.flags = flag::kMissing | flag::kIgnored;

    InventoryEntry text;
    text.place = "run";
    text.location = R"(HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run)";
    text.name = "Text";
    text.command = R"(C:\x\readme.exe)";
    text.program = text.command;
    text.exists = true;
    text.notProgram = true;
    text.flags = flag::kUnsigned;
    const std::string report = ReportText(header, {run, hosts, gone, text});
    const std::string entries =
        "[run] HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run: Bad?Name = C:\\x\\a.exe /q "
        "-> C:\\x\\a.exe (signed: Vendor Ltd) [Vendor; A] {user-writable, database}\n"
        "[hosts] C:\\WINDOWS\\system32\\drivers\\etc\\hosts: bad.example = 10.0.0.1 bad.example <bad \xff byte>\n"
        // A flag the state in parentheses already says is not said again.
        "[service] HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services: gone -> C:\\gone.sys (missing) "
        "(disabled) {ignored}\n"
        "[run] HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run: Text = C:\\x\\readme.exe "
        "-> C:\\x\\readme.exe (not a program)\n";
    EXPECT_EQ(report.rfind("Windows: 10.0.19045\n"
                           "Pellora: 1.0.0\n"
                           "Database: Pellora test database 1\n"
                           "Date: 2026-12-07 23:15:02\n"
                           "Machine: HOST\n"
                           "Entries: 4, flagged: 2, signed by the system's publisher and not shown: 3\n"
                           "\n"
                           "How to read an entry:\n",
                           0),
              0u)
        << report;
    ASSERT_GT(report.size(), entries.size());
    EXPECT_EQ(report.substr(report.size() - entries.size()), entries) << report;
    // The legend explains every mark an entry line may hold, each pair on a line of its own.
    const std::string legend = report.substr(0, report.size() - entries.size());
    for (const char* mark : {"\n  [ ]  ", "\n  ( )  ", "\n  { }  ", "\n  < >  ", "\n  ->   ", "\n  ?    "})
        EXPECT_NE(legend.find(mark), std::string::npos) << mark;
    for (const char* word : {"signed", "untrusted", "unsigned", "bad", "missing", "not a program", "not checked",
                             "disabled", "user-writable", "database", "ignored"})
        EXPECT_NE(legend.find(word), std::string::npos) << word;

    EXPECT_EQ(ReportJson(header, {run, hosts}), R"({
  "schema": 1,
  "machine": "HOST",
  "windows": "10.0.19045",
  "pellora": "1.0.0",
  "database": "Pellora test database 1",
  "date": "2026-12-07 23:15:02",
  "hidden": 3,
  "entries": [
    {
      "place": "run",
      "location": "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run",
      "name": "Bad\nName",
      "command": "C:\\x\\a.exe /q",
      "program": "C:\\x\\a.exe",
      "exists": true,
      "enabled": true,
      "signature": "signed",
      "signer": "Vendor Ltd",
      "company": "Vendor",
      "description": "A",
      "flags": [
        "user-writable",
        "database"
      ],
      "note": ""
    },
    {
      "place": "hosts",
      "location": "C:\\WINDOWS\\system32\\drivers\\etc\\hosts",
      "name": "bad.example",
      "command": "10.0.0.1 bad.example",
      "program": "",
      "exists": false,
      "enabled": true,
      "signature": null,
      "signer": "",
      "company": "",
      "description": "",
      "flags": [],
      "note": "bad )"
                                                "\xEF\xBF\xBD"
                                                R"( byte"
    }
  ]
}
)");
}

}  // namespace
}  // namespace pellora::inventory
