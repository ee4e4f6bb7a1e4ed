// The five settings files of the Settings folder and their in-memory lists. A file is lines of
// text in the system's ANSI code page, CR LF between lines and none after the last; the lists
// hold the same lines as UTF-8. Loading also takes a lone LF or a lone CR as a line end, so a
// file edited by hand loses no character. Every save replaces the file in one step through
// FileSystemPort::WriteFileAtomic: a crash or a full disk leaves the old file, never a missing,
// empty or half-written one.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports/file_system.h"
#include "core/ports/system.h"
#include "core/ports/ui.h"
#include "core/state/app_state.h"

namespace pellora {

inline constexpr const char* kSettingsFolder = "\\Settings\\";
inline constexpr const char* kSettingsFileName = "Settings.stg";
inline constexpr const char* kScanInfoFileName = "ScanInfo.stg";
inline constexpr const char* kIgnoreListFileName = "IgnoreList.stg";
inline constexpr const char* kSelectedFoldersFileName = "SelectedFolders.stg";
inline constexpr const char* kCustomScanFileName = "CustomScan.stg";
// No settings file comes near this length; a longer one is damaged and is not read into memory.
inline constexpr uint64_t kMaxSettingsFileLength = 16u << 20;

// How a file's text is cut into lines. CR LF always ends a line, a lone LF too; a lone CR only
// when `loneCrEndsLine` (otherwise it stays in the line). A line end after the last line adds no
// empty entry; an empty text gives no lines.
std::vector<std::string> SplitTextLines(std::string_view text, bool loneCrEndsLine);

// Default lines of the files created at first start. Settings.stg line 6 is the home page.
std::vector<std::string> DefaultScanInfoLines();
std::vector<std::string> DefaultSettingsLines(const std::string& homePage);
std::vector<std::string> DefaultCustomScanLines();

// application folder + folder path + file name, with a doubled backslash at the joints folded.
std::string AppFilePath(const std::string& appFolder, const std::string& folderPath, const std::string& fileName);

class SettingsFiles {
  public:
    SettingsFiles(AppState& state, FileSystemPort& files, SystemPort& system, UiPort& ui)
        : state_(state), files_(files), system_(system), ui_(ui) {}

    // Replaces `list` with the lines of the file. A missing file is created empty and loads as
    // an empty list. A file that exists but cannot be read also loads as an empty list, and is
    // then never saved over, so that its contents are not replaced by the empty list.
    void LoadFiles(const std::string& folderPath, const std::string& fileName, std::vector<std::string>& list);
    // Replaces `list` with the lines of the file and writes nothing: a missing, unreadable or
    // too long file gives an empty list. For commands that only show what is stored.
    void ReadLines(const std::string& folderPath, const std::string& fileName, std::vector<std::string>& list);
    // Replaces the file with the lines of `list`. Returns false when the file was left as it was;
    // that is logged and kept in settingsSaveProblemText (for the status panel) until a later save
    // of the file succeeds. A read-only file is written all the same (its attribute is reset).
    bool SaveSettingsToFile(const std::string& folderPath,
                            const std::string& fileName,
                            const std::vector<std::string>& list);
    // Writes all five lists, Settings.stg first, yielding after each. False when one could not be
    // written; settingsSaveProblemText says which.
    bool SaveData();
    // SaveData for a save the user asked for (closing the window, a dialog's OK, `pellora-cli
    // settings set`): a failure is shown as a message too. Never for an unattended save.
    bool SaveDataAsked();
    // Creates an empty file; an existing file is left alone.
    void CreateBlankFile(const std::string& folderPath, const std::string& fileName);
    // Creates the file with `lines` when no file of that name exists.
    void CreateDefaultFile(const std::string& folderPath,
                           const std::string& fileName,
                           const std::vector<std::string>& lines);

    // The bytes a list is saved as.
    std::string Encode(const std::vector<std::string>& list);
    // The lines of `list` as they may go into `fileName`: no line holds a line break (each such
    // line is logged, and flattened or left out by the file's rule).
    std::vector<std::string> SafeLines(const std::string& fileName, const std::vector<std::string>& list);

  private:
    std::string PathOf(const std::string& folderPath, const std::string& fileName) const;
    bool EntryExists(const std::string& path);

    AppState& state_;
    FileSystemPort& files_;
    SystemPort& system_;
    UiPort& ui_;
    // Records the outcome of one file's save in settingsSaveProblemText.
    void NoteSave(const std::string& fileName, const std::string& path, bool saved, bool unreadable);

    std::set<std::string> unreadable_;  // lower-case paths of files that existed but could not be read
    std::set<std::string> unsaved_;     // names of the files whose last save failed
};

}  // namespace pellora
