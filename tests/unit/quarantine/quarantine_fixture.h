// A quarantine wired to the in-memory platform, with a stand-in for the registry editor: an
// export writes "[key path]" into the named file when the key exists, an import creates the key
// the file names. The application folder is C:\Pellora and the current package 6-12-2026-9-5-7.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/quarantine/quarantine.h"
#include "fakes/fake_platform.h"

namespace pellora::testing {

class QuarantineTest : public ::testing::Test {
  protected:
    QuarantineTest() {
        state.appFolder = "C:\\Pellora";
        state.folders.windowsDir = "C:\\WINDOWS";
        state.folders.cookies = "C:\\Cookies";
        state.scanStamp = "6-12-2026-9-5-7";
        p.files.AddFolder("C:\\WINDOWS");
        p.files.AddFolder("C:\\Pellora\\Quarantine");
        p.processes.onRun = [this](const std::string& line) { return FakeRegedit(line); };
    }

    static constexpr const char* kPackage = "C:\\Pellora\\Quarantine\\6-12-2026-9-5-7";
    std::string InPackage(const std::string& name) const { return std::string(kPackage) + "\\" + name; }

    ResultRow& AddRow(const std::string& type, const std::string& object, bool checked = true) {
        state.lstScanResult.push_back(ResultRow{type, kImageFile, "Adware", object, "", checked});
        return state.lstScanResult.back();
    }

    // Lists the packages and checks the one named `name`.
    void CheckPackage(const std::string& name) {
        quarantine.LoadToQuarantineList();
        for (auto& row : state.lstQuarantinedList)
            row.checked = row.checked || row.name == name;
    }

    bool FakeRegedit(const std::string& line) {
        if (failRegedit)
            return false;
        std::vector<std::string> arguments = fakes::SplitCommandLine(line);
        if (arguments.size() == 4 && arguments[1] == "/e") {
            if (p.registry.HasKey(arguments[3]))
                p.files.AddFile(arguments[2], "[" + arguments[3] + "]");
        } else if (arguments.size() == 4 && arguments[1] == "/c" && !ignoreImports) {
            std::string content = p.files.Content(arguments[3]);
            if (content.size() > 2)
                p.registry.AddKey(content.substr(1, content.size() - 2));
        }
        return true;
    }

    fakes::FakePlatform p;
    AppState state;
    RegistryAccess registry{p.registry, p.ui};
    FileFinder finder{state, p.files, p.ui};
    FileOperations fileOps{state, p.files, p.ui};
    Quarantine quarantine{state, p.ports, registry, finder, fileOps};
    bool failRegedit = false;
    bool ignoreImports = false;
};

}  // namespace pellora::testing
