// The scan run (StartScan): resets the scan tables, lists the running processes (through the
// registry backup when it is wired), builds the listings the scan mode needs, walks the
// signature items of the database from entry 2, tests each by its kind and records every find
// as a result row of lstScanResult or, when the item carries a comment URL, lstIremovable. At
// the end the report goes into lstLog; an automatic scan then checks every row and starts the
// removal run.
//
// Three modes, chosen by Settings line 9: "0" smart scan (files and folders looked up on disk,
// registry values and keys read, cookies listed), "1" custom scan (the same kinds plus the
// full hard-disk and full registry searches, each behind its own option), "2" file/folder scan
// (the selected folders listed and "path", "fold", "file" items looked up in that listing).
//
// The items that search a listing ("cook", "file", "regs", and "path"/"fold" in the file/folder
// scan) are answered from indexes built once per scan (listing_matches.h); results, their
// order, counters and captions are those of comparing every item with every row, which
// SetIndexedMatching(false) still does (the tests check one against the other). The run yields
// between steps so "Abort", which clears the busy flag, stops it at its next test; the report is
// written for what was found so far.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "core/autostart/shortcut_places.h"
#include "core/database/item_parser.h"
#include "core/database/persistence_kinds.h"
#include "core/identity/object_identity.h"
#include "core/ports/ports.h"
#include "core/scan/file_finder.h"
#include "core/scan/ignore_index.h"
#include "core/scan/listing_matches.h"
#include "core/scan/registry_listing.h"
#include "core/scan/text_map.h"
#include "core/settings/registry_access.h"
#include "core/state/app_state.h"

namespace pellora {

namespace rules {
class RuleSet;
}

// "<files> files, <megabytes> MB" of the content phase so far, and the captions that phase shows.
std::string ContentProgressText(const ScanCounters& counters);
inline constexpr const char* kContentListingCaption = "Listing files to scan by content...";
inline constexpr const char* kContentCaption = "Scanning file contents";

inline constexpr const char* kScanningItem = "Scanning_item:_";
// Settings.stg line of the scan mode: "0" smart, "1" custom, "2" file/folder.
inline constexpr size_t kScanModeLine = 9;

// Which kinds one database walk tests, and how.
struct ScanPlan {
    enum class Mode { Smart, Custom, FileFolder };
    Mode mode = Mode::Smart;
    bool path = false;
    bool folder = false;
    bool regVal = false;
    bool regKey = false;
    bool cookie = false;
    bool file = false;
    bool regSearch = false;
    bool processCheck = false;  // the running-process check of "path" finds

    static ScanPlan Smart();
    // The options of the custom scan: full hard disk, active processes, Windows registry, full
    // registry, cookies.
    static ScanPlan Custom(bool fullDisk, bool processes, bool registry, bool fullRegistry, bool cookies);
    static ScanPlan FileFolder();

    bool Tests(ItemKind kind) const;
    // The listing an item of `kind` is looked up in, when it is tested against one.
    std::optional<ListingTest> ListingTestOf(ItemKind kind) const;
};

// One database item matching more objects than this in one scan is taken as damaged.
inline constexpr size_t kWideMatchLimit = 100;
// "regs" and "cook" texts shorter than this match too much to be removed unattended.
inline constexpr size_t kShortestTrustedText = 4;
// True when a file pattern names something: "*.dll", "*.*" and "?*" do not.
bool HasLiteralBaseName(std::string_view pattern);

class Scanner {
  public:
    struct Hooks {
        // ListRegBackups: the registry export, the pruning of old exports and the process
        // listing. Unwired, the scan lists the processes itself.
        std::function<void()> listRegBackups;
        // cmdNextDelete_Click: the removal run an automatic scan starts when it ends.
        std::function<void()> removalRun;
    };

    Scanner(AppState& state, Ports& ports, RegistryAccess& registry, FileFinder& finder, RegScan& regScan)
        : state_(state),
          ports_(ports),
          ui_(ports.ui),
          registry_(registry),
          finder_(finder),
          regScan_(regScan),
          identity_(ports.files, ports.registry) {}

    Hooks hooks;

    // The whole run. A start while a run is under way (from an event inside its yields) is
    // refused; a start after a finished scan is not, although the busy flag is still set.
    // Refused, with the reason in a message and the log, while the database cannot be scanned
    // with (state.databaseProblemText).
    void StartScan();
    // True (after the message) when a scan now would be refused for the database.
    bool RefusedWithoutDatabase();
    // Counters to zero, quarantine counter to 10000, "Abort" on the scan panel's button, the
    // scan tables, listings and log emptied.
    void ResetUsedValues();
    // The report of the result tables into lstLog, and the scan stamp.
    void AddListedToLog();
    // The database walk of `plan` against the listings already in the state.
    void ScanDatabase(const ScanPlan& plan);

    // Indexed matching (the default) or every listing item compared with every row.
    void SetIndexedMatching(bool indexed) { indexed_ = indexed; }
    bool Running() const { return running_; }

  private:
    // What one find records: the object text (ignore test and "Object" column), its category,
    // image and type counter.
    struct Find {
        std::string object;
        std::string category;
        int image = kImageNone;
        int64_t ScanCounters::*typeCounter = nullptr;
        bool countsRecognized = true;
        bool processCheck = false;
        // The row's Type when it is not the item's type word: finds of the full registry search
        // are the keys and values they name, so the removal, quarantine and ignore commands,
        // which act by the row's Type, treat them as such.
        std::string type;
        std::string browserPlace;  // of an "extension" or "hijack" find
        // The found file a reference starts (ResultRow::startsFile).
        std::string startsFile;
        std::string shortcutText;  // ResultRow::shortcutText
        std::string contentRules;  // ResultRow::contentRules
        // What the object was when it was read, when the test read it (else taken at the record).
        std::optional<FileIdentity> foundAs;
    };

    // Records what the find's object is now (ResultRow::foundAs, foundKey).
    void TakeIdentity(ResultRow& row);
    void TakeBrowserIdentity(ResultRow& row);
    void ListProcesses();
    void ListCookies();
    void ListFolder(const std::string& folder);
    void ListRegistry();
    void SmartScan();
    void CustomScan();
    void FileFolderScan();
    // The "extension" and "hijack" items against the browsers, read once (browser_scan.cpp).
    void ScanBrowsers();
    // The content phase (content_scan.h, content_scanning.cpp): the smart scan's places, and/or
    // the files of the hard-disk listing.
    void ScanContents(bool places, bool listing);
    void RecordContentFind(const std::string& path,
                           const FileIdentity& identity,
                           const std::vector<std::string>& names,
                           const rules::RuleSet& rules);
    void EndScan();
    void LogLines(const std::string& text);
    // Records the autostart entries that start a file this scan found (persistence_matches.h).
    void RecordStartReferences();
    // Tests an item of a persistence kind (persistence_items.cpp); others are left alone.
    void TestPersistenceItem(const std::string& row, const ScanPlan& plan);
    void RecordPersistenceFind();
    // The answer for the current "task" or "service" item (see taskPresence_).
    Presence PresenceOfItem(PersistenceKind kind);
    // The "shortcut" item's links, from the shortcuts read once per walk (shortcut_scan.cpp).
    void TestShortcutItem();

    bool PrepareMatches(const ScanPlan& plan);
    void ReadItem(ItemKind kind, const std::string& row, SignatureItem& item) const;
    void TestItem(ItemKind kind, const std::string& row, const ScanPlan& plan);
    void TestItemKind(ItemKind kind, const ScanPlan& plan);
    // Marks the item's finds from `firstRow` on as never removed automatically when the item
    // matched too widely or is too loose to trust.
    void MarkManualOnly(ItemKind kind, size_t firstRow);
    void TestPath(const ScanPlan& plan);
    void TestFolder();
    void TestRegVal();
    void TestRegKey();
    // Subkey names of a parent key folded as Windows compares names (with the empty entry that
    // ends every list).
    using NameSet = std::unordered_set<std::string, TextHash, std::equal_to<>>;
    const NameSet& SubkeysOf(const std::string& parent);
    void TestListing(ListingTest test, const ScanPlan& plan);
    template <typename Listing, typename Matches, typename Caption, typename Found>
    void WalkListing(const Listing& listing,
                     ListingTest test,
                     bool firstOnly,
                     Matches&& matches,
                     Caption&& caption,
                     Found&& found);
    // Directory look-ups of the smart and custom scans.
    bool PlainFileFound(const std::string& pattern);
    bool FileOrFolderFound(const std::string& pattern);

    void Record(Find find);
    bool IsIgnored(const std::string& object);
    void CheckRunningProcess(const std::string& objectField);

    void SetCaption(std::string text, bool refresh = false);
    void ShowProgress(bool now);

    AppState& state_;
    Ports& ports_;
    UiPort& ui_;
    RegistryAccess& registry_;
    FileFinder& finder_;
    RegScan& regScan_;
    ObjectIdentity identity_;  // what each find is, taken for the finds only

    bool indexed_ = true;
    bool running_ = false;
    SignatureItem item_;
    std::unique_ptr<ListingMatches> matches_;
    std::optional<IgnoreIndex> ignoreIndex_;
    // The subkeys of the parents of "regk" items, listed once per walk: items share a few
    // parents, and each listing costs a registry call per subkey.
    TextMap<NameSet> subkeys_;
    NameSet uncachedSubkeys_;
    uint64_t progressShownAt_ = 0;
    // The hosts file, read once per walk for the "hosts" items (nothing when it cannot be read).
    std::optional<std::string> hostsText_;
    bool hostsRead_ = false;
    // The shortcuts of the desktops, Start menus, Quick Launch and Startup folders, read once per
    // walk for the "shortcut" items (nothing until the first one).
    std::optional<std::vector<autostart::PlacedShortcut>> shortcuts_;
    // The scheduler's and the service manager's answers for every "task" and "service" item,
    // by folded object, asked at the first such item of a walk.
    std::optional<std::unordered_map<std::string, Presence>> taskPresence_, servicePresence_;
};

}  // namespace pellora
