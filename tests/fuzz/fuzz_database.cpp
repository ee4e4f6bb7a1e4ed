// The reference database: any file is loaded and unlocked without harm, every unlocked line
// splits into at most four fields that join back to the line, and a line that locks unlocks
// back to itself.
#include <cstdint>
#include <string>

#include "core/database/database.h"
#include "core/database/item_parser.h"
#include "core/database/unlock.h"
#include "core/settings/settings_files.h"
#include "fakes/fake_platform.h"
#include "fuzz/fuzz_check.h"

using namespace pellora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    fakes::FakePlatform fake;
    AppState state;
    state.appFolder = "C:\\Pellora";
    fake.files.AddFile("C:\\Pellora\\DataBase.ref", bytes);
    Database database(state, fake.files, fake.system, fake.ui);
    database.LoadAndUnlock();
    const std::string problem = database.Problem();
    FUZZ_CHECK(!state.lstDBaseFile.empty() || !problem.empty());

    SignatureItem item;
    for (size_t n = 0; n < state.lstDBaseFile.size(); ++n) {
        const std::string& line = state.lstDBaseFile[n];
        (void)ClassifyLine(n + 1, line);
        (void)KindOfLine(line);
        SplitItem(line, item);
        std::string joined;
        size_t used = 0;
        for (size_t f = 0; f < item.fields.size(); ++f) {
            if (!item.fields[f].empty())
                used = f + 1;
        }
        for (size_t f = 0; f < used; ++f)
            joined += (f ? "|" : "") + item.fields[f];
        // The fields are the line's first four pieces: they join back to the start of the line.
        FUZZ_CHECK(line.compare(0, joined.size(), joined) == 0);
        size_t bars = 0;
        for (char c : line)
            bars += c == '|';
        if (bars <= 3 && (line.empty() || line.back() != '|'))
            FUZZ_CHECK(joined == line);
    }

    // The input as a plain database: the lines that lock, locked into a file, load and unlock
    // back to exactly those lines.
    std::string lockedFile;
    std::vector<std::string> plainLines;
    for (const std::string& plain : SplitTextLines(bytes, false)) {
        if (std::optional<std::string> locked = LockText(plain, kDatabaseKey)) {
            FUZZ_CHECK(UnlockText(*locked, kDatabaseKey) == plain);
            lockedFile += *locked + "\r\n";
            plainLines.push_back(fake.system.AnsiToUtf8(plain));
        }
    }
    fake.files.AddFile("C:\\Pellora\\DataBase.ref", lockedFile);
    database.LoadAndUnlock();
    FUZZ_CHECK(state.lstDBaseFile == plainLines);
    return 0;
}
