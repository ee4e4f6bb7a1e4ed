#include "core/settings/settings_files.h"

#include <algorithm>

#include "core/settings/line_text.h"
#include "core/util/text.h"

namespace pellora {

std::vector<std::string> SplitTextLines(std::string_view text, bool loneCrEndsLine) {
    std::vector<std::string> lines;
    size_t start = 0;
    size_t i = 0;
    while (i < text.size()) {
        char c = text[i];
        if (c == '\n' || (c == '\r' && (loneCrEndsLine || (i + 1 < text.size() && text[i + 1] == '\n')))) {
            lines.emplace_back(text.substr(start, i - start));
            i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
            start = i;
        } else {
            ++i;
        }
    }
    if (start < text.size())
        lines.emplace_back(text.substr(start));
    return lines;
}

std::vector<std::string> DefaultScanInfoLines() {
    return {"{never}", "0", "0"};
}

std::vector<std::string> DefaultSettingsLines(const std::string& homePage) {
    return {"0", "0", "0", "1", "0", "0", homePage, "Microsoft Internet Explorer", "30", "0", "10"};
}

std::vector<std::string> DefaultCustomScanLines() {
    return {"0", "1", "1", "0", "0", "0", "1"};
}

std::string AppFilePath(const std::string& appFolder, const std::string& folderPath, const std::string& fileName) {
    std::string tail = folderPath + fileName;
    std::string out = appFolder;
    for (char c : tail) {
        // Callers pass "\" plus a name that begins with a backslash; one separator is meant.
        if (c == '\\' && !out.empty() && out.back() == '\\')
            continue;
        out += c;
    }
    return out;
}

std::string SettingsFiles::PathOf(const std::string& folderPath, const std::string& fileName) const {
    return AppFilePath(state_.appFolder, folderPath, fileName);
}

bool SettingsFiles::EntryExists(const std::string& path) {
    // Any entry counts, hidden and system files too: a file that is there is never replaced by
    // the defaults.
    return files_.GetAttributes(path).has_value();
}

void SettingsFiles::LoadFiles(const std::string& folderPath,
                              const std::string& fileName,
                              std::vector<std::string>& list) {
    list.clear();
    const std::string path = PathOf(folderPath, fileName);
    std::optional<std::string> bytes = files_.ReadFileUpTo(path, kMaxSettingsFileLength);
    if (!bytes) {
        if (EntryExists(path)) {
            unreadable_.insert(ToLowerAscii(path));
            state_.lstLog.push_back(
                " " + fileName + " could not be read or is longer than 16 MiB: it is left as it is and not saved over");
            ui_.Changed(View::Log);
        } else {
            (void)files_.WriteFileAtomic(path, "");
        }
        return;
    }
    unreadable_.erase(ToLowerAscii(path));
    std::vector<std::string> lines = SplitTextLines(DecodeLineFile(system_, *bytes), true);
    for (std::string& line : lines) {
        list.push_back(std::move(line));
        ui_.Yield();
    }
}

void SettingsFiles::ReadLines(const std::string& folderPath,
                              const std::string& fileName,
                              std::vector<std::string>& list) {
    list.clear();
    std::optional<std::string> bytes = files_.ReadFileUpTo(PathOf(folderPath, fileName), kMaxSettingsFileLength);
    if (bytes)
        list = SplitTextLines(DecodeLineFile(system_, *bytes), true);
}

std::string SettingsFiles::Encode(const std::vector<std::string>& list) {
    return EncodeLineFile(system_, JoinLines(list, "\r\n"));
}

std::vector<std::string> SettingsFiles::SafeLines(const std::string& fileName, const std::vector<std::string>& list) {
    // Settings.stg, ScanInfo.stg and CustomScan.stg are read by line number, so a line break in a
    // value becomes a blank and every line stays where it is. A line of the ignore list or the
    // folder list stands for one object: a flattened one would name (and, for the ignore list,
    // hide) some other object, so such a line is left out.
    const bool positional =
        !EqualsIgnoreCase(fileName, kIgnoreListFileName) && !EqualsIgnoreCase(fileName, kSelectedFoldersFileName);
    std::vector<std::string> lines;
    lines.reserve(list.size());
    for (size_t i = 0; i < list.size(); ++i) {
        if (!HoldsLineBreak(list[i])) {
            lines.push_back(list[i]);
            continue;
        }
        state_.lstLog.push_back(" " + fileName + " line " + std::to_string(i) +
                                " held a line break: " + (positional ? "saved with a blank in its place" : "left out"));
        ui_.Changed(View::Log);
        if (positional)
            lines.push_back(FlattenLine(list[i]));
    }
    return lines;
}

bool SettingsFiles::SaveSettingsToFile(const std::string& folderPath,
                                       const std::string& fileName,
                                       const std::vector<std::string>& list) {
    const std::string path = PathOf(folderPath, fileName);
    if (unreadable_.count(ToLowerAscii(path))) {
        NoteSave(fileName, path, false, true);
        return false;
    }
    // WriteFileAtomic resets a read-only target itself and replaces it only once the new bytes
    // are safely on disk, so the old contents survive any failure.
    const bool saved = files_.WriteFileAtomic(path, Encode(SafeLines(fileName, list)));
    NoteSave(fileName, path, saved, false);
    return saved;
}

void SettingsFiles::NoteSave(const std::string& fileName, const std::string& path, bool saved, bool unreadable) {
    const size_t before = unsaved_.size();
    if (saved) {
        unsaved_.erase(fileName);
        if (unsaved_.size() == before)
            return;
    } else {
        unsaved_.insert(fileName);
        state_.lstLog.push_back(
            " " + fileName + " could not be saved (" + path + "): " +
            (unreadable ? "it could not be read at start and is not saved over" : "the file cannot be written") +
            "; the changes to it are lost when Pellora ends");
        ui_.Changed(View::Log);
    }
    std::string text;
    for (const std::string& name : unsaved_)
        text += (text.empty() ? "" : ", ") + name;
    state_.settingsSaveProblemText =
        text.empty() ? std::string() : "Settings not saved: " + text + " could not be written.";
    ui_.Changed(View::StatusFigures);
}

bool SettingsFiles::SaveDataAsked() {
    if (SaveData())
        return true;
    (void)ui_.Message(state_.settingsSaveProblemText + " Your changes are not stored.", kAppTitle, MsgButtons::Ok,
                      MsgIcon::Exclamation);
    return false;
}

bool SettingsFiles::SaveData() {
    // The list is read only between yields, so a handler that runs inside one cannot tear it.
    struct Entry {
        const char* name;
        std::vector<std::string> AppState::*list;
    };
    static const Entry kFiles[] = {
        {kSettingsFileName, &AppState::lstSettingsFile},
        {kScanInfoFileName, &AppState::lstScanInfoFile},
        {kIgnoreListFileName, &AppState::lstIgnoreListFile},
        {kSelectedFoldersFileName, &AppState::lstSelectedFolders},
        {kCustomScanFileName, &AppState::lstCustomScanSettings},
    };
    bool saved = true;
    for (const Entry& entry : kFiles) {
        // The list itself is put right, so that it says what the file says and a value is
        // logged once, not at every save.
        std::vector<std::string>& list = state_.*entry.list;
        if (std::any_of(list.begin(), list.end(), [](const std::string& line) { return HoldsLineBreak(line); }))
            list = SafeLines(entry.name, list);
        saved = SaveSettingsToFile(kSettingsFolder, entry.name, list) && saved;
        ui_.Yield();
    }
    return saved;
}

void SettingsFiles::CreateBlankFile(const std::string& folderPath, const std::string& fileName) {
    CreateDefaultFile(folderPath, fileName, {});
}

void SettingsFiles::CreateDefaultFile(const std::string& folderPath,
                                      const std::string& fileName,
                                      const std::vector<std::string>& lines) {
    const std::string path = PathOf(folderPath, fileName);
    if (EntryExists(path))
        return;
    (void)files_.WriteFileAtomic(path, Encode(SafeLines(fileName, lines)));
}

}  // namespace pellora
