// Browser-extension and hijack items (type words "extension" and "hijack") in a database this
// scanner reads: their first four letters select none of the database walk's kinds, so every mode
// counts them as scanned and no file, folder, key, cookie or process with the same text matches
// them; only the browser part of the scan does (browser_scan_test.cpp), and here no browser is.
#include <gtest/gtest.h>

#include "core/database/item_parser.h"
#include "scan_fixture.h"

namespace pellora {
namespace {

using Strings = std::vector<std::string>;

constexpr const char* kId = "nnpnnpemnckcfdebeekibpiijlicmpom";

class BrowserItems : public ScanFixture, public ::testing::WithParamInterface<int> {
  protected:
    BrowserItems() {
        const std::string id = kId;
        // Objects spelled like the items, where each of the scanner's kinds would look.
        p.files.AddFile("C:\\Data\\Evil.exe");
        p.files.AddFile("C:\\Data\\" + id);
        p.files.AddFolder("C:\\Data\\" + id + "-folder");
        p.files.AddFile("C:\\Users\\me\\Cookies\\me@" + id + ".txt");
        p.files.AddFile("C:\\Users\\me\\Cookies\\me@evil-search.txt");
        p.registry.AddKey("HKEY_CURRENT_USER\\Software\\" + id);
        p.registry.AddString("HKEY_CURRENT_USER\\Software\\Start", "Start Page", "http://evil-search.example/");
        p.processes.Add(id, 7);
        state.lstSelectedFolders = {"C:\\Data", ""};
        Items({"extension|" + id + "|Extension.DataTheft: Cyberhaven Security Extension|",
               "EXTENSION|" + id + "-folder|Extension.Adware|", "hijack|evil-search|Hijack.Search: evil-search|",
               "path|C:\\Data\\Evil.exe|Trojan|"});
    }
};

TEST(BrowserItemKinds, SelectNoneOfTheScannersKinds) {
    EXPECT_EQ(KindOfLine(std::string("extension|") + kId + "|Extension.Adware|"), ItemKind::Unknown);
    EXPECT_EQ(KindOfLine("Hijack|evil-search|Hijack.Search|"), ItemKind::Unknown);
}

TEST_P(BrowserItems, AreCountedAsScannedAndNeverMatched) {
    switch (GetParam()) {
        case 0:
            Mode("0");
            break;
        case 1:
            Custom(true, true, true, true, true);
            break;
        default:
            Mode("2");
            break;
    }
    scanner.StartScan();
    EXPECT_EQ(Found(), (Strings{"C:\\Data\\Evil.exe"}));
    EXPECT_TRUE(state.lstIremovable.empty());
    EXPECT_EQ(state.counters.scannedObjects, 4);
    EXPECT_EQ(state.counters.processesIdentified, 0);
}

INSTANTIATE_TEST_SUITE_P(SmartCustomAndFileFolderScans, BrowserItems, ::testing::Values(0, 1, 2));

}  // namespace
}  // namespace pellora
