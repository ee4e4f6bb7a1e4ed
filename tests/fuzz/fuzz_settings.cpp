// The settings files: whatever a file holds, loading, saving and loading again gives the same
// lines; lines holding line breaks never change the number of lines of a file read by number.
#include <algorithm>
#include <cstdint>
#include <string>

#include "core/settings/settings_files.h"
#include "fakes/fake_platform.h"
#include "fuzz/fuzz_check.h"

using namespace pellora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    fakes::FakePlatform fake;
    AppState state;
    state.appFolder = "C:\\Pellora";
    fake.files.AddFolder("C:\\Pellora\\Settings");
    SettingsFiles settings(state, fake.files, fake.system, fake.ui);

    // As a file on disk: parse, write, parse.
    const std::string path = "C:\\Pellora\\Settings\\IgnoreList.stg";
    fake.files.AddFile(path, bytes);
    std::vector<std::string> first, second;
    settings.LoadFiles(kSettingsFolder, kIgnoreListFileName, first);
    FUZZ_CHECK(settings.SaveSettingsToFile(kSettingsFolder, kIgnoreListFileName, first));
    settings.LoadFiles(kSettingsFolder, kIgnoreListFileName, second);
    // The format has no line end after the last line, so an empty last line cannot be kept;
    // everything else reads back exactly.
    if (!first.empty() && first.back().empty())
        first.pop_back();
    FUZZ_CHECK(first == second || (second.size() + 1 == first.size() && first.back().empty() &&
                                   std::equal(second.begin(), second.end(), first.begin())));

    // As values in the lists (split at NUL): a file read by number keeps its number of lines,
    // one read as objects loses only the lines that held a line break.
    std::vector<std::string> values;
    size_t start = 0;
    for (size_t i = 0; i <= bytes.size(); ++i) {
        if (i == bytes.size() || bytes[i] == '\0') {
            values.push_back(fake.system.AnsiToUtf8(bytes.substr(start, i - start)));
            start = i + 1;
        }
    }
    state.lstSettingsFile = values;
    state.lstSelectedFolders = values;
    settings.SaveData();
    settings.LoadFiles(kSettingsFolder, kSettingsFileName, first);
    // An empty last value leaves no line of its own (no CR LF after the last line): read back
    // it is missing, which reads as the same empty text.
    FUZZ_CHECK(first.size() == values.size() || (first.size() + 1 == values.size() && values.back().empty()));
    settings.LoadFiles(kSettingsFolder, kSelectedFoldersFileName, second);
    for (const std::string& line : second)
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
    return 0;
}
