// What the window's controls do. Every control has one id, unique in the whole window, so the
// keyboard handling (Enter on a focused button, mnemonics) reaches it wherever it sits. The
// handlers of other subsystems are hooks the composer fills (gui/wiring.cpp); a control whose
// hook is empty does nothing.
#pragma once

#include <functional>

namespace pellora::gui {

enum ControlId : int {
    // Navigation bar.
    kIdCmdStatus = 1001,
    kIdCmdScan,
    kIdCmdSettings,
    kIdCmdHelp,
    kIdTitle,
    // Status panel.
    kIdCmdDBaseUpdate = 1101,
    kIdCmdOpenQuarList,
    kIdCmdOpenIgnoreList,
    // Scan preparation.
    kIdOptScanMode0 = 1201,
    kIdOptScanMode1,
    kIdOptScanMode2,
    kIdCmdCustomizeScan,
    kIdCmdSelectDrvFolderScan,
    kIdCmdNextScan,
    // Scan progress.
    kIdCmdAbortNextResults = 1301,
    kIdScrollTrack,
    // Results.
    kIdLstScanResult = 1401,
    kIdCmdQuarantineSelected,
    kIdCmdIgnoreSelected,
    kIdCmdNextDelete,
    // Irremovable.
    kIdLstIremovable = 1501,
    kIdCmdIgnoreIremovable,
    kIdCmdFinish,
    // Ignore list.
    kIdLstIgnoreList = 1601,
    kIdCmdDeleteSelected,
    // Quarantine.
    kIdLstQuarantinedList = 1701,
    kIdCmdViewData,
    kIdCmdRestoreQuarantined,
    kIdCmdDeleteQuarantined,
    kIdLstQuarantinedItems,
    kIdCmdBack,
    // Settings.
    kIdChkSettings0 = 1801,  // ... kIdChkSettings0 + 5
    kIdChkStartWithWindows = 1810,
    kIdCmdActiveProtectionSett,
    kIdCmdAdvancedRegBackup,
    kIdCmdHomepageProtectSett,
    // Menus.
    kIdMnuPopUpOpenSpyRemove = 1901,
    kIdMnuPopUpExit,
    kIdMnuSelectAll,
    kIdMnuSelectNone,
    kIdMnuSelectInverse,
    // Update panel.
    kIdCmdUpdateNow = 2001,
    kIdCmdCancelUpdate,
    kIdTxtUpdateAddress,
    kIdCtlProgress,
    kIdLblBytesRead,
    // Status panel, later commands.
    kIdCmdInventory = 2201,
};

// The three lists with check boxes and their selection menus.
enum class CheckedList { ScanResult, IgnoreList, QuarantineList };
enum class Selection { All, None, Inverse };

struct GuiCommands {
    // Scan wizard.
    std::function<void(int)> optScanMode_Click;
    std::function<void()> cmdNextScan_Click;
    std::function<void()> cmdAbortNextResults_Click;
    std::function<void()> tmrScrollingBar_Timer;
    // Results and irremovable objects.
    std::function<void()> cmdQuarantineSelected_Click;
    std::function<void()> cmdIgnoreSelected_Click;
    std::function<void()> cmdNextDelete_Click;
    std::function<void()> cmdIgnoreIremovable_Click;
    // Ignore list.
    std::function<void()> cmdDeleteSelected_Click;
    // Quarantine.
    std::function<void()> cmdViewData_Click;
    std::function<void()> cmdRestoreQuarantined_Click;
    std::function<void()> cmdDeleteQuarantined_Click;
    // Selection menus of the three check-box lists.
    std::function<void(CheckedList, Selection)> select;
    // Settings panel and the option dialogs.
    std::function<void(int index, bool checked)> chkSettings_Click;
    std::function<void(bool checked)> chkStartWithWindows_Click;
    std::function<void()> lblCmdCustomizeScan_Click;
    std::function<void()> lblCmdSelectDrvFolderScan_Click;
    std::function<void()> lblCmdActiveProtectionSett_Click;
    std::function<void()> lblCmdAdvancedRegBackup_Click;
    std::function<void()> lblCmdHomepageProtectSett_Click;
    // Timers of the main window.
    std::function<void()> tmrTimer_Timer;
    std::function<void()> tmrHomePageCheck_Timer;
    // Shutdown: false when refused (the window then stays).
    std::function<bool(bool byUser)> Form_Unload;
    // Writes the settings lists (on minimising).
    std::function<void()> SaveData;
    // The startup inventory (status panel).
    std::function<void()> lblCmdInventory_Click;
};

}  // namespace pellora::gui
