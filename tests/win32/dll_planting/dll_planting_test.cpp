// Pellora's executables never load a library planted beside them. Their import tables name only
// known DLLs (which the system always takes from System32); every other library is delay-loaded
// after the program has limited loading to System32. Each executable is copied into a folder
// of its own together with a marking library under the name of every other library it imports
// (directly or delay-loaded), and started: no marking library may say it was loaded.
//
// Wine's own user32 imports version.dll when a process starts, from the program's folder first,
// so under Wine that one name is judged by the import tables alone. Wine loads its builtin
// libraries before any other of the same name unless told otherwise: the test runs with
// WINEDLLOVERRIDES "n,b" for the delay-loaded names (CMakeLists.txt), so Wine, like Windows,
// loads a planted library wherever the program's search lets it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

// Brings <windows.h> and takes back the macros it puts over the ports' method names.
#include "win32/external/external_test_support.h"

namespace pellora {
namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The libraries a 64-bit executable imports before its first instruction (its import table),
// and those the build delay-loads (GNU ld writes their descriptors but leaves the header's
// delay-import entry empty, so the build names them).
struct Imports {
    std::vector<std::string> direct;
    std::vector<std::string> delayed;
};

std::vector<std::string> DelayLoaded() {
    std::vector<std::string> names;
    std::string list = PELLORA_DELAY_LOADED;
    for (size_t start = 0; start < list.size();) {
        size_t end = list.find(',', start);
        if (end == std::string::npos)
            end = list.size();
        names.push_back(list.substr(start, end - start) + ".dll");
        start = end + 1;
    }
    return names;
}

std::optional<Imports> ReadImports(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    auto u16 = [&](size_t at) -> uint32_t {
        return at + 2 <= bytes.size() ? static_cast<uint8_t>(bytes[at]) | static_cast<uint8_t>(bytes[at + 1]) << 8 : 0;
    };
    auto u32 = [&](size_t at) -> uint32_t { return at + 4 <= bytes.size() ? u16(at) | u16(at + 2) << 16 : 0; };
    const uint32_t pe = u32(0x3c);
    if (bytes.size() < 0x40 || bytes.compare(pe, 4, std::string("PE\0\0", 4)) != 0)
        return std::nullopt;
    const uint32_t sections = u16(pe + 6);
    const uint32_t optional = pe + 24;
    if (u16(optional) != 0x20b)  // PE32+
        return std::nullopt;
    const uint32_t table = optional + u16(pe + 20);
    auto offsetOf = [&](uint32_t rva) -> std::optional<size_t> {
        for (uint32_t i = 0; i < sections; ++i) {
            const size_t header = table + i * 40;
            const uint32_t address = u32(header + 12);
            const uint32_t size = std::max(u32(header + 8), u32(header + 16));
            if (rva >= address && rva < address + size)
                return rva - address + u32(header + 20);
        }
        return std::nullopt;
    };
    auto nameAt = [&](uint32_t rva) {
        const std::optional<size_t> at = offsetOf(rva);
        return at ? Lower(std::string(bytes.c_str() + *at)) : std::string();
    };
    Imports imports;
    // Data directories of PE32+ start 112 bytes into the optional header: 1 imports, 13 delay imports.
    if (std::optional<size_t> at = offsetOf(u32(optional + 112 + 8 * 1)))
        for (size_t entry = *at; u32(entry + 12) != 0; entry += 20)
            imports.direct.push_back(nameAt(u32(entry + 12)));
    // Each delay-loaded library is named in the file (its descriptor's name) and nowhere imported.
    for (const std::string& name : DelayLoaded())
        if (Lower(bytes).find(name) != std::string::npos)
            imports.delayed.push_back(name);
    return imports;
}

// The libraries the system loads only from System32 (its known DLLs), and the API sets.
bool IsKnownDll(const std::string& name) {
    static const std::set<std::string> known = {
        "kernel32.dll", "user32.dll",  "gdi32.dll",    "advapi32.dll", "shell32.dll", "ole32.dll",   "oleaut32.dll",
        "ws2_32.dll",   "msvcrt.dll",  "ntdll.dll",    "comdlg32.dll", "imm32.dll",   "shlwapi.dll", "rpcrt4.dll",
        "setupapi.dll", "psapi.dll",   "normaliz.dll", "nsi.dll",      "sechost.dll", "shcore.dll",  "wldap32.dll",
        "combase.dll",  "clbcatq.dll", "imagehlp.dll", "msctf.dll",    "gdiplus.dll", "coml2.dll",   "difxapi.dll"};
    return known.count(name) || name.rfind("api-ms-win-", 0) == 0;
}

std::string BuildFolder() {
    wchar_t self[MAX_PATH * 4];
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    const std::string path = win32::Narrow(std::wstring(self, length));
    return path.substr(0, path.rfind('\\'));
}

const char* const kExecutables[] = {"Pellora.exe", "pellora-cli.exe", "pellora-db.exe"};

TEST(DllPlantingTest, TheExecutablesImportOnlyKnownDllsAndDelayLoadTheRest) {
    for (const char* exe : kExecutables) {
        const std::optional<Imports> imports = ReadImports(BuildFolder() + "\\app\\" + exe);
        ASSERT_TRUE(imports) << exe;
        EXPECT_FALSE(imports->direct.empty()) << exe;
        for (const std::string& name : imports->direct)
            EXPECT_TRUE(IsKnownDll(name)) << exe << " imports " << name << " before its first instruction";
    }
    const std::optional<Imports> cli = ReadImports(BuildFolder() + "\\app\\pellora-cli.exe");
    ASSERT_TRUE(cli);
    for (const char* name : {"version.dll", "wintrust.dll", "wininet.dll", "bcrypt.dll", "crypt32.dll"})
        EXPECT_NE(std::find(cli->delayed.begin(), cli->delayed.end(), name), cli->delayed.end()) << name;
    EXPECT_EQ(DelayLoaded().size(), 6u);
}

// Starts `command` in `folder` and waits for it to end (a generous bound: it never hangs).
DWORD RunIn(const std::string& folder, const std::string& command) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring line = win32::Widen(command);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        win32::Widen(folder).c_str(), &startup, &process))
        return 0xFFFFFFFF;
    CloseHandle(process.hThread);
    const DWORD waited = WaitForSingleObject(process.hProcess, 180000);
    DWORD code = 0xFFFFFFFE;
    if (waited == WAIT_OBJECT_0)
        GetExitCodeProcess(process.hProcess, &code);
    else
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    return code;
}

TEST(DllPlantingTest, AMarkingLibraryOfEachImportedNamePlantedBesideAnExecutableIsNeverLoaded) {
    const std::string marker = BuildFolder() + "\\planting_marker.dll";
    ASSERT_NE(GetFileAttributesW(win32::Widen(marker).c_str()), INVALID_FILE_ATTRIBUTES) << marker;
    for (const char* exe : kExecutables) {
        testing::ScratchFolder folder{std::string("dll planting ") + exe};
        const std::string copy = folder / exe;
        ASSERT_TRUE(
            CopyFileW(win32::Widen(BuildFolder() + "\\app\\" + exe).c_str(), win32::Widen(copy).c_str(), FALSE));
        // The console program's inventory reaches the signature, version and certificate libraries.
        ASSERT_TRUE(CopyFileW(win32::Widen(BuildFolder() + "\\app\\DataBase.ref").c_str(),
                              win32::Widen(folder / "DataBase.ref").c_str(), FALSE));
        const std::optional<Imports> imports = ReadImports(copy);
        ASSERT_TRUE(imports);
        std::vector<std::string> planted;
        for (const std::vector<std::string>* names : {&imports->direct, &imports->delayed})
            for (const std::string& name : *names)
                if (!IsKnownDll(name) && name != "version.dll") {
                    ASSERT_TRUE(CopyFileW(win32::Widen(marker).c_str(), win32::Widen(folder / name).c_str(), FALSE));
                    planted.push_back(name);
                }
        ASSERT_FALSE(planted.empty()) << exe;
        // The window program ends at once while another copy holds its lock (the console program
        // would refuse to run then).
        const bool window = std::string(exe) == "Pellora.exe";
        HANDLE lock = window ? CreateFileW(win32::Widen(folder / "Pellora.lock").c_str(), GENERIC_READ | GENERIC_WRITE,
                                           0, nullptr, CREATE_ALWAYS, 0, nullptr)
                             : INVALID_HANDLE_VALUE;
        const std::string arguments = std::string(exe) == "pellora-cli.exe"  ? " inventory --all"
                                      : std::string(exe) == "pellora-db.exe" ? " check --locked DataBase.ref"
                                                                             : "";
        const DWORD code = RunIn(folder.path(), "\"" + copy + "\"" + arguments);
        if (lock != INVALID_HANDLE_VALUE)
            CloseHandle(lock);
        // It ran as usual: the window ends at once (another copy holds the lock), the console's
        // inventory finds something to flag, the database checks out.
        EXPECT_EQ(code, std::string(exe) == "pellora-cli.exe" ? 1u : 0u) << exe;
        for (const std::string& name : planted)
            EXPECT_EQ(GetFileAttributesW(win32::Widen(folder / (name + ".loaded")).c_str()), INVALID_FILE_ATTRIBUTES)
                << exe << " loaded the " << name << " planted beside it";
    }
}

}  // namespace
}  // namespace pellora
