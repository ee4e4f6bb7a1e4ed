// Quarantine round trips on the real platform: the shell copies files and folder trees, the
// registry editor exports and imports keys, the registry adapter reads and writes values. Every
// object is quarantined, removed as the removal run would, restored and compared with what was
// there before, bytes and value types included.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <vector>

#include "core/quarantine/quarantine.h"
#include "core/util/sha256.h"
#include "fakes/fake_platform.h"
#include "win32/clock_win.h"
#include "win32/file_system_win.h"
#include "win32/processes_win.h"
#include "win32/registry_win.h"
#include "win32/shell_win.h"
#include "win32/system_win.h"

// Last: the macros of windows.h would rename the ports' methods in the headers above.
// clang-format off
#include "win32/encoding_win.h"
#include <windows.h>
// clang-format on
#undef DeleteFile
#undef RemoveDirectory
#undef CreateDirectory
#undef MoveFile

namespace pellora::win32 {
namespace {

std::wstring W(const std::string& text) {
    return Widen(text);
}

bool Exists(const std::string& path) {
    return GetFileAttributesW(W(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RemoveHostLink(const std::string& link);

// Deletes a tree without following links.
void RemoveTree(const std::string& path) {
    DWORD attributes = GetFileAttributesW(W(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        if (!RemoveDirectoryW(W(path).c_str()) && !DeleteFileW(W(path).c_str()))
            RemoveHostLink(path);
        return;
    }
    SetFileAttributesW(W(path).c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(W(path).c_str());
        return;
    }
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(W(path + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = Narrow(data.cFileName);
            if (name != "." && name != "..")
                RemoveTree(path + "\\" + name);
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(W(path).c_str());
}

// Every file below `folder` with its bytes, by path relative to it.
std::map<std::string, std::string> Snapshot(FileSystemWin& files,
                                            const std::string& folder,
                                            const std::string& prefix = "") {
    std::map<std::string, std::string> out;
    std::vector<FindEntry> entries;
    files.FindEntries(folder + "\\*", entries);
    for (const FindEntry& entry : entries) {
        if (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) {
            out[prefix + entry.name + "\\"] = "";
            out.merge(Snapshot(files, folder + "\\" + entry.name, prefix + entry.name + "\\"));
        } else {
            out[prefix + entry.name] = files.ReadFile(folder + "\\" + entry.name).value_or("<unreadable>");
        }
    }
    return out;
}

struct Stored {
    DWORD type = 0;
    std::string bytes;
    bool operator==(const Stored&) const = default;
};

// Values and subkeys of a key tree, by "subkey|value name".
std::map<std::wstring, Stored> RegistryTree(const std::wstring& subkey) {
    std::map<std::wstring, Stored> out;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return out;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        BYTE data[2048];
        DWORD dataLength = sizeof data;
        DWORD type = 0;
        if (RegEnumValueW(key, i, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS)
            break;
        out[subkey + L"|" + std::wstring(name, nameLength)] =
            Stored{type, std::string(reinterpret_cast<char*>(data), dataLength)};
    }
    std::vector<std::wstring> children;
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key, i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        children.emplace_back(name, nameLength);
    }
    RegCloseKey(key);
    for (const std::wstring& child : children) {
        out[subkey + L"\\" + child + L"|"] = Stored{};
        out.merge(RegistryTree(subkey + L"\\" + child));
    }
    return out;
}

void SetValue(const std::wstring& subkey, const wchar_t* name, DWORD type, const std::string& bytes) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

std::string WideBytes(const std::wstring& text) {  // as stored, with the terminating NUL(s)
    return std::string(reinterpret_cast<const char*>(text.c_str()), (text.size() + 1) * sizeof(wchar_t));
}

class QuarantineWinTest : public ::testing::Test {
  protected:
    QuarantineWinTest() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        // A folder of its own for every test of every run: Wine gives a test program the same
        // process id run after run, and a host link that a failed test left behind (removed by
        // a host program after a test has ended) must not lead the next test's files elsewhere.
        static int instance = 0;
        base = Narrow(temp) + "pellora quarantine-" + std::to_string(GetCurrentProcessId()) + "-" +
               std::to_string(GetTickCount64()) + "-" + std::to_string(++instance);
        RemoveTree(base);
        for (const char* folder : {"", "\\App", "\\App\\Quarantine", "\\Victims", "\\Cookies"}) {
            CreateDirectoryW(W(base + folder).c_str(), nullptr);
        }
        state.appFolder = base + "\\App";
        state.folders.windowsDir = system.WindowsDirectory();
        state.folders.cookies = base + "\\Cookies";
        state.scanStamp = "6-12-2026-9-5-7";
    }
    ~QuarantineWinTest() override {
        RemoveTree(base);
        RegDeleteTreeW(HKEY_CURRENT_USER, regRoot.c_str());
    }

    void AddRow(const std::string& type, const std::string& object) {
        state.lstScanResult.push_back(ResultRow{type, kImageFile, "Test", object, "", true});
    }
    void CheckAllPackages() {
        quarantine.LoadToQuarantineList();
        for (auto& row : state.lstQuarantinedList)
            row.checked = true;
    }
    std::string Package() const { return state.appFolder + "\\Quarantine\\" + state.scanStamp; }
    // The program's log, to show with a failure what restore decided and why.
    std::string LogText() const {
        std::string text = "log:";
        for (const std::string& line : state.lstLog)
            text += "\n" + line;
        return text;
    }

    std::string base;
    std::wstring regRoot = L"Software\\Pellora Quarantine Tests " + std::to_wstring(GetCurrentProcessId());
    RegistryWin registryPort;
    FileSystemWin files;
    ProcessesWin processes;
    ShellWin shell;
    ClockWin clock;
    SystemWin system;
    fakes::FakeUi ui;
    Ports ports{registryPort, files, processes, shell, clock, system, ui};
    AppState state;
    RegistryAccess registry{registryPort, ui};
    FileFinder finder{state, files, ui};
    FileOperations fileOps{state, files, ui};
    Quarantine quarantine{state, ports, registry, finder, fileOps};
};

TEST_F(QuarantineWinTest, EveryKindGoesIntoQuarantineAndComesBackExactly) {
    // Files, a cookie and two folder trees of the same name.
    std::string binary;
    for (int i = 0; i < 70000; ++i)
        binary += static_cast<char>(i * 7 % 256);
    ASSERT_TRUE(files.WriteFileAtomic(base + "\\Victims\\bad tool.exe", binary));
    ASSERT_TRUE(files.WriteFileAtomic(base + "\\Victims\\helper.dll", std::string("MZ\0\x01", 4)));
    ASSERT_TRUE(files.WriteFileAtomic(base + "\\Cookies\\user@ads.txt", "id=42\r\n"));
    for (const char* parent : {"\\Victims\\One", "\\Victims\\Two"}) {
        std::string bad = base + parent + "\\Bad";
        CreateDirectoryW(W(base + parent).c_str(), nullptr);
        CreateDirectoryW(W(bad).c_str(), nullptr);
        CreateDirectoryW(W(bad + "\\sub dir").c_str(), nullptr);
        CreateDirectoryW(W(bad + "\\sub dir\\deeper").c_str(), nullptr);
        ASSERT_TRUE(files.WriteFileAtomic(bad + "\\same name.txt", std::string("from ") + parent));
        ASSERT_TRUE(files.WriteFileAtomic(bad + "\\sub dir\\deeper\\x.bin", binary.substr(0, 1000)));
    }
    auto filesBefore = Snapshot(files, base + "\\Victims");
    auto cookiesBefore = Snapshot(files, base + "\\Cookies");

    // A key with subkeys and values of several types, and one value of each type.
    std::wstring badKey = regRoot + L"\\Bad Key";
    uint32_t dword = 0xFFFFFFFE;
    uint64_t qword = 0x8877665544332211ull;
    SetValue(badKey, L"", REG_SZ, WideBytes(L"default"));
    SetValue(badKey, L"Count", REG_DWORD, std::string(reinterpret_cast<char*>(&dword), 4));
    SetValue(badKey, L"Blob", REG_BINARY, std::string("\x00\xFF\x10", 3));
    SetValue(badKey + L"\\Sub", L"List", REG_MULTI_SZ, WideBytes(std::wstring(L"a\0b c\0", 6)));
    SetValue(badKey + L"\\Sub\\Deeper", L"Path", REG_EXPAND_SZ, WideBytes(L"%SystemRoot%\\x.dll"));
    std::wstring valueKey = regRoot + L"\\Values";
    SetValue(valueKey, L"Text", REG_SZ, WideBytes(L"C:\\a|b \u00e9t\u00e9"));
    SetValue(valueKey, L"Cyrillic", REG_SZ, WideBytes(L"\u0416\u0443\u043a"));
    SetValue(valueKey, L"Expand", REG_EXPAND_SZ, WideBytes(L"%TEMP%\\bad.exe"));
    SetValue(valueKey, L"Number", REG_DWORD, std::string(reinterpret_cast<char*>(&dword), 4));
    SetValue(valueKey, L"Big", REG_QWORD, std::string(reinterpret_cast<char*>(&qword), 8));
    SetValue(valueKey, L"Bytes", REG_BINARY, std::string("\x01\x00\x02", 3));
    SetValue(valueKey, L"Many", REG_MULTI_SZ, WideBytes(std::wstring(L"one\0two\0", 8)));
    SetValue(valueKey, L"Run,Extra", REG_SZ, WideBytes(L"comma in the name"));
    auto keyBefore = RegistryTree(badKey);
    auto valuesBefore = RegistryTree(valueKey);
    ASSERT_EQ(keyBefore.size(), 7u);
    ASSERT_EQ(valuesBefore.size(), 8u);

    std::string hkcu = "HKEY_CURRENT_USER\\" + Narrow(regRoot);
    AddRow("file", base + "\\Victims\\bad tool.exe");
    AddRow("path", base + "\\Victims\\helper.dll");
    AddRow("cookie", "user@ads.txt");
    AddRow("folder", base + "\\Victims\\One\\Bad");
    AddRow("folder", base + "\\Victims\\Two\\Bad");
    AddRow("RegKey", hkcu + "\\Bad Key");
    for (const char* name : {"Text", "Cyrillic", "Expand", "Number", "Big", "Bytes", "Many", "Run,Extra"}) {
        AddRow("regval", hkcu + "\\Values," + name);
    }
    quarantine.cmdQuarantineSelected();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "14 items quarantined successfully.");
    EXPECT_EQ(files.ReadFile(Package() + "\\10000.qit"), binary);
    EXPECT_EQ(files.ReadFile(Package() + "\\10006.qit"), "String|C:\\a|b \xE9t\xE9");
    EXPECT_EQ(files.ReadFile(Package() + "\\10009.qit"), "DWORD|-2");
    // The key went to the registry editor and back through the application folder's exports
    // folder (a path with blanks), never the drive root.
    EXPECT_FALSE(Exists(state.folders.windowsDir.substr(0, 3) + "Temp.reg"));
    EXPECT_TRUE(Exists(base + "\\App\\Registry Exports"));
    EXPECT_FALSE(Exists(base + "\\App\\Registry Exports\\Temp.reg"));

    // The removal run's part: every object goes.
    RemoveTree(base + "\\Victims\\bad tool.exe");
    RemoveTree(base + "\\Victims\\helper.dll");
    RemoveTree(base + "\\Cookies\\user@ads.txt");
    RemoveTree(base + "\\Victims\\One\\Bad");
    RemoveTree(base + "\\Victims\\Two\\Bad");
    ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, badKey.c_str()), ERROR_SUCCESS);
    HKEY values;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, valueKey.c_str(), 0, KEY_SET_VALUE, &values), ERROR_SUCCESS);
    for (const wchar_t* name : {L"Text", L"Cyrillic", L"Expand", L"Number", L"Big", L"Bytes", L"Many", L"Run,Extra"}) {
        RegDeleteValueW(values, name);
    }
    RegCloseKey(values);
    ASSERT_TRUE(RegistryTree(valueKey).empty());

    CheckAllPackages();
    ASSERT_EQ(state.lstQuarantinedList.size(), 1u);
    EXPECT_EQ(state.lstQuarantinedList[0].itemCount, "14");
    quarantine.cmdRestoreQuarantined();

    EXPECT_EQ(Snapshot(files, base + "\\Victims"), filesBefore);
    EXPECT_EQ(Snapshot(files, base + "\\Cookies"), cookiesBefore);
    EXPECT_EQ(RegistryTree(badKey), keyBefore);
    EXPECT_EQ(RegistryTree(valueKey), valuesBefore);
    EXPECT_FALSE(Exists(Package()));
    EXPECT_TRUE(state.lstQuarantinedList.empty());
    EXPECT_EQ(state.status.noQuarantined, "0");
    EXPECT_FALSE(state.busy);
}

TEST_F(QuarantineWinTest, AFolderWhoseParentIsGoneStaysInQuarantine) {
    CreateDirectoryW(W(base + "\\Victims\\Gone").c_str(), nullptr);
    ASSERT_TRUE(files.WriteFileAtomic(base + "\\Victims\\Gone\\a.exe", "MZ"));
    AddRow("folder", base + "\\Victims\\Gone");
    quarantine.cmdQuarantineSelected();
    ASSERT_EQ(ui.messages.at(0).text, "1 items quarantined successfully.");
    RemoveTree(base + "\\Victims");  // the parent folder is gone as well
    ASSERT_FALSE(Exists(base + "\\Victims")) << "the test could not remove the folder";

    CheckAllPackages();
    quarantine.cmdRestoreQuarantined();
    SCOPED_TRACE(LogText());
    EXPECT_FALSE(Exists(base + "\\Victims\\Gone"));
    EXPECT_TRUE(Exists(Package() + "\\10000.qnf"));
    EXPECT_TRUE(Exists(Package() + "\\10000\\Gone\\a.exe"));
    ASSERT_EQ(state.lstQuarantinedList.size(), 1u);
    EXPECT_EQ(state.lstQuarantinedList[0].itemCount, "1");
}

TEST_F(QuarantineWinTest, CheckedPackagesAndStrayFilesAreDeleted) {
    std::string root = state.appFolder + "\\Quarantine";
    for (const char* name : {"\\1-1-2026-1-1-1", "\\2-2-2026-2-2-2", "\\keep"}) {
        CreateDirectoryW(W(root + name).c_str(), nullptr);
        ASSERT_TRUE(files.WriteFileAtomic(root + name + "\\10000.qnf", "file|10000.qit|C:\\x.exe"));
        ASSERT_TRUE(files.WriteFileAtomic(root + name + "\\10000.qit", std::string(1024, 'x')));
    }
    std::string deep = root + "\\1-1-2026-1-1-1\\10001\\Bad";
    CreateDirectoryW(W(root + "\\1-1-2026-1-1-1\\10001").c_str(), nullptr);
    CreateDirectoryW(W(deep).c_str(), nullptr);
    ASSERT_TRUE(files.WriteFileAtomic(deep + "\\ro.txt", "read-only"));
    SetFileAttributesW(W(deep + "\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(files.WriteFileAtomic(root + "\\stray.txt", "loose file"));

    quarantine.LoadToQuarantineList();
    ASSERT_EQ(state.lstQuarantinedList.size(), 4u);
    EXPECT_EQ(state.status.noQuarantined, "4");
    for (const auto& row : state.lstQuarantinedList) {
        if (row.name == "stray.txt") {
            EXPECT_EQ(row.sizeText, "0 bytes");
            EXPECT_EQ(row.itemCount, "0");
        } else if (row.name == "keep") {
            EXPECT_EQ(row.sizeText, "1.022 KB");  // 24 + 1024 bytes
            EXPECT_EQ(row.itemCount, "1");
        }
    }
    for (auto& row : state.lstQuarantinedList)
        row.checked = row.name != "keep";
    quarantine.cmdDeleteQuarantined();

    EXPECT_FALSE(Exists(root + "\\1-1-2026-1-1-1"));
    EXPECT_FALSE(Exists(root + "\\2-2-2026-2-2-2"));
    EXPECT_FALSE(Exists(root + "\\stray.txt"));
    EXPECT_TRUE(Exists(root + "\\keep\\10000.qit"));
    ASSERT_EQ(state.lstQuarantinedList.size(), 1u);
    EXPECT_EQ(state.status.noQuarantined, "1");
}

// A busy machine may take long to start a host program: what a test waits for gets this long.
constexpr ULONGLONG kHostCommandWaitMs = 120000;

// True when the folder lists an entry of that name (a link that leads nowhere included).
bool EntryListed(const std::string& path) {
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW(W(path).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    FindClose(find);
    return true;
}

// Polls until `done` holds; false when the deadline passes first.
bool WaitUntil(const std::function<bool()>& done) {
    ULONGLONG deadline = GetTickCount64() + kHostCommandWaitMs;
    while (!done()) {
        if (GetTickCount64() > deadline)
            return false;
        Sleep(20);
    }
    return true;
}

// Starts a host program on host paths (Wine starts one like any other); false where it cannot.
// Wine gives no handle to wait for a host program by, so callers wait for what it does.
bool StartHost(const std::string& program, const std::string& options, const std::vector<std::string>& paths) {
    using UnixName = char*(CDECL*)(const WCHAR*);
    auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name")));
    if (!unixName)
        return false;
    std::string command = "Z:\\bin\\" + program + " " + options;
    for (const std::string& path : paths) {
        // The last step may not exist yet: its folder is translated and the name appended.
        size_t slash = path.rfind('\\');
        char* folder = unixName(W(path.substr(0, slash)).c_str());
        if (!folder)
            return false;
        command += " \"" + std::string(folder) + "/" + path.substr(slash + 1) + "\"";
    }
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    if (process.hThread)
        CloseHandle(process.hThread);
    if (process.hProcess)
        CloseHandle(process.hProcess);
    return true;
}

// A host symbolic link, as Wine shows a link made outside it. The test is skipped where host
// programs cannot run, and fails when the link does not appear in time.
#define MAKE_HOST_LINK(link, target)                                                                         \
    do {                                                                                                     \
        if (!StartHost("ln", "-s", {(target), (link)}))                                                      \
            GTEST_SKIP() << "no host symbolic links here";                                                   \
        ASSERT_TRUE(WaitUntil([&] { return EntryListed(link); }))                                            \
            << "the host link " << (link) << " did not appear within " << kHostCommandWaitMs / 1000 << " s"; \
    } while (false)

// Removes a host link; false when it is still there at the deadline.
bool RemoveHostLink(const std::string& link) {
    return StartHost("rm", "-f", {link}) && WaitUntil([&] { return !EntryListed(link); });
}

TEST_F(QuarantineWinTest, RestoreOverAFileThatIsThereAgainAsksInTheProgramsOwnWords) {
    std::string victim = base + "\\Victims\\bad.exe";
    ASSERT_TRUE(files.WriteFileAtomic(victim, "stored bytes"));
    AddRow("file", victim);
    quarantine.cmdQuarantineSelected();
    EXPECT_EQ(files.ReadFile(Package() + "\\10000.sha256"), Sha256Hex("stored bytes"));
    ASSERT_TRUE(files.WriteFileAtomic(victim, "the user's newer file"));
    ui.messages.clear();

    CheckAllPackages();
    quarantine.cmdRestoreQuarantined();  // answered No: the shell is never asked
    ASSERT_EQ(ui.messages.size(), 2u);   // the question, then what stayed in quarantine and why
    EXPECT_EQ(ui.messages[1].text,
              std::string(kNotRestoredMessage) + "\n\n" + victim + "\na different file is there now, and it was kept");
    EXPECT_EQ(ui.messages[0].text,
              std::string(kRestoreReplaceQuestion) + "\n\n" + victim + "\n\n" + kRestoreReplaceQuestionTail);
    EXPECT_EQ(files.ReadFile(victim), "the user's newer file");
    EXPECT_TRUE(Exists(Package() + "\\10000.qit"));

    ui.answers = {MsgAnswer::Yes};
    CheckAllPackages();
    quarantine.cmdRestoreQuarantined();
    EXPECT_EQ(files.ReadFile(victim), "stored bytes");
    EXPECT_FALSE(Exists(Package()));
}

TEST_F(QuarantineWinTest, AFolderHoldingLinksIsStoredWithoutWhatTheyPointTo) {
    std::string bad = base + "\\Victims\\Bad";
    std::string outside = base + "\\Outside";
    CreateDirectoryW(W(bad).c_str(), nullptr);
    CreateDirectoryW(W(outside).c_str(), nullptr);
    ASSERT_TRUE(files.WriteFileAtomic(bad + "\\x.txt", "x"));
    ASSERT_TRUE(files.WriteFileAtomic(outside + "\\secret.txt", "not the folder's"));
    MAKE_HOST_LINK(bad + "\\elsewhere", outside);
    MAKE_HOST_LINK(bad + "\\app", state.appFolder);
    EXPECT_EQ(files.FinalPath(bad + "\\elsewhere"), files.FinalPath(outside));

    AddRow("folder", bad);
    quarantine.cmdQuarantineSelected();
    ASSERT_EQ(ui.messages.at(0).text, "1 items quarantined successfully.");
    EXPECT_EQ(files.ReadFile(Package() + "\\10000\\Bad\\x.txt"), "x");
    EXPECT_FALSE(Exists(Package() + "\\10000\\Bad\\elsewhere"));
    EXPECT_FALSE(Exists(Package() + "\\10000\\Bad\\app"));
    EXPECT_EQ(std::count(state.lstLog.begin(), state.lstLog.end(), kLinkLeftOutLog + bad + "\\app"), 1);

    // A link planted in the package: restore refuses the changed copy, deletion removes the
    // link and leaves what it points to.
    MAKE_HOST_LINK(Package() + "\\10000\\Bad\\planted", outside);
    ui.messages.clear();
    CheckAllPackages();
    quarantine.cmdRestoreQuarantined();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].text.starts_with(kNotRestoredMessage));
    EXPECT_NE(ui.messages[0].text.find(bad + "\nthe quarantined copy has changed"), std::string::npos);
    CheckAllPackages();
    quarantine.cmdDeleteQuarantined();
    // Wine cannot remove a host link through the Windows calls, so the package keeps the link
    // (and stays listed); everything else of it is gone.
    EXPECT_FALSE(Exists(Package() + "\\10000\\Bad\\x.txt"));
    EXPECT_FALSE(Exists(Package() + "\\10000.qnf"));
    EXPECT_EQ(files.ReadFile(outside + "\\secret.txt"), "not the folder's");
    EXPECT_EQ(files.ReadFile(bad + "\\elsewhere\\secret.txt"), "not the folder's");
    for (const char* link : {"\\elsewhere", "\\app", "\\planted"})
        RemoveHostLink((link == std::string("\\planted") ? Package() + "\\10000\\Bad" : bad) + link);
}

// A host link stands in for a junction: Wine shows it as a link, and opening it without
// following it still reaches its target, so the folder's identity is what tells it apart.
TEST_F(QuarantineWinTest, RestoreWritesNothingThroughALinkPutInPlaceOfTheFolderOrTheFile) {
    std::string target = base + "\\Target";  // stands for the Windows folder
    CreateDirectoryW(W(target).c_str(), nullptr);
    std::string spot = base + "\\Victims\\Spot";
    CreateDirectoryW(W(spot).c_str(), nullptr);
    ASSERT_TRUE(files.WriteFileAtomic(spot + "\\evil.dll", "folder swapped"));
    ASSERT_TRUE(files.WriteFileAtomic(base + "\\Victims\\named.dll", "name swapped"));
    AddRow("file", spot + "\\evil.dll");
    AddRow("file", base + "\\Victims\\named.dll");
    quarantine.cmdQuarantineSelected();
    ASSERT_EQ(ui.messages.at(0).text, "2 items quarantined successfully.");

    // The folder becomes a link to the target; the file's own name a link to a file of the
    // target, which a write through the name would overwrite once the user agrees to replace.
    ASSERT_TRUE(files.WriteFileAtomic(target + "\\planted.dll", "the system's file"));
    RemoveTree(spot);
    RemoveTree(base + "\\Victims\\named.dll");
    ASSERT_FALSE(Exists(spot)) << "the test could not remove the folder";
    ASSERT_FALSE(Exists(base + "\\Victims\\named.dll")) << "the test could not remove the file";
    MAKE_HOST_LINK(spot, target);
    MAKE_HOST_LINK(base + "\\Victims\\named.dll", target + "\\planted.dll");
    ui.messages.clear();
    ui.answers = {MsgAnswer::Yes, MsgAnswer::Yes};
    CheckAllPackages();
    quarantine.cmdRestoreQuarantined();
    SCOPED_TRACE(LogText());

    EXPECT_FALSE(Exists(target + "\\evil.dll"));
    EXPECT_EQ(files.ReadFile(target + "\\planted.dll"), "the system's file");
    EXPECT_TRUE(Exists(Package() + "\\10000.qit"));
    EXPECT_TRUE(Exists(Package() + "\\10001.qit"));
    ASSERT_EQ(state.lstQuarantinedList.size(), 1u);
    EXPECT_EQ(state.lstQuarantinedList[0].itemCount, "2");
    // Each refused with a line, before anyone is asked to replace anything, and named in the
    // restore's one message.
    EXPECT_EQ(std::count_if(state.lstLog.begin(), state.lstLog.end(),
                            [](const std::string& line) { return line.starts_with(kUnsafeDestinationLog); }),
              2);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(ui.messages[0].text.starts_with(kNotRestoredMessage));
    EXPECT_NE(ui.messages[0].text.find("unsafe destination"), std::string::npos);

    // Without the link at its name the file comes back into its own folder.
    ASSERT_TRUE(RemoveHostLink(spot));
    ASSERT_TRUE(RemoveHostLink(base + "\\Victims\\named.dll"));
    ui.answers.clear();
    CheckAllPackages();
    quarantine.cmdRestoreQuarantined();  // the missing folder: answered No
    EXPECT_EQ(files.ReadFile(base + "\\Victims\\named.dll"), "name swapped");
    EXPECT_FALSE(Exists(Package() + "\\10001.qit"));
    EXPECT_TRUE(Exists(Package() + "\\10000.qit"));
}

TEST_F(QuarantineWinTest, AFolderSwappedWhileTheReplaceQuestionIsOpenReceivesNothing) {
    if (!GetProcAddress(GetModuleHandleW(L"kernel32"), "wine_get_unix_file_name"))
        GTEST_SKIP() << "no host symbolic links here";
    std::string target = base + "\\Target";
    std::string spot = base + "\\Victims\\Spot";
    CreateDirectoryW(W(target).c_str(), nullptr);
    CreateDirectoryW(W(spot).c_str(), nullptr);
    ASSERT_TRUE(files.WriteFileAtomic(target + "\\a.dll", "the system's file"));
    ASSERT_TRUE(files.WriteFileAtomic(spot + "\\a.dll", "stored"));
    AddRow("file", spot + "\\a.dll");
    quarantine.cmdQuarantineSelected();
    ASSERT_TRUE(files.WriteFileAtomic(spot + "\\a.dll", "the user's newer file"));
    // The link is made while the question is open; a test cannot skip from inside it.
    bool linked = false;
    ui.messages.clear();
    ui.answers = {MsgAnswer::Yes};
    ui.onMessage = [&](const fakes::FakeUi::Shown& shown) {
        if (shown.buttons != MsgButtons::YesNo)
            return;
        RemoveTree(spot);
        linked = StartHost("ln", "-s", {target, spot}) && WaitUntil([&] { return EntryListed(spot); });
    };
    CheckAllPackages();
    quarantine.cmdRestoreQuarantined();

    ASSERT_TRUE(linked) << "the host link " << spot << " was not made within " << kHostCommandWaitMs / 1000 << " s";
    EXPECT_EQ(files.ReadFile(target + "\\a.dll"), "the system's file");
    EXPECT_FALSE(Exists(target + "\\a.dll.restoring"));
    EXPECT_TRUE(Exists(Package() + "\\10000.qit"));
    ASSERT_EQ(ui.messages.size(), 2u);  // the question, then what stayed and why
    EXPECT_NE(ui.messages[1].text.find("unsafe destination"), std::string::npos) << ui.messages[1].text;
    EXPECT_TRUE(RemoveHostLink(spot));
}

}  // namespace
}  // namespace pellora::win32
