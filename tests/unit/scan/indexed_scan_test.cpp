// The indexed scan against the item-by-row scan on generated databases and listings: the same
// result rows in the same order, the same counters, the same captions when each row is
// recorded and at the end.
#include <gtest/gtest.h>

#include <random>

#include "scan_fixture.h"

namespace pellora {
namespace {

struct Inputs {
    std::vector<std::string> database;
    std::vector<std::string> cookies, disk, registry, ignore, processes;
};

struct Outcome {
    std::vector<std::tuple<std::string, int, std::string, std::string, std::string>> results, irremovable;
    std::vector<int64_t> counters;
    std::vector<std::string> captions;  // on show when each row was recorded, then at the end
};

Inputs Generate(unsigned seed) {
    std::mt19937 random(seed);
    auto number = [&](int below) { return std::uniform_int_distribution<int>(0, below - 1)(random); };
    auto word = [&](const std::string& letters, int maxLength) {
        std::string w;
        for (int i = number(maxLength + 1); i > 0; --i)
            w += letters[number(static_cast<int>(letters.size()))];
        return w;
    };
    auto pick = [&](const std::vector<std::string>& rows) { return rows[number(static_cast<int>(rows.size()))]; };
    Inputs in;
    for (int i = 0; i < 300; ++i)
        in.disk.push_back("C:\\" + word("\\aAb.", 8) + "\\" + word("aAbx.*", 5));
    for (int i = 0; i < 200; ++i)
        in.registry.push_back("HKEY_USERS\\" + word("\\aAb=", 10));
    for (int i = 0; i < 40; ++i)
        in.cookies.push_back(word("aAbx.", 6) + ".txt");
    for (int i = 0; i < 10; ++i)
        in.ignore.push_back(pick(in.disk).substr(number(5)));
    for (int i = 0; i < 5; ++i) {
        std::string row = pick(in.disk);
        in.processes.push_back(row.substr(row.rfind('\\') + 1));
    }
    in.database.push_back("version");
    const char* kinds[] = {"file", "cookie", "regsearch", "path", "folder", "#file", "@path", "junk"};
    for (int i = 0; i < 250; ++i) {
        std::string kind = kinds[number(8)];
        std::string object;
        switch (number(4)) {
            case 0:
                object = pick(in.disk).substr(0, 3 + number(12));
                break;
            case 1:
                object = pick(in.disk);
                break;
            case 2:
                object = word("aAbx.*", 5);
                break;
            default:
                object = pick(in.registry).substr(10, number(6));
        }
        std::string comment = number(4) == 0 ? "http://help/" + std::to_string(i) : "";
        in.database.push_back(kind + "|" + object + "|Cat" + std::to_string(i % 7) + "|" + comment);
    }
    return in;
}

class Walk : public ScanFixture {
  public:
    Outcome Run(const Inputs& in, const ScanPlan& plan, bool indexed) {
        state.lstDBaseFile = in.database;
        for (const auto& row : in.disk)
            state.lstHDDItems.Add(row);
        for (const auto& row : in.registry)
            state.lstRegScan.Add(row);
        state.lstCache = in.cookies;
        state.lstIgnoreListFile = in.ignore;
        for (const auto& name : in.processes)
            state.lstProcesses.push_back(ProcessRow{name, 1});
        state.busy = true;
        scanner.SetIndexedMatching(indexed);

        Outcome out;
        size_t recorded = 0;
        p.ui.onYield = [&] {
            size_t now = state.lstScanResult.size() + state.lstIremovable.size();
            if (now != recorded)
                out.captions.push_back(state.currentOperation);
            recorded = now;
        };
        scanner.ScanDatabase(plan);
        out.captions.push_back(state.currentOperation);
        for (const ResultRow& r : state.lstScanResult)
            out.results.emplace_back(r.type, r.image, r.category, r.object, r.comment);
        for (const ResultRow& r : state.lstIremovable)
            out.irremovable.emplace_back(r.type, r.image, r.category, r.object, r.comment);
        const ScanCounters& c = state.counters;
        out.counters = {c.scannedObjects,    c.objectsRecognized,   c.objectsIgnored,
                        c.newObjects,        c.processesIdentified, c.filesIdentified,
                        c.foldersIdentified, c.regKeysIdentified,   c.regValuesIdentified};
        return out;
    }
    void TestBody() override {}
};

TEST(IndexedScan, GivesWhatTheItemByRowScanGives) {
    const ScanPlan plans[] = {ScanPlan::Custom(true, true, true, true, true), ScanPlan::FileFolder()};
    size_t finds = 0;
    for (unsigned seed = 1; seed <= 12; ++seed) {
        Inputs in = Generate(seed);
        for (const ScanPlan& plan : plans) {
            Outcome indexed = Walk().Run(in, plan, true);
            Outcome reference = Walk().Run(in, plan, false);
            EXPECT_EQ(indexed.results, reference.results) << "seed " << seed;
            EXPECT_EQ(indexed.irremovable, reference.irremovable) << "seed " << seed;
            EXPECT_EQ(indexed.counters, reference.counters) << "seed " << seed;
            EXPECT_EQ(indexed.captions, reference.captions) << "seed " << seed;
            finds += reference.results.size() + reference.irremovable.size();
        }
    }
    EXPECT_GT(finds, 1000u);  // the data must make the comparison mean something
}

}  // namespace
}  // namespace pellora
