// The custom scan with every option on, timed against a bare walk of the same disk and registry
// under the real platform (Wine or Windows). A generated tree of files below C:\PelloraBench and
// of keys below HKEY_CURRENT_USER\Software\PelloraBench is planted once (kept for later runs);
// the database has 30,000 items of every kind. The bare walk is what any scan must do at least:
// FindFirstFileW/FindNextFileW over every folder of the system drive and RegOpenKeyExW/
// RegEnumKeyExW over the four registry trees the full registry search lists, nothing else. Each
// is run five times, alternating, after one warming walk; the best whole runs are compared, and
// the sums of the best time of each phase. Then the startup inventory of the machine is timed
// twice: the first run checks every signature, the second takes the verdicts from its cache.
//
// The persistence part likewise: 200 scheduled tasks, 300 services and 500 shortcuts are planted
// (and kept), their items join the database, and what testing them and matching every autostart
// entry against a found file costs is reported next to the custom scan's (persistence_part.h).
//
// The browser part is timed as well: 2,500 extension items and a few hijack texts join the
// database, and planted Chrome (three profiles of 100 extensions) and Firefox (100 add-ons)
// profiles below C:\PelloraBench\Browsers are what it reads (LOCALAPPDATA and APPDATA point
// there for this program); its cost is reported next to the custom scan's.
//
//   pellora_scan_bench_win [files] [keys]     (defaults 200000 and 50000)
// With PELLORA_BENCH_PLACES set, only the starting places are timed, each autostart place alone.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/browsers/browser_reader.h"
#include "core/browsers/browser_rows.h"
#include "core/inventory/inventory.h"
#include "core/scan/scanner.h"
// First of the adapters: it brings in windows.h and undoes the macros that would rename the
// ports' methods (DeleteFile, Yield, ...).
#include "../scan_data.h"
#include "persistence_part.h"
#include "win32/clock_win.h"
#include "win32/encoding_win.h"
#include "win32/file_system_win.h"
#include "win32/processes_win.h"
#include "win32/registry_win.h"
#include "win32/shell_win.h"
#include "win32/system_win.h"
#include "win32/trust_win.h"

namespace pellora {
namespace {

constexpr const char* kTreeRoot = "C:\\PelloraBench";
constexpr const wchar_t* kKeyRoot = L"Software\\PelloraBench";
constexpr size_t kItems = 30'000;
constexpr size_t kCookies = 500;
constexpr int kRounds = 5;
constexpr size_t kTasks = 200, kServices = 300, kShortcuts = 500;

double CpuSeconds();

// Services the message queue as the window does: at most every 20 ms, however often asked.
// Notes when the scan's caption moves to its next phase, for the phase times.
class PumpingUi : public UiPort {
  public:
    explicit PumpingUi(const std::string& caption) : caption_(caption) {}
    void Yield() override {
        ULONGLONG now = GetTickCount64();
        if (now - last_ < 20)
            return;
        last_ = now;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
    }
    MsgAnswer Message(const std::string&, const std::string&, MsgButtons, MsgIcon) override { return MsgAnswer::Ok; }
    void Changed(View view) override {
        if (view != View::ScanProgress)
            return;
        std::string phase = caption_.substr(0, caption_.find(':'));
        if (phases.empty() || phases.back().name != phase)
            phases.push_back(Phase{phase, GetTickCount64(), CpuSeconds()});
    }

    struct Phase {
        std::string name;
        ULONGLONG tick;
        double cpu;
    };
    std::vector<Phase> phases;

  private:
    const std::string& caption_;
    ULONGLONG last_ = 0;
};

double Seconds(LARGE_INTEGER start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

// Processor time of this program and of the wineserver that serves it, in seconds: on a
// machine shared with other work the wall clock says more about the others than about the
// walks. Wine shows the Linux /proc on drive Z:; PELLORA_WINESERVER_PID names the server
// (scripts/bench-wine finds it). Nothing (0) when either cannot be read, as on Windows.
double CpuSecondsOf(const std::string& pid) {
    std::FILE* stat = std::fopen(("Z:\\proc\\" + pid + "\\stat").c_str(), "r");
    if (!stat)
        return 0;
    char text[1024] = {};
    size_t length = std::fread(text, 1, sizeof text - 1, stat);
    std::fclose(stat);
    // The fields after the program name in parentheses: state is field 3, utime 14, stime 15.
    const char* rest = std::strrchr(text, ')');
    if (!rest || length == 0)
        return 0;
    unsigned long long ticks[2] = {};
    int field = 2;
    for (const char* p = rest + 1; *p && field < 15;) {
        while (*p == ' ')
            ++p;
        ++field;
        if (field == 14 || field == 15)
            ticks[field - 14] = std::strtoull(p, nullptr, 10);
        while (*p && *p != ' ')
            ++p;
    }
    return static_cast<double>(ticks[0] + ticks[1]) / 100.0;  // USER_HZ
}

double CpuSeconds() {
    static const std::string server = [] {
        const char* pid = std::getenv("PELLORA_WINESERVER_PID");
        return std::string(pid ? pid : "");
    }();
    if (server.empty())
        return 0;
    double own = CpuSecondsOf("self");
    double served = CpuSecondsOf(server);
    return own > 0 && served > 0 ? own + served : 0;
}

// Wall and processor time since a start.
struct Clock {
    LARGE_INTEGER wall = Now();
    double cpu = CpuSeconds();
    double WallSeconds() const { return Seconds(wall); }
    double CpuSecondsSince() const { return CpuSeconds() - cpu; }
};

// The best of several rounds, by wall and by processor time.
struct Best {
    double wall = 1e30;
    double cpu = 1e30;
    void Take(const Clock& clock) {
        wall = std::min(wall, clock.WallSeconds());
        cpu = std::min(cpu, clock.CpuSecondsSince());
    }
};

struct Planted {
    std::vector<std::string> disk, registry, cookies;
};

// The generated tree, the keys and the cookie files; created only where missing.
Planted Plant(size_t files, size_t keys) {
    bench::Names names(11);
    Planted planted;
    bool create = GetFileAttributesW(win32::Widen(kTreeRoot).c_str()) == INVALID_FILE_ATTRIBUTES;
    if (create)
        CreateDirectoryW(win32::Widen(kTreeRoot).c_str(), nullptr);
    bench::GenerateTree(names, kTreeRoot, files, [&](const std::string& path, bool folder) {
        planted.disk.push_back(path);
        if (!create)
            return;
        std::wstring wide = win32::Widen(path);
        if (folder) {
            CreateDirectoryW(wide.c_str(), nullptr);
        } else {
            HANDLE file =
                CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE)
                CloseHandle(file);
        }
    });
    std::string cookieFolder = std::string(kTreeRoot) + "\\Cookies";
    planted.cookies = bench::GenerateCookies(names, kCookies);
    if (create) {
        CreateDirectoryW(win32::Widen(cookieFolder).c_str(), nullptr);
        for (const std::string& name : planted.cookies) {
            HANDLE file = CreateFileW(win32::Widen(cookieFolder + "\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file != INVALID_HANDLE_VALUE)
                CloseHandle(file);
        }
    }

    HKEY probe = nullptr;
    bool createKeys = RegOpenKeyExW(HKEY_CURRENT_USER, kKeyRoot, 0, KEY_READ, &probe) != ERROR_SUCCESS;
    if (probe)
        RegCloseKey(probe);
    bench::GenerateKeys(names, "HKEY_CURRENT_USER\\" + win32::Narrow(kKeyRoot), keys, planted.registry);
    if (createKeys) {
        for (const std::string& key : planted.registry) {
            HKEY created = nullptr;
            if (RegCreateKeyExW(HKEY_CURRENT_USER, win32::Widen(key.substr(18)).c_str(), 0, nullptr, 0, KEY_WRITE,
                                nullptr, &created, nullptr) == ERROR_SUCCESS) {
                RegCloseKey(created);
            }
        }
    }
    return planted;
}

// ---- the browser part ----------------------------------------------------------------------

constexpr const char* kBrowserRoot = "C:\\PelloraBench\\Browsers";
constexpr int kBrowserProfiles = 3;
constexpr int kExtensionsPerProfile = 100;
constexpr size_t kExtensionItems = 2500;

// An extension id: 32 letters a-p, unique per number.
std::string ExtensionId(size_t number) {
    std::string id(32, 'a');
    for (size_t i = 0; i < 8; ++i, number /= 16)
        id[31 - i] = static_cast<char>('a' + number % 16);
    return id;
}

void WriteNew(const std::string& path, const std::string& bytes) {
    for (size_t slash = path.find('\\', 3); slash != std::string::npos; slash = path.find('\\', slash + 1))
        CreateDirectoryW(win32::Widen(path.substr(0, slash)).c_str(), nullptr);
    HANDLE file =
        CreateFileW(win32::Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

// The browsers' profiles (created where missing) and the items that name some of their
// extensions (every tenth of the list is installed) and home pages.
std::vector<std::string> PlantBrowsers() {
    const std::string local = std::string(kBrowserRoot) + "\\Local";
    const std::string roaming = std::string(kBrowserRoot) + "\\Roaming";
    SetEnvironmentVariableW(L"LOCALAPPDATA", win32::Widen(local).c_str());
    SetEnvironmentVariableW(L"APPDATA", win32::Widen(roaming).c_str());
    const std::string chrome = local + "\\Google\\Chrome\\User Data";
    std::string cache = R"({"profile":{"info_cache":{)";
    for (int p = 0; p < kBrowserProfiles; ++p) {
        const std::string name = "Profile " + std::to_string(p);
        cache += (p ? "," : "") + std::string("\"") + name + R"(":{"name":"P"})";
        std::string settings = R"({"homepage":"http://home.example/","extensions":{"settings":{)";
        for (int e = 0; e < kExtensionsPerProfile; ++e) {
            const std::string id = ExtensionId(static_cast<size_t>(p * kExtensionsPerProfile + e) * 10);
            WriteNew(chrome + "\\" + name + "\\Extensions\\" + id + "\\1.0_0\\manifest.json",
                     R"({"manifest_version":3,"name":"Extension","version":"1.0"})");
            settings += (e ? "," : "") + std::string("\"") + id + R"(":{"location":1,"state":1})";
        }
        WriteNew(chrome + "\\" + name + "\\Secure Preferences", settings + "}}}");
        WriteNew(chrome + "\\" + name + "\\Preferences", R"({"homepage":"http://search.example/?q="})");
    }
    WriteNew(chrome + "\\Local State", cache + "}}}");
    const std::string firefox = roaming + "\\Mozilla\\Firefox";
    WriteNew(firefox + "\\profiles.ini", "[Profile0]\r\nIsRelative=1\r\nPath=Profiles/bench.default\r\n");
    std::string addons = R"({"addons":[)";
    for (int e = 0; e < kExtensionsPerProfile; ++e)
        addons += (e ? "," : "") + std::string(R"({"id":"addon)") + std::to_string(e) + R"(@bench.example"})";
    WriteNew(firefox + "\\Profiles\\bench.default\\extensions.json", addons + "]}");
    WriteNew(firefox + "\\Profiles\\bench.default\\prefs.js",
             "user_pref(\"browser.startup.homepage\", \"https://start.example/\");\n");

    std::vector<std::string> items;
    for (size_t i = 0; i < kExtensionItems; ++i)
        items.push_back("extension|" + ExtensionId(i) + "|Extension.Adware: Bench|");
    for (const char* text : {"search.example", "evil-start", "hijacker", "pellora-bench"})
        items.push_back(std::string("hijack|") + text + "|Hijack.Search: bench|");
    return items;
}

// The browser part alone as the scan runs it: read every browser once, match the items.
size_t BrowserPart(const std::vector<std::string>& database) {
    win32::RegistryWin registry;
    win32::FileSystemWin files;
    win32::SystemWin system;
    std::vector<browsers::BrowserItem> items;
    for (const std::string& row : database) {
        const bool extension = row.rfind("extension|", 0) == 0;
        if (extension || row.rfind("hijack|", 0) == 0) {
            const size_t start = row.find('|') + 1;
            items.push_back({extension, row.substr(start, row.find('|', start) - start)});
        }
    }
    browsers::BrowserInventory inventory = browsers::BrowserReader(files, registry, system).ReadAll();
    return browsers::MatchBrowserItems(inventory, items).size();
}

// The bare walks: every entry of every folder, every key of the trees; counts what they saw.
size_t WalkFolder(const std::wstring& folder) {
    size_t entries = 0;
    std::vector<std::wstring> subfolders;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    do {
        if (data.cFileName[0] == L'.' &&
            (data.cFileName[1] == 0 || (data.cFileName[1] == L'.' && data.cFileName[2] == 0))) {
            continue;
        }
        ++entries;
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            subfolders.push_back(folder + L"\\" + data.cFileName);
        }
    } while (FindNextFileW(find, &data));
    FindClose(find);
    for (const std::wstring& sub : subfolders)
        entries += WalkFolder(sub);
    return entries;
}

size_t WalkKey(HKEY root, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, 63, &key) != ERROR_SUCCESS)
        return 0;
    std::vector<std::wstring> names;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    size_t keys = 1;
    for (const std::wstring& sub : names)
        keys += WalkKey(root, path + L"\\" + sub);
    return keys;
}

struct BareFigures {
    size_t entries = 0;
    size_t keys = 0;
    double diskSeconds = 0;
    double registrySeconds = 0;
    double diskCpu = 0;
    double registryCpu = 0;
};

BareFigures BareWalk(const std::string& systemDrive) {
    BareFigures figures;
    Clock clock;
    figures.entries = WalkFolder(win32::Widen(systemDrive.substr(0, 2)));
    figures.diskSeconds = clock.WallSeconds();
    figures.diskCpu = clock.CpuSecondsSince();
    clock = Clock();
    figures.keys = WalkKey(HKEY_CURRENT_USER, L"Software") + WalkKey(HKEY_LOCAL_MACHINE, L"System") +
                   WalkKey(HKEY_CURRENT_CONFIG, L"Software") + WalkKey(HKEY_CURRENT_CONFIG, L"System");
    figures.registrySeconds = clock.WallSeconds();
    figures.registryCpu = clock.CpuSecondsSince();
    return figures;
}

// The least time of each phase over the rounds. Phases are independent, so their least times
// add up to a figure far less disturbed by other work on the machine than any whole run.
class PhaseMins {
  public:
    void Take(const std::string& phase, double wall, double cpu) {
        auto it = std::find_if(mins_.begin(), mins_.end(), [&](const Entry& e) { return e.phase == phase; });
        if (it == mins_.end()) {
            mins_.push_back(Entry{phase, wall, cpu});
            return;
        }
        it->wall = std::min(it->wall, wall);
        it->cpu = std::min(it->cpu, cpu);
    }
    double Wall() const {
        double sum = 0;
        for (const Entry& e : mins_)
            sum += e.wall;
        return sum;
    }
    double Cpu() const {
        double sum = 0;
        for (const Entry& e : mins_)
            sum += e.cpu;
        return sum;
    }
    void Print(const char* title) const {
        std::printf("%s, least time per phase:\n", title);
        for (const Entry& e : mins_)
            std::printf("  %-32s %6.2f s (processor %.2f s)\n", e.phase.c_str(), e.wall, e.cpu);
        std::printf("  %-32s %6.2f s (processor %.2f s)\n", "sum", Wall(), Cpu());
    }

  private:
    struct Entry {
        std::string phase;
        double wall;
        double cpu;
    };
    std::vector<Entry> mins_;
};

struct ScanFigures {
    size_t files = 0;
    size_t keys = 0;
    size_t finds = 0;
};

template <typename Registry>
ScanFigures Scan(const std::vector<std::string>& database, PhaseMins& phases) {
    Registry registry;
    win32::FileSystemWin files;
    win32::ProcessesWin processes;
    win32::ShellWin shell;
    win32::ClockWin clock;
    win32::SystemWin system;
    AppState state;
    PumpingUi ui(state.currentOperation);
    Ports ports{registry, files, processes, shell, clock, system, ui};
    state.folders.windowsDir = system.WindowsDirectory();
    state.folders.systemDir = system.SystemDirectory();
    state.folders.cookies = std::string(kTreeRoot) + "\\Cookies";
    state.folders.programsDir = "C:\\Program Files";
    state.lstSettingsFile.assign(12, "0");
    state.lstSettingsFile[kScanModeLine] = "1";
    state.lstCustomScanSettings = {"1", "1", "1", "1", "1", "1", "1"};
    state.lstDBaseFile = database;
    RegistryAccess access(registry, ui);
    FileFinder finder(state, files, ui);
    RegScan regScan(state, registry, ui);
    Scanner scanner(state, ports, access, finder, regScan);
    scanner.StartScan();
    for (size_t i = 0; i + 1 < ui.phases.size(); ++i) {
        phases.Take(ui.phases[i].name, static_cast<double>(ui.phases[i + 1].tick - ui.phases[i].tick) / 1000.0,
                    ui.phases[i + 1].cpu - ui.phases[i].cpu);
    }
    return ScanFigures{state.lstHDDItems.Count(), state.lstRegScan.Count(),
                       state.lstScanResult.size() + state.lstIremovable.size()};
}

// The inventory with an empty cache, then again with the cache the first run left.
void TimeInventory() {
    win32::RegistryWin registry;
    win32::FileSystemWin files;
    win32::SystemWin system;
    win32::TrustWin trust;
    AppState state;
    PumpingUi ui(state.currentOperation);
    state.appFolder = std::string(kTreeRoot) + "\\Inventory";
    files.CreateDirectory(state.appFolder);
    files.DeleteFile(state.appFolder + "\\" + inventory::kCacheFileName);
    double seconds[2] = {};
    size_t entries = 0;
    size_t verified[2] = {};
    for (int run = 0; run < 2; ++run) {
        inventory::InventoryBuilder builder(registry, files, system, trust, ui);
        LARGE_INTEGER start = Now();
        entries = builder.Build(state).size();
        seconds[run] = Seconds(start);
        verified[run] = builder.verifiedCount;
    }
    std::printf(
        "inventory: %zu entries; first run %.3f s (%zu signatures checked), second run %.3f s (%zu checked), "
        "second / first %.3f\n",
        entries, seconds[0], verified[0], seconds[1], verified[1], seconds[1] / seconds[0]);
}

int Run(size_t files, size_t keys) {
    LARGE_INTEGER start = Now();
    Planted planted = Plant(files, keys);
    std::printf("planted %zu entries and %zu keys in %.1f s\n", planted.disk.size(), planted.registry.size(),
                Seconds(start));
    bench::Names names(5);
    std::vector<std::string> database =
        bench::GenerateDatabase(names, planted.disk, planted.registry, planted.cookies, kItems);
    const std::vector<std::string> browserItems = PlantBrowsers();
    database.insert(database.end(), browserItems.begin(), browserItems.end());
    start = Now();
    const bench::PersistencePlant persistence = bench::PlantPersistence(kTasks, kServices, kShortcuts);
    std::printf("planted %zu tasks, %zu services and %zu shortcuts in %.1f s\n", persistence.tasks,
                persistence.services, persistence.shortcuts, Seconds(start));
    database.insert(database.end(), persistence.items.begin(), persistence.items.end());
    if (std::getenv("PELLORA_BENCH_PLACES")) {
        // Only the starting places, each autostart place timed alone.
        const bench::PersistenceFigures alone = bench::PersistencePart(persistence.items);
        std::printf("task items %.3f s, service items %.3f s, other items %.3f s, references %.3f s\n",
                    alone.taskSeconds, alone.serviceSeconds, alone.otherSeconds, alone.referenceSeconds);
        return 0;
    }
    win32::SystemWin system;
    std::string windows = system.WindowsDirectory();

    BareFigures bare = BareWalk(windows);  // warms the caches of both
    Best bestBare, bestScan, bestBrowsers, bestPersistence;
    size_t browserFinds = 0;
    bench::PersistenceFigures persistenceFigures;
    PhaseMins bareMins, scanMins;
    ScanFigures figures;
    for (int round = 0; round < kRounds; ++round) {
        Clock clock;
        bare = BareWalk(windows);
        bestBare.Take(clock);
        bareMins.Take("disk", bare.diskSeconds, bare.diskCpu);
        bareMins.Take("registry", bare.registrySeconds, bare.registryCpu);
        clock = Clock();
        figures = Scan<win32::RegistryWin>(database, scanMins);
        bestScan.Take(clock);
        clock = Clock();
        browserFinds = BrowserPart(database);
        bestBrowsers.Take(clock);
        clock = Clock();
        persistenceFigures = bench::PersistencePart(persistence.items);
        bestPersistence.Take(clock);
    }
    std::printf("bare walk: %zu entries, %zu keys\n", bare.entries, bare.keys);
    std::printf("custom scan: %zu entries, %zu keys, %zu items, %zu finds\n", figures.files, figures.keys,
                database.size() - 1, figures.finds);
    bareMins.Print("bare walk");
    scanMins.Print("custom scan");
    std::printf("best whole runs: bare walk %.2f s (processor %.2f s), scan %.2f s (processor %.2f s)\n", bestBare.wall,
                bestBare.cpu, bestScan.wall, bestScan.cpu);
    std::printf("scan / bare walk, whole runs: %.3f (processor %.3f)\n", bestScan.wall / bestBare.wall,
                bestScan.cpu / bestBare.cpu);
    std::printf("scan / bare walk, phase sums: %.3f (processor %.3f)\n", scanMins.Wall() / bareMins.Wall(),
                scanMins.Cpu() / bareMins.Cpu());
    std::printf(
        "browser part (%d Chrome profiles of %d extensions, %d Firefox add-ons, %zu extension and hijack "
        "items, %zu finds): best %.3f s (processor %.3f s), %.2f %% of the custom scan (processor %.2f %%)\n",
        kBrowserProfiles, kExtensionsPerProfile, kExtensionsPerProfile, browserItems.size(), browserFinds,
        bestBrowsers.wall, bestBrowsers.cpu, 100.0 * bestBrowsers.wall / bestScan.wall,
        bestScan.cpu > 0 ? 100.0 * bestBrowsers.cpu / bestScan.cpu : 0.0);
    std::printf(
        "persistence part (%zu tasks, %zu services, %zu shortcuts planted; %zu items, %zu finds; %zu autostart "
        "entries, %zu references to the found file): best %.3f s (processor %.3f s), %.2f %% of the custom scan "
        "(processor %.2f %%)\n",
        persistence.tasks, persistence.services, persistence.shortcuts, persistence.items.size(),
        persistenceFigures.finds, persistenceFigures.entries, persistenceFigures.references, bestPersistence.wall,
        bestPersistence.cpu, 100.0 * bestPersistence.wall / bestScan.wall,
        bestScan.cpu > 0 ? 100.0 * bestPersistence.cpu / bestScan.cpu : 0.0);
    std::printf("  last run: task items %.3f s, service items %.3f s, other items %.3f s, references %.3f s\n",
                persistenceFigures.taskSeconds, persistenceFigures.serviceSeconds, persistenceFigures.otherSeconds,
                persistenceFigures.referenceSeconds);
    TimeInventory();
    return 0;
}

}  // namespace
}  // namespace pellora

int main(int argc, char** argv) {
    size_t files = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 200'000;
    size_t keys = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 50'000;
    return pellora::Run(files, keys);
}
