// The ignore list: whatever IgnoreList.stg holds, showing it and deleting nothing gives back the
// same lines; an entry made from a row is refused or reads back as exactly that row.
#include <cstdint>
#include <string>

#include "core/database/item_parser.h"
#include "core/ignore/ignore_list.h"
#include "core/settings/settings_files.h"
#include "fuzz/fuzz_check.h"

using namespace pellora;

namespace {

class QuietUi : public UiPort {
  public:
    void Yield() override {}
    MsgAnswer Message(const std::string&, const std::string&, MsgButtons, MsgIcon) override { return MsgAnswer::No; }
    void Changed(View) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    QuietUi ui;
    AppState state;
    state.lstIgnoreListFile = SplitTextLines(bytes, true);
    const std::vector<std::string> lines = state.lstIgnoreListFile;
    IgnoreList ignore(state, ui, nullptr);
    ignore.LoadIgnoredToList();
    FUZZ_CHECK(state.lstIgnoreList.size() == lines.size());
    ignore.cmdDeleteSelected();
    FUZZ_CHECK(state.lstIgnoreListFile == lines);

    // The input's first four NUL-separated pieces as a row's kind, object, category, comment.
    ResultRow row;
    std::string* fields[] = {&row.type, &row.object, &row.category, &row.comment};
    size_t start = 0;
    for (size_t f = 0; f < 4 && start <= bytes.size(); ++f) {
        size_t end = bytes.find('\0', start);
        if (end == std::string::npos)
            end = bytes.size();
        *fields[f] = bytes.substr(start, end - start);
        start = end + 1;
    }
    row.checked = true;
    state = AppState{};
    state.lstScanResult = {row};
    IgnoreList adder(state, ui, nullptr);
    adder.cmdIgnoreSelected();
    FUZZ_CHECK(state.lstIgnoreListFile.size() == (FitsIgnoreEntry(row) ? 1u : 0u));
    if (!state.lstIgnoreListFile.empty()) {
        SignatureItem item;
        SplitItem(state.lstIgnoreListFile[0], item);
        FUZZ_CHECK(item.type() == row.type && item.object() == row.object && item.category() == row.category &&
                   item.comment() == row.comment);
    }
    for (const std::string& line : state.lstLog)
        FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos);
    return 0;
}
