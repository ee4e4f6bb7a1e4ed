// The program's state: what the main window of the classic design held in its hidden lists,
// labels and form variables. Every core class works on one AppState; front ends render it.
// Tables keep their design names (lstScanResult, lstLog, ...) so code and design read side by
// side. Settings lists are addressed by 0-based line index; read them with Line().
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/ports/file_system.h"
#include "core/state/string_table.h"

namespace pellora {

// Images of result rows, by index 1 to 6 ("file", "folder", "program", "regkey", "regval", "cookie").
enum ObjectImage : int {
    kImageNone = 0,
    kImageFile = 1,
    kImageFolder = 2,
    kImageProgram = 3,
    kImageRegKey = 4,
    kImageRegVal = 5,
    kImageCookie = 6,
};

// A row of lstScanResult, lstIremovable or lstIgnoreList: text "Type", then the sub-items
// "Category" (1), "Object" (2) and "Comment"/"Comment URL" (3).
struct ResultRow {
    std::string type;
    int image = kImageNone;
    std::string category;
    std::string object;
    std::string comment;
    bool checked = false;
    // What the object was when the scan found it, so that the removal acts on that object only
    // (rows are copied, and this goes with them): a file, folder or cookie's final path and
    // volume and file id (nothing for a pattern or an object the scan could not open), a key's
    // or value's key in canonical form with the links on the way followed ("" when none).
    std::optional<FileIdentity> foundAs;
    std::string foundKey;
    // For "extension" and "hijack" rows: the browser place of the find (browsers/browser_rows.h);
    // foundAs then holds the folder or file found, or the folder holding a profile file.
    std::string browserPlace;
    // For an autostart entry found because it starts a found file: that file row's object.
    std::string startsFile;
    // For a "shortcut" row (whose object is the .lnk's path): the item's text the link holds.
    std::string shortcutText;
};

inline std::string ManualOnlyKey(const ResultRow& row) {
    return row.type + '\t' + row.object;
}

struct ProcessRow {
    std::string name;  // executable file name
    uint32_t pid = 0;
    std::string imagePath;      // full path of its image; "" when unknown
    uint64_t creationTime = 0;  // when it started (FILETIME); 0 when unknown
};

// A row of lstQuarantinedList: "Package name", "Size", "Items in package".
struct QuarantinePackageRow {
    std::string name;
    std::string sizeText;
    std::string itemCount;
    bool checked = false;
};

// A row of lstQuarantinedItems: "Type", "Item Name", "Original Path".
struct QuarantinedItemRow {
    std::string type;
    int image = kImageNone;
    std::string storedItem;
    std::string source;
};

enum class Panel { Status, Settings, ScanPrep, ScanProc, ScanResult, Iremovable, Ignored, Quarantined, QItems, Update };

// The figures of the scan panel. Shown as plain decimal captions.
struct ScanCounters {
    int64_t scannedObjects = 0;       // lblScannedObjects
    int64_t objectsRecognized = 0;    // lblObjectsRecognized
    int64_t objectsIgnored = 0;       // lblObjectsIgnored
    int64_t newObjects = 0;           // lblNewObjects
    int64_t processesIdentified = 0;  // lblProcessesIdentified
    int64_t filesIdentified = 0;      // lblFilesIdentified
    int64_t foldersIdentified = 0;    // lblFoldersIdentified
    int64_t regKeysIdentified = 0;    // lblRegKeysIdentified
    int64_t regValuesIdentified = 0;  // lblRegValuesIdentified
    int64_t runningProcesses = 0;     // lblRunningProcesses
};

// Special folders found at start-up; the registry-based ones keep the sentinels "Error"/"".
struct SpecialFolders {
    std::string systemDir;
    std::string windowsDir;
    std::string tempDir;      // without trailing backslash
    std::string appData;      // txtAppData
    std::string startMenu;    // txtStartMenu
    std::string programsDir;  // txtProgramsDir
    std::string desktop;      // txtDesktop
    std::string cookies;      // txtCookies
};

// Figures of the status panel.
struct StatusFigures {
    std::string dbaseVersion = "Database unavailable";                 // lblDBaseVer
    std::string appVersion;                                            // lblAppVersion
    std::string currentIp = "0";                                       // lblCurrentIP
    std::string lastScan;                                              // lblLastScan
    std::string noOfScans;                                             // lblNoOfScans
    std::string totalItemsRemoved;                                     // lblTotalItemsRemoved
    std::string noInIgnoreList;                                        // lblNoInIgnoreList
    std::string noQuarantined = "0";                                   // lblNoQuarantined
    std::string nextAutoScanIn = " Active Spyware Protection is OFF";  // lblNextAutoScanIn
};

// Enabled state of the command buttons that long operations disable.
struct ButtonStates {
    bool cmdNextDelete = true;
    bool cmdQuarantineSelected = true;
    bool cmdIgnoreSelected = true;
    bool cmdIgnoreIremovable = true;
    bool cmdDeleteSelected = true;
};

// The update panel (picFrmUpdate): the address field, ctlProgress, lblBytesRead and whether a
// download runs (Start Update is then refused by the busy flag and Cancel is enabled).
struct UpdatePanelState {
    std::string address;        // Settings\Update.stg, as shown in the address field
    std::string lblBytesRead;   // "Curently downloaded : ..."
    int64_t progressMax = 100;  // ctlProgress
    int64_t progressValue = 0;
    int64_t bytesRead = 0;  // of the running download
    bool downloading = false;
};

// Positions of the scan panel's moving block, in twips.
inline constexpr int kScrollTrackWidth = 3735;
inline constexpr int kScrollBlockWidth = 1200;
inline constexpr int kScrollParkedLeft = -1250;
inline constexpr int kScrollStep = 125;
inline constexpr int16_t kFirstQuarantineNumber = 10000;

struct AppState {
    std::string appFolder;  // folder of the executable, no trailing backslash

    // Shared flags.
    bool busy = false;
    bool automaticScan = false;

    // Settings lists (one per settings file).
    std::vector<std::string> lstSettingsFile;        // Settings.stg
    std::vector<std::string> lstScanInfoFile;        // ScanInfo.stg
    std::vector<std::string> lstIgnoreListFile;      // IgnoreList.stg
    std::vector<std::string> lstSelectedFolders;     // SelectedFolders.stg
    std::vector<std::string> lstCustomScanSettings;  // CustomScan.stg

    // Reference database, entry 1 (the version line) at index 0.
    std::vector<std::string> lstDBaseFile;

    // Scan results and log.
    std::vector<ResultRow> lstScanResult;
    std::vector<ResultRow> lstIremovable;
    std::vector<std::string> lstLog;
    // Rows of lstScanResult that no automatic run may remove, by ManualOnlyKey, with the
    // reason: finds of a database item that matched too many objects to be trusted, or of a
    // pattern too loose to name spyware. They are shown and may be removed by hand.
    std::unordered_map<std::string, std::string> manualOnlyRows;

    // Listings.
    std::vector<ProcessRow> lstProcesses;
    std::vector<std::string> lstCache;  // cookie file names
    StringTable lstHDDItems;            // full paths of the hard-disk listing
    StringTable lstRegScan;             // full key paths of the registry listing
    StringTable lstCustomDelete;        // work list of folder deletions
    std::vector<std::string> lstRegistryBackups;

    // Ignore-list panel.
    std::vector<ResultRow> lstIgnoreList;

    // Quarantine panels.
    std::vector<std::string> lstQuarantinedFiles;
    std::vector<std::string> lstQuarBuffer;
    std::vector<QuarantinePackageRow> lstQuarantinedList;
    int highlightedPackage = -1;  // row of lstQuarantinedList with the focus, -1 for none
    std::vector<QuarantinedItemRow> lstQuarantinedItems;

    SpecialFolders folders;

    // Scan panel.
    ScanCounters counters;
    std::string currentOperation = "Ready.";  // lblCurrentOperation
    std::string abortNextCaption = "Abort";   // cmdAbortNextResults
    bool scrollTimerEnabled = false;          // tmrScrollingBar
    int scrollBlockLeft = kScrollParkedLeft;  // shpScrolling left edge
    int scanMode = 0;                         // optScanMode selection

    // Scan stamp: names the current quarantine package.
    std::string scanStamp;
    int16_t quarantineCounter = kFirstQuarantineNumber;

    // Window.
    Panel panel = Panel::Status;
    std::string splashText = "Loading...";  // lblLoading
    bool windowMinimized = false;           // frmMain started minimised (Settings.stg line 0)
    std::string homePageBuffer;
    StatusFigures status;
    ButtonStates buttons;
    bool startWithWindows = false;      // chkStartWithWindows
    bool homePageTimerEnabled = false;  // tmrHomePageCheck
    bool autoScanTimerEnabled = false;  // tmrTimer
    UpdatePanelState update;
    // Set at start when others may change the application folder or what Pellora trusts in it:
    // what is wrong and how to fix it, shown on the status panel. While set, the logon task is not
    // registered and no scan starts by itself.
    std::string unsafeFolderText;
    // Set after each load of the reference database when it cannot be scanned with (missing,
    // unreadable, refused by its signature, empty, damaged): why, shown on the status panel.
    // While set, every scan is refused with that message: a scan without signatures would
    // report a clean machine.
    std::string databaseProblemText;
    // Set while a settings file could not be written at its last save (which files, and that the
    // changes to them are not stored), shown on the status panel; cleared once they are written.
    std::string settingsSaveProblemText;
};

// Line `index` of a settings list, or "" when the list is shorter.
const std::string& Line(const std::vector<std::string>& list, size_t index);
// Sets line `index`, growing the list with empty lines when it is shorter.
void SetLine(std::vector<std::string>& list, size_t index, std::string value);
// Adds 1 to a numeric line (leading numeric text, fraction dropped, anything else counts as 0).
void AddOneToLine(std::vector<std::string>& list, size_t index);

}  // namespace pellora
