// The status panel and the settings panel: captions with their figures or check boxes, laid out
// in columns measured from the texts, so nothing clips at any DPI.
#include <algorithm>

#include "gui/panels.h"

namespace pellora::gui {

namespace {

constexpr const char* kCaptions[StatusView::kFigureCount] = {
    "DBase Version:", "Version:",           "Current IP:",
    "Last Scan:",     "Number of Scans:",   "Total Items Removed:",
    "Objects in Ignore List:", "Objects Quarantined:",
};
constexpr const char* kHeadings[3] = {"Database and program", "Scan history", "Protection"};
constexpr int kFirstRowOfGroup[4] = {0, 3, 6, 8};

}  // namespace

void StatusView::CreateControls() {
    for (int i = 0; i < 3; ++i) {
        headings_[i] = AddLabel(kHeadings[i]);
        MarkBold(headings_[i]);
    }
    for (int i = 0; i < kFigureCount; ++i) {
        captions_[i] = AddLabel(kCaptions[i]);
        values_[i] = AddLabel("", -1, SS_ENDELLIPSIS);
    }
    nextAutoScan_ = AddLabel("", -1, SS_ENDELLIPSIS);
    cmdUpdate_ = AddButton(L"&Update", kIdCmdDBaseUpdate);
    cmdOpenIgnore_ = AddButton(L"Open &Ignore List", kIdCmdOpenIgnoreList);
    cmdOpenQuar_ = AddButton(L"Open &Quarantined List", kIdCmdOpenQuarList);
    folderWarning_ = AddLabel("");
    MarkBold(folderWarning_);
    cmdInventory_ = AddButton(L"Startup &Inventory", kIdCmdInventory);
}

void StatusView::OnLayout(int width, int) {
    const int margin = Margin();
    const int indent = margin + S(8);
    const int rowHeight = ButtonHeight() + S(4);
    int captionWidth = 0;
    for (HWND caption : captions_) captionWidth = std::max(captionWidth, TextWidthOf(caption));
    int buttonWidth = 0;
    for (HWND button : {cmdUpdate_, cmdOpenIgnore_, cmdOpenQuar_, cmdInventory_})
        buttonWidth = std::max(buttonWidth, ButtonWidth(button));
    const int valueX = indent + captionWidth + S(16);
    const int buttonX = width - margin - buttonWidth;
    const int valueWidth = std::max(S(120), buttonX - S(12) - valueX);

    int y = margin;
    for (int group = 0; group < 3; ++group) {
        Place(headings_[group], margin, y, width - 2 * margin, LineHeight());
        y += LineHeight() + S(4);
        for (int row = kFirstRowOfGroup[group]; row < kFirstRowOfGroup[group + 1]; ++row) {
            const int textTop = y + (rowHeight - LineHeight()) / 2;
            Place(captions_[row], indent, textTop, captionWidth + S(4), LineHeight());
            Place(values_[row], valueX, textTop, valueWidth, LineHeight());
            HWND button = row == 0   ? cmdUpdate_
                          : row == 3 ? cmdInventory_
                          : row == 6 ? cmdOpenIgnore_
                          : row == 7 ? cmdOpenQuar_
                                     : nullptr;
            if (button) Place(button, buttonX, y + (rowHeight - ButtonHeight()) / 2, buttonWidth, ButtonHeight());
            y += rowHeight;
        }
        if (group == 2) {
            Place(nextAutoScan_, indent, y + S(4), width - indent - margin, LineHeight());
            y += rowHeight;
        }
        y += S(10);
    }
    // A plain label wraps its words: the warning takes the lines it needs.
    Place(folderWarning_, margin, y, width - 2 * margin, 4 * LineHeight());
}

void StatusView::Refresh(View view) {
    if (view != View::StatusFigures && view != View::Settings && view != View::QuarantineList) return;
    const StatusFigures& f = state().status;
    const std::string* texts[kFigureCount] = {&f.dbaseVersion, &f.appVersion,       &f.currentIp,
                                              &f.lastScan,     &f.noOfScans,        &f.totalItemsRemoved,
                                              &f.noInIgnoreList, &f.noQuarantined};
    for (int i = 0; i < kFigureCount; ++i) SetTextIfChanged(values_[i], *texts[i]);
    SetTextIfChanged(nextAutoScan_, f.nextAutoScanIn);
    std::string warning = state().databaseProblemText;
    for (const std::string* more : {&state().unsafeFolderText, &state().settingsSaveProblemText}) {
        if (!more->empty()) warning += (warning.empty() ? "" : "\r\n\r\n") + *more;
    }
    SetTextIfChanged(folderWarning_, warning);
}

bool StatusView::OnCommand(int id, int) {
    Navigation& navigation = context_.app.navigation();
    switch (id) {
        case kIdCmdDBaseUpdate: navigation.lblCmdDBaseUpdate_Click(); return true;
        case kIdCmdOpenIgnoreList: navigation.lblCmdOpenIgnoreList_Click(); return true;
        case kIdCmdOpenQuarList: navigation.lblCmdOpenQuarList_Click(); return true;
        case kIdCmdInventory: Run(commands().lblCmdInventory_Click); return true;
        default: return false;
    }
}

// ---- settings ------------------------------------------------------------------------------

namespace {
constexpr const char* kSettingCaptions[6] = {
    "Start Minimized",           "Perform a scan when Dozevur Ezavuri starts", "Use Homepage Protector",
    "Log Dozevur Ezavuri activites", "Active Spyware Protection",              "Backup Registry before Scan",
};
}  // namespace

void SettingsView::CreateControls() {
    heading_ = AddLabel("Choose how Pellora starts, protects and keeps records.");
    // Created in reading order, which is the tab order: each box, then its advanced settings.
    for (int i = 0; i < 6; ++i) {
        boxes_[i] = AddCheck(kSettingCaptions[i], kIdChkSettings0 + i);
        if (i == 2) cmdHomePage_ = AddButton(L"Advanced Settings", kIdCmdHomepageProtectSett);
        if (i == 4) cmdActiveProtection_ = AddButton(L"Advanced Settings", kIdCmdActiveProtectionSett);
        if (i == 5) cmdRegBackup_ = AddButton(L"Advanced Settings", kIdCmdAdvancedRegBackup);
    }
    startWithWindows_ = AddCheck("Start Dozevur Ezavuri when Windows starts", kIdChkStartWithWindows);
}

void SettingsView::OnLayout(int width, int) {
    const int margin = Margin();
    const int rowHeight = ButtonHeight() + S(6);
    const int boxWidthNeeded = S(24);
    int buttonWidth = ButtonWidth(cmdHomePage_, 120);
    const int buttonX = width - margin - buttonWidth;
    int y = margin;
    Place(heading_, margin, y, width - 2 * margin, LineHeight());
    y += LineHeight() + S(12);
    auto placeBox = [&](HWND box, HWND button) {
        int boxWidth = std::min(TextWidthOf(box) + boxWidthNeeded, (button ? buttonX - S(12) : width - margin) - margin);
        Place(box, margin, y + (rowHeight - LineHeight() - S(4)) / 2, boxWidth, LineHeight() + S(4));
        if (button) Place(button, buttonX, y + (rowHeight - ButtonHeight()) / 2, buttonWidth, ButtonHeight());
        y += rowHeight;
    };
    for (int i = 0; i < 6; ++i) {
        HWND button = i == 2 ? cmdHomePage_ : i == 4 ? cmdActiveProtection_ : i == 5 ? cmdRegBackup_ : nullptr;
        placeBox(boxes_[i], button);
    }
    y += S(8);
    placeBox(startWithWindows_, nullptr);
}

void SettingsView::Refresh(View view) {
    if (view != View::Settings) return;
    for (int i = 0; i < 6; ++i) {
        bool on = Line(state().lstSettingsFile, static_cast<size_t>(i)) == "1";
        SendMessageW(boxes_[i], BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
    }
    SendMessageW(startWithWindows_, BM_SETCHECK, state().startWithWindows ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool SettingsView::OnCommand(int id, int code) {
    if (code != BN_CLICKED) return false;
    if (id >= kIdChkSettings0 && id < kIdChkSettings0 + 6) {
        bool checked = SendMessageW(Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
        if (commands().chkSettings_Click) {
            commands().chkSettings_Click(id - kIdChkSettings0, checked);
        } else {
            Refresh(View::Settings);  // nothing took the click: the box keeps showing the setting
        }
        return true;
    }
    switch (id) {
        case kIdChkStartWithWindows: {
            bool checked = SendMessageW(startWithWindows_, BM_GETCHECK, 0, 0) == BST_CHECKED;
            if (commands().chkStartWithWindows_Click) {
                commands().chkStartWithWindows_Click(checked);
            } else {
                Refresh(View::Settings);
            }
            return true;
        }
        case kIdCmdHomepageProtectSett: Run(commands().lblCmdHomepageProtectSett_Click); return true;
        case kIdCmdActiveProtectionSett: Run(commands().lblCmdActiveProtectionSett_Click); return true;
        case kIdCmdAdvancedRegBackup: Run(commands().lblCmdAdvancedRegBackup_Click); return true;
        default: return false;
    }
}

}  // namespace pellora::gui
