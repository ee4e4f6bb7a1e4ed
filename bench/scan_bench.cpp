// Matching benchmarks of the scan: a 30,000-item database of every kind against a generated
// listing of 1,000,000 disk paths, 300,000 registry keys and 2,000 cookie files.
//
//   BM_IndexedWalk/plan:0       the database walk of a custom scan with every option on
//   BM_IndexedWalk/plan:1       the walk of a file/folder scan (path, fold, file on the listing)
//   BM_RowByRowWalk/plan:...    the same walks comparing every item with every listing row, as
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
#include <string>
#include <vector>

#include "core/state/app_state.h"
#include "core/scan/reference_matching.h"
#include "core/scan/scanner.h"
#include "fakes/fake_platform.h"
#include "scan_data.h"

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

struct Data {
    fakes::FakePlatform platform;
    NullUi ui;
    Ports ports{
        platform.registry, platform.files, platform.processes, platform.shell, platform.clock, platform.system, ui};
    AppState state;
};

Data& Shared() {
    static std::unique_ptr<Data> data = [] {
        auto d = std::make_unique<Data>();
        bench::Names names(7);
        std::vector<std::string> disk, registry;
        disk.reserve(kDiskRows);
        bench::GenerateTree(names, "C:", kDiskRows, [&](const std::string& path, bool) { disk.push_back(path); });
        for (const std::string& row : disk)
            d->state.lstHDDItems.Add(row);
        d->state.lstHDDItems.ShrinkToFit();
        bench::GenerateKeys(names, "HKEY_CURRENT_USER\\Software", kRegistryRows * 2 / 3, registry);
        bench::GenerateKeys(names, "HKEY_LOCAL_MACHINE\\System", kRegistryRows - registry.size(), registry);
        for (const std::string& row : registry)
            d->state.lstRegScan.Add(row);
        d->state.lstRegScan.ShrinkToFit();
        d->state.lstCache = bench::GenerateCookies(names, kCookieRows);
        d->state.lstDBaseFile = bench::GenerateDatabase(names, disk, registry, d->state.lstCache, kItems);
        for (int i = 0; i < 2000; ++i)
            d->state.lstIgnoreListFile.push_back("file|" + names.Pick(disk) + "|x");
        for (uint32_t i = 0; i < 80; ++i)
            d->state.lstProcesses.push_back(ProcessRow{names.Word() + ".exe", 100 + i});
        d->state.folders.programsDir = "C:\\Program Files";
        return d;
    }();
    return *data;
}

ScanPlan PlanOf(int64_t which) {
    return which == 0 ? ScanPlan::Custom(true, true, true, true, true) : ScanPlan::FileFolder();
}

// Runs one walk of `plan` over `database` with fresh result tables and counters; the number of
// finds.
size_t Walk(Data& d, const ScanPlan& plan, bool indexed, const std::vector<std::string>& database) {
    d.state.lstScanResult.clear();
    d.state.lstIremovable.clear();
    d.state.counters = ScanCounters{};
    std::vector<std::string> full = database;
    full.swap(d.state.lstDBaseFile);
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

std::vector<std::string> Slice(const std::vector<std::string>& database) {
    std::vector<std::string> slice{database[0]};
    for (size_t i = 1; i < database.size(); i += kSliceStep)
        slice.push_back(database[i]);
    return slice;
}

// Seconds the whole database would take, from the time of a slice (linear in the items).
double ScaledToAllItems(double sliceSeconds, size_t sliceItems) {
    return sliceSeconds * static_cast<double>(kItems) / static_cast<double>(sliceItems);
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
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
                for (size_t r = 0; r < d.state.lstRegScan.Count(); ++r) {
                    hits += ContainsPiece(d.state.lstRegScan[r], object);
                }
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
