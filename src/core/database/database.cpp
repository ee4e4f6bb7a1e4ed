#include "core/database/database.h"

#include "core/database/unlock.h"
#include "core/settings/settings_files.h"

namespace pellora {

void Database::LoadListView(const std::string& folderPath,
                            const std::string& fileName,
                            std::vector<std::string>& list) {
    list.clear();
    std::optional<std::string> bytes = files_.ReadFile(AppFilePath(state_.appFolder, folderPath, fileName));
    if (!bytes)
        return;
    // A lone CR is a character of the scrambled text, not a line end.
    list = SplitTextLines(*bytes, false);
}

void Database::LoadAndUnlock() {
    const uint64_t generation = ++loadGeneration_;
    std::vector<std::string> table;
    LoadListView("\\", kDatabaseFileName, table);
    for (size_t n = 0; n < table.size(); ++n) {
        table[n] = system_.AnsiToUtf8(UnlockText(table[n], kDatabaseKey));
        ui_.Yield();
        if (generation != loadGeneration_)
            return;
    }
    state_.lstDBaseFile = std::move(table);
}

void Database::LoadAndApplyDatabase() {
    LoadAndUnlock();
    if (applySettings)
        applySettings();
}

bool Database::DatabaseFileExists() {
    std::optional<uint32_t> attributes = files_.GetAttributes(AppFilePath(state_.appFolder, "\\", kDatabaseFileName));
    return attributes && !(*attributes & file_attr::kDirectory);
}

}  // namespace pellora
