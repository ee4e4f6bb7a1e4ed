// The edits a user makes to the settings lists, shared by the option dialogs of the window and
// by `pellora-cli settings` / `folders`: the named settings with their checks, the number fields
// with their up-down steps and limits, and the folder list of the drives/folders scan.
//
// Every edit lands in the in-memory lists only; the files are written at the next SaveData. The
// number lines are read by start-up (backups to keep) and the countdown (the interval) as
// numbers, so they take only a whole number within their limit: a typing slip must not become a
// zero that deletes every registry backup.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/state/app_state.h"
#include "core/settings/apply_settings.h"

namespace pellora {

// Settings.stg lines edited by the dialogs.
inline constexpr size_t kHomePageLine = 6;
inline constexpr size_t kWindowTitleLine = 7;
inline constexpr size_t kIntervalLine = 8;
inline constexpr size_t kBackupsToKeepLine = 10;
// CustomScan.stg's lines: the classic seven, then "Scan file contents" (a reader of seven lines
// reads the file as before).
inline constexpr size_t kCustomScanLineCount = 8;
// Settings.stg line of the content phase's size limit in MiB (after the classic eleven).
inline constexpr size_t kContentLimitLine = 11;

inline constexpr const char* kDefaultWindowTitle = "Microsoft Internet Explorer";

// A number field of a dialog: its line, its upper limit (the lower one is 0) and what it counts.
struct NumberField {
    size_t line;
    int64_t upperLimit;
    const char* what;
};
inline constexpr NumberField kIntervalField{kIntervalLine, 90000, "The interval between automatic scans"};
inline constexpr NumberField kBackupsField{kBackupsToKeepLine, 99, "The number of registry backups to keep"};
inline constexpr NumberField kContentLimitField{kContentLimitLine, 4096,
                                                "The size limit of files scanned by content (MiB)"};

// The field's text after one press of Up (`up`) or Down: text that is not a number counts as
// 0; the value then moves by one unless it is at the limit (upper for Up, 0 for Down).
std::string UpDownStep(std::string_view text, bool up, int64_t upperLimit);
// The whole number from 0 to `upperLimit` the text holds (surrounding blanks allowed), or none.
std::optional<int64_t> CheckNumber(std::string_view text, int64_t upperLimit);
// What a refused number field tells the user.
std::string NumberRangeMessage(const NumberField& field);

// The folder list of the folder dialog: ascending without regard to letter case (ASCII), a new
// entry going after those equal to it.
void InsertSorted(std::vector<std::string>& list, std::string path);
// From the last entry down to the second, an entry exactly equal (letter case counts) to the
// one before it goes. On a sorted list this keeps one copy of each path added several times.
void RemoveDuplicates(std::vector<std::string>& list);

// One setting as the console names it.
enum class SettingKind { Flag, Number, Text, ScanMode, StartWithWindows };
enum class SettingList { Settings, CustomScan, None };
struct SettingDef {
    const char* name;
    SettingList list;
    size_t line;
    SettingKind kind;
    const NumberField* number;  // for SettingKind::Number
};
// Every setting, in the order `pellora-cli settings` lists them.
const std::vector<SettingDef>& SettingDefs();
const SettingDef* FindSetting(std::string_view name);

class SettingsEditor {
  public:
    SettingsEditor(AppState& state, SettingsApplier& applier) : state_(state), applier_(applier) {}

    // The setting's value as the console shows it ("1"/"0" for flags, the mode's word).
    std::string Value(const SettingDef& setting) const;
    // Checks and stores one value, then applies the settings. Returns "" when stored, else why
    // not (nothing is changed then).
    [[nodiscard]] std::string Set(const SettingDef& setting, std::string_view value);

    // frmHomePageInfo's OK: the two fields as typed.
    void StoreHomePage(const std::string& homePage, const std::string& title);
    // The OK of the two number dialogs: false (nothing stored) unless the text passes CheckNumber.
    [[nodiscard]] bool StoreNumber(const NumberField& field, std::string_view text);
    // frmCustomScanSettings's OK: the eight lines rebuilt from the boxes, then ApplySettings.
    void StoreCustomScan(const std::array<bool, kCustomScanLineCount>& boxes);
    // frmAddDir's OK: RemoveDuplicates, the list replaces lstSelectedFolders, then ApplySettings.
    void StoreSelectedFolders(std::vector<std::string> folders);

  private:
    std::vector<std::string>& ListOf(SettingList list);

    AppState& state_;
    SettingsApplier& applier_;
};

// "1"/"0" for the words a user may type for a flag (1, 0, on, off, yes, no, true, false).
std::optional<std::string> FlagLine(std::string_view word);
// "0", "1", "2" for smart, custom, folders (or the digit itself).
std::optional<std::string> ScanModeLine(std::string_view word);

}  // namespace pellora
