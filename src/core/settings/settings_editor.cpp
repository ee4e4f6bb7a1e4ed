#include "core/settings/settings_editor.h"

#include <algorithm>

#include "core/settings/settings_files.h"
#include "core/util/text.h"

namespace pellora {

namespace {

constexpr const char* kModeWords[3] = {"smart", "custom", "folders"};

}  // namespace

std::string UpDownStep(std::string_view text, bool up, int64_t upperLimit) {
    int64_t value = 0;
    if (!ParseWholeNumber(text, value))
        value = 0;
    if (up && value < upperLimit)
        ++value;
    if (!up && value > 0)
        --value;
    return std::to_string(value);
}

std::optional<int64_t> CheckNumber(std::string_view text, int64_t upperLimit) {
    int64_t value = 0;
    if (!ParseWholeNumber(text, value) || value > upperLimit)
        return std::nullopt;
    return value;
}

std::string NumberRangeMessage(const NumberField& field) {
    return std::string(field.what) + " must be a whole number from 0 to " + std::to_string(field.upperLimit) + ".";
}

void InsertSorted(std::vector<std::string>& list, std::string path) {
    const std::string key = ToLowerAscii(path);
    auto at = std::upper_bound(list.begin(), list.end(), key,
                               [](const std::string& k, const std::string& entry) { return k < ToLowerAscii(entry); });
    list.insert(at, std::move(path));
}

void RemoveDuplicates(std::vector<std::string>& list) {
    for (size_t i = list.size(); i-- > 1;) {
        if (list[i] == list[i - 1])
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

const std::vector<SettingDef>& SettingDefs() {
    using K = SettingKind;
    using L = SettingList;
    static const std::vector<SettingDef> defs = {
        {"start-minimized", L::Settings, 0, K::Flag, nullptr},
        {"scan-at-start", L::Settings, 1, K::Flag, nullptr},
        {"homepage-protector", L::Settings, 2, K::Flag, nullptr},
        {"log-activities", L::Settings, 3, K::Flag, nullptr},
        {"active-protection", L::Settings, 4, K::Flag, nullptr},
        {"backup-registry", L::Settings, 5, K::Flag, nullptr},
        {"start-with-windows", L::None, 0, K::StartWithWindows, nullptr},
        {"home-page", L::Settings, kHomePageLine, K::Text, nullptr},
        {"window-title", L::Settings, kWindowTitleLine, K::Text, nullptr},
        {"scan-interval", L::Settings, kIntervalLine, K::Number, &kIntervalField},
        {"scan-mode", L::Settings, 9, K::ScanMode, nullptr},
        {"backups-to-keep", L::Settings, kBackupsToKeepLine, K::Number, &kBackupsField},
        {"custom-full-disk", L::CustomScan, 0, K::Flag, nullptr},
        {"custom-processes", L::CustomScan, 1, K::Flag, nullptr},
        {"custom-registry", L::CustomScan, 2, K::Flag, nullptr},
        {"custom-quarantine", L::CustomScan, 3, K::Flag, nullptr},
        {"custom-erase", L::CustomScan, 4, K::Flag, nullptr},
        {"custom-full-registry", L::CustomScan, 5, K::Flag, nullptr},
        {"custom-cookies", L::CustomScan, 6, K::Flag, nullptr},
        {"custom-contents", L::CustomScan, 7, K::Flag, nullptr},
        {"content-size-limit", L::Settings, kContentLimitLine, K::Number, &kContentLimitField},
    };
    return defs;
}

const SettingDef* FindSetting(std::string_view name) {
    for (const SettingDef& def : SettingDefs()) {
        if (EqualsIgnoreCase(def.name, name))
            return &def;
    }
    return nullptr;
}

std::optional<std::string> FlagLine(std::string_view word) {
    const std::string w = ToLowerAscii(TrimSpaces(word));
    if (w == "1" || w == "on" || w == "yes" || w == "true")
        return "1";
    if (w == "0" || w == "off" || w == "no" || w == "false")
        return "0";
    return std::nullopt;
}

std::optional<std::string> ScanModeLine(std::string_view word) {
    const std::string w = ToLowerAscii(TrimSpaces(word));
    for (int i = 0; i < 3; ++i) {
        if (w == kModeWords[i] || w == std::to_string(i))
            return std::to_string(i);
    }
    return std::nullopt;
}

std::vector<std::string>& SettingsEditor::ListOf(SettingList list) {
    return list == SettingList::CustomScan ? state_.lstCustomScanSettings : state_.lstSettingsFile;
}

std::string SettingsEditor::Value(const SettingDef& setting) const {
    const std::vector<std::string>& list =
        setting.list == SettingList::CustomScan ? state_.lstCustomScanSettings : state_.lstSettingsFile;
    switch (setting.kind) {
        case SettingKind::StartWithWindows:
            return state_.startWithWindows ? "1" : "0";
        case SettingKind::ScanMode: {
            int64_t mode = -1;
            if (ParseWholeNumber(Line(list, setting.line), mode) && mode >= 0 && mode <= 2)
                return kModeWords[mode];
            return Line(list, setting.line);
        }
        default:
            return Line(list, setting.line);
    }
}

std::string SettingsEditor::Set(const SettingDef& setting, std::string_view value) {
    // A line break would split the line in two when the list is written, shifting every later
    // setting by one line.
    if (value.find_first_of("\r\n") != std::string_view::npos)
        return std::string(setting.name) + " cannot hold a line break";
    std::string line;
    switch (setting.kind) {
        case SettingKind::Flag:
        case SettingKind::StartWithWindows: {
            auto flag = FlagLine(value);
            if (!flag)
                return std::string(setting.name) + " takes 1 or 0 (on or off)";
            if (setting.kind == SettingKind::StartWithWindows) {
                applier_.SetStartWithWindows(*flag == "1");
                if (state_.startWithWindows != (*flag == "1"))
                    return "the start-with-Windows value could not be changed (no rights on the machine's Run key?)";
                return "";
            }
            line = *flag;
            break;
        }
        case SettingKind::Number: {
            auto number = CheckNumber(value, setting.number->upperLimit);
            if (!number)
                return NumberRangeMessage(*setting.number);
            line = std::to_string(*number);
            break;
        }
        case SettingKind::ScanMode: {
            auto mode = ScanModeLine(value);
            if (!mode)
                return std::string(setting.name) + " takes smart, custom or folders";
            line = *mode;
            break;
        }
        case SettingKind::Text:
            line = std::string(value);
            break;
    }
    std::vector<std::string>& list = ListOf(setting.list);
    // Missing lines take their defaults, never "0": an older file has no content line, which
    // reads as on.
    if (setting.list == SettingList::CustomScan && list.size() < kCustomScanLineCount) {
        const std::vector<std::string> defaults = DefaultCustomScanLines();
        while (list.size() < kCustomScanLineCount)
            list.push_back(defaults[list.size()]);
    }
    SetLine(list, setting.line, std::move(line));
    applier_.ApplySettings();
    return "";
}

void SettingsEditor::StoreHomePage(const std::string& homePage, const std::string& title) {
    SetLine(state_.lstSettingsFile, kHomePageLine, homePage);
    SetLine(state_.lstSettingsFile, kWindowTitleLine, title);
}

bool SettingsEditor::StoreNumber(const NumberField& field, std::string_view text) {
    auto number = CheckNumber(text, field.upperLimit);
    if (!number)
        return false;
    SetLine(state_.lstSettingsFile, field.line, std::to_string(*number));
    return true;
}

void SettingsEditor::StoreCustomScan(const std::array<bool, kCustomScanLineCount>& boxes) {
    std::vector<std::string> lines;
    for (bool box : boxes)
        lines.push_back(box ? "1" : "0");
    state_.lstCustomScanSettings = std::move(lines);
    applier_.ApplySettings();
}

void SettingsEditor::StoreSelectedFolders(std::vector<std::string> folders) {
    RemoveDuplicates(folders);
    state_.lstSelectedFolders = std::move(folders);
    applier_.ApplySettings();
}

}  // namespace pellora
