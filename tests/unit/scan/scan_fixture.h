// A scanner over the in-memory platform, with the folders of a small Windows machine, and
// helpers to write the database and the scan settings.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/state/app_state.h"
#include "core/scan/scanner.h"
#include "fakes/fake_platform.h"

namespace pellora {

class ScanFixture : public ::testing::Test {
  protected:
    ScanFixture() {
        state.folders.systemDir = "C:\\WINDOWS\\system32";
        state.folders.windowsDir = "C:\\WINDOWS";
        state.folders.tempDir = "C:\\TEMP";
        state.folders.appData = "C:\\Users\\me\\AppData";
        state.folders.cookies = "C:\\Users\\me\\Cookies";
        state.lstSettingsFile.assign(12, "0");
        state.lstDBaseFile = {"Version 1"};
    }

    void Items(const std::vector<std::string>& lines) {
        state.lstDBaseFile.insert(state.lstDBaseFile.end(), lines.begin(), lines.end());
    }
    void Mode(const std::string& mode) { SetLine(state.lstSettingsFile, kScanModeLine, mode); }
    // Custom scan options: full hard disk, processes, registry, full registry, cookies.
    void Custom(bool fullDisk, bool processes, bool registry, bool fullRegistry, bool cookies) {
        Mode("1");
        state.lstCustomScanSettings.assign(8, "0");
        state.lstCustomScanSettings[0] = fullDisk ? "1" : "0";
        state.lstCustomScanSettings[1] = processes ? "1" : "0";
        state.lstCustomScanSettings[2] = registry ? "1" : "0";
        state.lstCustomScanSettings[5] = fullRegistry ? "1" : "0";
        state.lstCustomScanSettings[6] = cookies ? "1" : "0";
    }
    static std::vector<std::string> Objects(const std::vector<ResultRow>& rows) {
        std::vector<std::string> out;
        for (const ResultRow& row : rows)
            out.push_back(row.object);
        return out;
    }
    std::vector<std::string> Found() const { return Objects(state.lstScanResult); }

    fakes::FakePlatform p;
    AppState state;
    RegistryAccess registry{p.registry, p.ui};
    FileFinder finder{state, p.files, p.ui};
    RegScan regScan{state, p.registry, p.ui};
    Scanner scanner{state, p.ports, registry, finder, regScan};
};

}  // namespace pellora
