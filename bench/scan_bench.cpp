// Matching benchmarks of the scan: a 30,000-item database of every kind against a generated
// listing of 1,000,000 disk paths, 300,000 registry keys and 2,000 cookie files.
//
//   BM_IndexedWalk/custom       the database walk of a custom scan with every option on
//   BM_IndexedWalk/fileFolder   the walk of a file/folder scan (path, fold, file on the listing)
//   BM_RowByRowWalk/...         the same walks comparing every item with every listing row, as
//                               the scan's rules state them, on every 199th item; the counter
//                               "all_items_s" scales the time to the whole database (the cost is
//                               linear in both sizes)
//   BM_BareRowByRow             only the per-row comparisons of that slice, without captions,
//                               yields and recording, scaled the same way
//   BM_ListingMemory            bytes per listed path of the disk listing, and of the indexes
//
// The listings are built once, outside the timings; each walk includes building its indexes.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <chrono>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/app/app_state.h"
#include "core/scan/reference_matching.h"
#include "core/scan/scanner.h"
#include "fakes/fake_platform.h"

namespace pellora {
namespace {

constexpr size_t kDiskRows = 1'000'000;
constexpr size_t kRegistryRows = 300'000;
constexpr size_t kCookieRows = 2'000;
constexpr size_t kItems = 30'000;
// Every 199th item: a step prime to the cycle of kinds in the generated database.
constexpr size_t kSliceStep = 199;

class NullUi : public UiPort {
  public:
    void Yield() override {}
    MsgAnswer Message(const std::string&, const std::string&, MsgButtons, MsgIcon) override { return MsgAnswer::Ok; }
    void Changed(View) override {}
};

// Names that look like the names of a real disk and registry.
class Names {
  public:
    explicit Names(unsigned seed) : random_(seed) {
        const char* syllables[] = {"win",  "sys",   "mic",  "ro",   "soft", "net",   "data", "app",
                                   "ser",  "vice",  "core", "lib",  "cfg",  "up",    "date", "ms",
                                   "x",    "64",    "res",  "font", "web",  "cache", "user", "log",
                                   "temp", "shell", "kit",  "tool", "lang", "en",    "us",   "pack"};
        for (int i = 0; i < 6000; ++i) {
            std::string word;
            for (int n = 2 + Number(3); n > 0; --n)
                word += syllables[Number(32)];
            if (Number(4) == 0)
                word[0] = static_cast<char>(word[0] - 'a' + 'A');
            words_.push_back(word);
        }
    }
    int Number(int below) { return std::uniform_int_distribution<int>(0, below - 1)(random_); }
    const std::string& Word() { return words_[Number(static_cast<int>(words_.size()))]; }
    std::string Extension() {
        const char* common[] = {"dll", "exe", "txt",      "ini", "dat", "log", "png",  "xml", "js",  "html",
                                "sys", "cab", "manifest", "mui", "cat", "inf", "json", "css", "ico", "lnk"};
        return Number(50) == 0 ? Word().substr(0, 3) : common[Number(20)];
    }

  private:
    std::mt19937 random_;
    std::vector<std::string> words_;
};

struct Data {
    fakes::FakePlatform platform;
    NullUi ui;
    Ports ports{
        platform.registry, platform.files, platform.processes, platform.shell, platform.clock, platform.system, ui};
    AppState state;
    std::vector<std::string> disk;  // the listing rows, to pick objects that are found
    std::vector<std::string> registry;
};

// A folder's entries, then its subfolders', as the hard-disk listing lists them.
void ListFolder(Names& names, const std::string& folder, int depth, std::vector<std::string>& rows) {
    std::vector<std::string> subfolders;
    int files = 2 + names.Number(depth < 2 ? 6 : 25);
    int folders = depth >= 7 ? 0 : names.Number(depth < 3 ? 9 : 4);
    for (int i = 0; i < files + folders && rows.size() < kDiskRows; ++i) {
        std::string path = folder + "\\" + names.Word();
        if (i < files) {
            path += "." + names.Extension();
        } else {
            subfolders.push_back(path);
        }
        rows.push_back(path);
    }
    for (const std::string& sub : subfolders) {
        if (rows.size() < kDiskRows)
            ListFolder(names, sub, depth + 1, rows);
    }
}

void ListKey(Names& names, const std::string& key, int depth, std::vector<std::string>& rows) {
    rows.push_back(key);
    int subkeys = depth >= 6 ? 0 : names.Number(depth < 2 ? 12 : 5);
    for (int i = 0; i < subkeys && rows.size() < kRegistryRows; ++i) {
        std::string name = names.Number(8) == 0 ? "{" + std::to_string(names.Number(1 << 30)) + "-" + names.Word() + "}"
                                                : names.Word();
        ListKey(names, key + "\\" + name, depth + 1, rows);
    }
}

std::string RareExtension(Names& names, const Data& data) {
    const std::string common =
        "|dll|exe|txt|ini|dat|log|png|xml|js|html|sys|cab|manifest|mui|cat|inf|json|css|ico|lnk|";
    for (int tries = 0; tries < 1000; ++tries) {
        const std::string& row = data.disk[names.Number(static_cast<int>(data.disk.size()))];
        size_t dot = row.rfind('.');
        if (dot == std::string::npos || row.find('\\', dot) != std::string::npos)
            continue;
        std::string ext = row.substr(dot + 1);
        if (common.find("|" + ext + "|") == std::string::npos)
            return ext;
    }
    return "zzz";
}

std::string Database(Names& names, const Data& data, size_t index) {
    auto pick = [&](const std::vector<std::string>& rows) { return rows[names.Number(static_cast<int>(rows.size()))]; };
    bool present = names.Number(100) == 0;  // about one item in a hundred names something that is there
    std::string object;
    const char* type = "";
    switch (index % 20) {
        case 0:
        case 1:
        case 2:
        case 3:
        case 4:
            type = "path";
            object = present ? pick(data.disk) : "C:\\Program Files\\" + names.Word() + "\\" + names.Word() + ".exe";
            break;
        case 5:
        case 6:
            type = "folder";
            object = present ? pick(data.disk) : "%ProgramsDir%\\" + names.Word() + "Bar";
            break;
        case 7:
        case 8:
        case 9:
            type = "regval";
            object = "HKEY_CURRENT_USER\\Software\\" + names.Word() + "," + names.Word();
            break;
        case 10:
        case 11:
        case 12:
            type = "regkey";
            object = "HKEY_LOCAL_MACHINE\\Software\\" + names.Word();
            break;
        case 13:
        case 14:
            type = "cookie";
            object = present ? pick(data.state.lstCache).substr(5, 6) : names.Word() + "ads";
            break;
        case 15:
        case 16: {
            type = "file";
            std::string name = pick(data.disk);
            name = name.substr(name.rfind('\\') + 1);
            if (names.Number(300) == 0) {
                // A star pattern of one of the rarer extensions: it finds some hundred files.
                object = "*." + RareExtension(names, data);
            } else {
                object = present ? name : names.Word() + "_mal." + names.Extension();
            }
            break;
        }
        default:
            type = "regsearch";
            if (present) {
                // A key of its own name: the key and the keys below it are found.
                std::string key = pick(data.registry);
                for (int tries = 0; tries < 1000 && key.back() != '}'; ++tries)
                    key = pick(data.registry);
                object = key.substr(key.rfind('\\') + 1);
            } else {
                object = names.Word() + "spy";
            }
    }
    std::string comment = index % 10 == 0 ? "http://help.example/" + std::to_string(index) : "";
    return std::string(type) + "|" + object + "|Threat" + std::to_string(index % 97) + "|" + comment;
}

Data& Shared() {
    static std::unique_ptr<Data> data = [] {
        auto d = std::make_unique<Data>();
        Names names(7);
        d->disk.reserve(kDiskRows);
        while (d->disk.size() < kDiskRows)
            ListFolder(names, "C:\\" + names.Word(), 0, d->disk);
        for (const std::string& row : d->disk)
            d->state.lstHDDItems.Add(row);
        d->state.lstHDDItems.ShrinkToFit();
        for (const char* root : {"HKEY_CURRENT_USER\\Software", "HKEY_LOCAL_MACHINE\\System"}) {
            while (d->registry.size() < kRegistryRows * (root[5] == 'C' ? 2 : 3) / 3)
                ListKey(names, root, 0, d->registry);
        }
        for (const std::string& row : d->registry)
            d->state.lstRegScan.Add(row);
        d->state.lstRegScan.ShrinkToFit();
        for (size_t i = 0; i < kCookieRows; ++i)
            d->state.lstCache.push_back("user@" + names.Word() + "[1].txt");
        d->state.lstDBaseFile.push_back("Version 2026.12");
        for (size_t i = 1; i <= kItems; ++i)
            d->state.lstDBaseFile.push_back(Database(names, *d, i));
        for (int i = 0; i < 2000; ++i) {
            d->state.lstIgnoreListFile.push_back("file|" + d->disk[names.Number(static_cast<int>(kDiskRows))] + "|x");
        }
        for (int i = 0; i < 80; ++i)
            d->state.lstProcesses.push_back(ProcessRow{names.Word() + ".exe", 100u + i});
        d->state.folders.programsDir = "C:\\Program Files";
        return d;
    }();
    return *data;
}

ScanPlan PlanOf(int64_t which) {
    return which == 0 ? ScanPlan::Custom(true, true, true, true, true) : ScanPlan::FileFolder();
}

// Runs one walk of `plan` over `database`, with fresh result tables and counters.
size_t Walk(Data& d, const ScanPlan& plan, bool indexed, const std::vector<std::string>& database) {
    d.state.lstScanResult.clear();
    d.state.lstIremovable.clear();
    d.state.counters = ScanCounters{};
    std::vector<std::string> full;
    full.swap(d.state.lstDBaseFile);
    d.state.lstDBaseFile = database;
    RegistryAccess registry(d.platform.registry, d.ui);
    FileFinder finder(d.state, d.platform.files, d.ui);
    RegScan regScan(d.state, d.platform.registry, d.ui);
    Scanner scanner(d.state, d.ports, registry, finder, regScan);
    scanner.SetIndexedMatching(indexed);
    d.state.busy = true;
    scanner.ScanDatabase(plan);
    d.state.lstDBaseFile.swap(full);
    return d.state.lstScanResult.size() + d.state.lstIremovable.size();
}

// Seconds the whole database would take, from the time of a slice (linear in the items).
double ScaledToAllItems(double sliceSeconds, size_t sliceItems) {
    return sliceSeconds * static_cast<double>(kItems) / static_cast<double>(sliceItems);
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::vector<std::string> Slice(const std::vector<std::string>& database) {
    std::vector<std::string> slice{database[0]};
    for (size_t i = 1; i < database.size(); i += kSliceStep)
        slice.push_back(database[i]);
    return slice;
}

void BM_IndexedWalk(benchmark::State& bench) {
    Data& d = Shared();
    ScanPlan plan = PlanOf(bench.range(0));
    const std::vector<std::string> database = d.state.lstDBaseFile;
    size_t finds = 0;
    for (auto _ : bench)
        finds = Walk(d, plan, true, database);
    bench.counters["finds"] = static_cast<double>(finds);
    bench.counters["items"] = static_cast<double>(database.size() - 1);
    for (const auto* table : {&d.state.lstScanResult, &d.state.lstIremovable}) {
        for (const ResultRow& row : *table)
            bench.counters["finds_" + row.type] += 1;
    }
}
BENCHMARK(BM_IndexedWalk)->Arg(0)->Arg(1)->ArgName("plan")->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_RowByRowWalk(benchmark::State& bench) {
    Data& d = Shared();
    ScanPlan plan = PlanOf(bench.range(0));
    const std::vector<std::string> slice = Slice(d.state.lstDBaseFile);
    double seconds = 0;
    for (auto _ : bench) {
        auto start = std::chrono::steady_clock::now();
        Walk(d, plan, false, slice);
        seconds = Seconds(start);
    }
    bench.counters["slice_items"] = static_cast<double>(slice.size() - 1);
    bench.counters["all_items_s"] = ScaledToAllItems(seconds, slice.size() - 1);
}
BENCHMARK(BM_RowByRowWalk)->Arg(0)->Arg(1)->ArgName("plan")->Unit(benchmark::kSecond)->Iterations(1);

// Only the comparisons of every item of the slice with every row of its listing.
void BM_BareRowByRow(benchmark::State& bench) {
    Data& d = Shared();
    const std::vector<std::string> slice = Slice(d.state.lstDBaseFile);
    double seconds = 0;
    for (auto _ : bench) {
        auto start = std::chrono::steady_clock::now();
        size_t hits = 0;
        SignatureItem item;
        for (size_t i = 1; i < slice.size(); ++i) {
            ItemKind kind = KindOfLine(slice[i]);
            SplitItem(slice[i], item);
            const std::string& object = item.object();
            if (kind == ItemKind::File || kind == ItemKind::Path || kind == ItemKind::Folder) {
                for (size_t r = 0; r < d.state.lstHDDItems.Count(); ++r) {
                    std::string_view row = d.state.lstHDDItems[r];
                    hits += kind == ItemKind::File   ? FilePatternMatchesPath(object, row)
                            : kind == ItemKind::Path ? row == object
                                                     : IsFolderOrBelow(row, object);
                }
            } else if (kind == ItemKind::RegSearch) {
                for (size_t r = 0; r < d.state.lstRegScan.Count(); ++r)
                    hits += ContainsPiece(d.state.lstRegScan[r], object);
            } else if (kind == ItemKind::Cookie) {
                for (const std::string& row : d.state.lstCache)
                    hits += ContainsPiece(row, object);
            }
        }
        benchmark::DoNotOptimize(hits);
        seconds = Seconds(start);
    }
    bench.counters["all_items_s"] = ScaledToAllItems(seconds, slice.size() - 1);
}
BENCHMARK(BM_BareRowByRow)->Unit(benchmark::kSecond)->Iterations(1);

// Heap bytes held by the indexes of `plan` once built.
size_t IndexBytes(Data& d, const ScanPlan& plan) {
    size_t before = mallinfo2().uordblks;
    auto matches = std::make_unique<ListingMatches>();
    SignatureItem item;
    for (size_t i = 1; i < d.state.lstDBaseFile.size(); ++i) {
        if (auto test = plan.ListingTestOf(KindOfLine(d.state.lstDBaseFile[i]))) {
            SplitItem(d.state.lstDBaseFile[i], item);
            matches->AddQuery(*test, item.object());
        }
    }
    d.state.busy = true;
    matches->Build(d.state, d.ui);
    return mallinfo2().uordblks - before;
}

void BM_ListingMemory(benchmark::State& bench) {
    Data& d = Shared();
    size_t textBytes = 0;
    for (size_t i = 0; i < d.state.lstHDDItems.Count(); ++i)
        textBytes += d.state.lstHDDItems[i].size();
    size_t customBytes = 0, fileFolderBytes = 0;
    for (auto _ : bench) {
        customBytes = IndexBytes(d, ScanPlan::Custom(true, true, true, true, true));
        fileFolderBytes = IndexBytes(d, ScanPlan::FileFolder());
    }
    double rows = static_cast<double>(d.state.lstHDDItems.Count());
    bench.counters["path_text_bytes"] = static_cast<double>(textBytes) / rows;
    bench.counters["listing_bytes"] = static_cast<double>(d.state.lstHDDItems.MemoryLength()) / rows;
    bench.counters["custom_index_bytes"] = static_cast<double>(customBytes) / rows;
    bench.counters["fileFolder_index_bytes"] = static_cast<double>(fileFolderBytes) / rows;
}
BENCHMARK(BM_ListingMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pellora

BENCHMARK_MAIN();
