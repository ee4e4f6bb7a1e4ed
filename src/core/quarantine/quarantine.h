// Quarantine: storing checked scan results in the current package (cmdQuarantineSelected and
// QuarantineResultRow, which the removal run also calls), the package list with sizes and item
// counts (LoadToQuarantineList), a package's contents (cmdViewData), deleting packages
// (cmdDeleteQuarantined) and putting whole packages back (cmdRestoreQuarantined). The store's
// layout and texts are QuarantineStore's and record_format's; this class holds the handlers.
//
// Nothing quarantined is ever thrown away before it is safely back: a row counts as stored only
// when its payload and its record are both written, and restore keeps a record and its payload
// whenever writing the object back failed, so the package stays listed. Each folder copy lives
// below a folder named by its own number, so two folders of the same name never merge; packages
// that hold a copy directly under the folder's name still list, view and restore.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/browsers/browser_rows.h"
#include "core/ports/ports.h"
#include "core/quarantine/quarantine_store.h"
#include "core/quarantine/record_format.h"
#include "core/quarantine/storable_kinds.h"
#include "core/removal/file_operations.h"
#include "core/removal/protected_objects.h"
#include "core/scan/file_finder.h"
#include "core/settings/registry_access.h"
#include "core/state/app_state.h"

namespace pellora {

inline constexpr const char* kQuarantinedMessageTail = " items quarantined successfully.";
inline constexpr const char* kQuarantineLogHeading = " Following items Quarantined:";
// Restore asks these in the program's own message box, never through the shell; a console run
// answers No, so an object stays in quarantine rather than anything waiting for a person.
inline constexpr const char* kRestoreReplaceQuestion = "This file is there again:";
inline constexpr const char* kRestoreReplaceQuestionTail = "Replace it with the quarantined copy?";
inline constexpr const char* kRestoreCreateFolderQuestion = "This folder no longer exists:";
inline constexpr const char* kRestoreCreateFolderQuestionTail = "Create it to restore the quarantined copy?";
inline constexpr const char* kDamagedRecordLog = "     Damaged quarantine record skipped: ";
inline constexpr const char* kChangedPayloadLog = "     Changed quarantine copy not restored: ";
// Restore writes a file or folder only into the folder it was taken from, reached without any
// link on the way, and imports a stored key only when the export stays inside that key.
inline constexpr const char* kUnsafeDestinationLog = "     Not restored, unsafe destination: ";
inline constexpr const char* kForeignExportLog = "     Not restored, the stored export reaches outside its key: ";
// After a restore: one line per record, in the log, the log file (when logging is on) and, for
// what did not come back, one message that names each object and why.
inline constexpr const char* kRestoreLogHeading = "Restore started on ";
inline constexpr const char* kRestoredLog = "     Restored: ";
inline constexpr const char* kNotRestoredLog = "     Not restored: ";
inline constexpr const char* kNotRestoredMessage = "These objects were not restored and stay in quarantine:";
inline constexpr const char* kMovedPrefLog =
    "     Put back before the first preference, the lines around it having changed: ";
inline constexpr const char* kLinkLeftOutLog =
    "     Link not quarantined (only what a folder itself holds is stored): ";
// Passes of the level-by-level deletion of a package or a folder copy.
inline constexpr int kDeletePasses = 30;

class Quarantine {
  public:
    struct Hooks {
        std::function<void()> showQItems;  // shows picFrmQItems; by default the panel is switched here
    };

    Quarantine(AppState& state, Ports& ports, RegistryAccess& registry, FileFinder& finder, FileOperations& fileOps)
        : state_(state),
          ports_(ports),
          registry_(registry),
          finder_(finder),
          fileOps_(fileOps),
          store_(state, ports.files, ports.system, ports.ui),
          guard_(state, ports.files, registry, &ports.system) {}

    Hooks hooks;
    QuarantineStore& store() { return store_; }

    // "Quarantines selected": stores every checked row of lstScanResult, logs each one stored
    // and reports how many were stored.
    void cmdQuarantineSelected();
    // Stores one result row in the current package without touching the object. True only when
    // the row is of a kind that is stored and both its payload and its record were written.
    [[nodiscard]] bool QuarantineResultRow(ResultRow row);
    // Whether a row of this kind can be stored at all (storable_kinds.h: the one answer).
    [[nodiscard]] static bool CanStore(const ResultRow& row);
    // Stores the edit that takes a browser row's find out of a profile file (a "BrowserEdit"
    // record: the file, the identity of its folder, the members or lines taken out).
    [[nodiscard]] bool QuarantineBrowserEdit(const ResultRow& row, const browsers::PlannedEdit& edit);

    // Rebuilds lstQuarantinedList and lblNoQuarantined from the disk.
    void LoadToQuarantineList();
    // Lists the records of the highlighted package in lstQuarantinedItems and shows them.
    void cmdViewData();
    // Deletes the checked packages for good, then rebuilds the list.
    void cmdDeleteQuarantined();
    // Writes back every object of the checked packages, then rebuilds the list.
    void cmdRestoreQuarantined();

    // What the last restore did with each package it was asked for: how many records the package
    // held, the objects put back and those that stayed, with why. A package is restored only
    // when every record came back.
    struct PackageRestore {
        std::string package;
        size_t records = 0;
        std::vector<std::string> restored;
        std::vector<std::pair<std::string, std::string>> notRestored;  // object, why
        bool Whole() const { return notRestored.empty() && restored.size() == records; }
    };
    const std::vector<PackageRestore>& LastRestore() const { return restores_; }

  private:
    bool StoreResultRow(ResultRow row);
    // A file, cookie, folder, key or value row stored as that object.
    bool StoreObject(const ResultRow& row, StoredForm form);
    // Holds `running_` for the life of one command.
    struct RunningGuard {
        explicit RunningGuard(bool& flag) : flag_(flag) { flag_ = true; }
        ~RunningGuard() { flag_ = false; }
        RunningGuard(const RunningGuard&) = delete;
        RunningGuard& operator=(const RunningGuard&) = delete;
        bool& flag_;
    };

    bool StoreFile(const std::string& source, const std::string& payload);
    bool StoreKey(const std::string& keyPath, const std::string& payload);
    bool StoreFolder(const std::string& source, const std::string& holder);
    // Writes the SHA-256 of the payload (of the whole tree for a folder copy) beside it.
    bool StoreDigest(const std::string& number, const std::string& payload, bool folderCopy);
    std::optional<std::string> PayloadDigest(const std::string& payload, bool folderCopy);
    int QuietCopy(const std::string& from, const std::string& to);
    int QuietMove(const std::string& from, const std::string& to);

    // An "extension" or "hijack" row: its place stored as the file, folder, key, value or edit
    // it is (browser_records.cpp).
    bool QuarantineBrowserRow(const ResultRow& row);
    bool RestoreBrowserEdit(const std::string& packageName,
                            const std::string& recordName,
                            const QuarantineRecord& record);

    void RestorePackage(const std::string& packageName);
    // The package's record names in the order they are restored: folders first, outer before
    // inner, then the others as listed.
    std::vector<std::string> RestoreOrder(const std::string& packageName, const std::vector<std::string>& recordNames);
    // `object` receives what the record names (its name when the record cannot be read);
    // whyNot_ why it did not come back.
    bool RestoreRecord(const std::string& packageName, const std::string& recordName, std::string& object);
    // Keeps the first reason a record is not restored for; false.
    bool NotRestored(std::string why);
    // The restore's lines (restores_) in the log and the log file, and the one message that
    // names what did not come back.
    void ReportRestore();
    bool WriteBackKey(const std::string& payload, const std::string& keyPath);
    bool WriteBackValue(const std::string& packageName, const QuarantineRecord& record);
    bool WriteBackFolder(const std::string& payload, const QuarantineRecord& record);
    // `replaceWithoutAsking`: a file there now is replaced without the question (a repaired
    // shortcut whose original comes back).
    bool WriteBackFile(const std::string& payload, const QuarantineRecord& record, bool replaceWithoutAsking = false);
    // False when the package or any step from it to the payload is a link, so that nothing
    // outside the package is restored from or deleted.
    bool PayloadInsidePackage(const std::string& packageName, const std::string& storedItem);
    // False when the stored digest exists and the payload no longer matches it.
    bool PayloadUnchanged(const std::string& packageName,
                          const std::string& number,
                          const QuarantineRecord& record,
                          bool folderCopy);
    // The folder a file or folder is restored into, when it is safe to write there: every step
    // of its path is reached without a link, and it is still the folder the record names (when
    // the record names one). A missing folder is created, once the user agrees, only where its
    // nearest existing folder passed and not in a place ProtectedObjects::CreationRefusal guards.
    // Every refusal is shown and logged.
    // A folder this restore put back where none was follows its new identity: records from
    // inside it are written there. With `otherFolder`, a folder that is cleanly reached but is
    // not the recorded one is returned with the flag set instead of refused, so that an object
    // already there byte for byte can count as back without anything being written.
    std::optional<ResolvedObject> DestinationFolder(const std::string& folder,
                                                    const QuarantineRecord& record,
                                                    bool* otherFolder = nullptr);
    // True when `folder` is, or lies below, a folder this restore put back and still is it.
    bool InsideRecreatedFolder(const ResolvedObject& folder);
    void RefuseDestination(const QuarantineRecord& record, const std::string& reason);
    bool Ask(const std::string& question, const std::string& path, const std::string& tail);
    void Log(const std::string& line);

    // persistence_quarantine.cpp: objects stored as their definition (a task's XML).
    bool QuarantineTask(const ResultRow& row);
    bool StoreDefinition(const ResultRow& row, const std::string& bytes);
    // Stores `bytes` as the payload of `record` (its stored item is filled in) with its digest
    // and its record file; on failure nothing of it stays in the package.
    bool StoreWrittenPayload(QuarantineRecord record, const std::string& bytes);
    bool WriteBackTask(const std::string& payload, const std::string& path);
    // A service's configuration and its keys' values; restore creates it again.
    bool QuarantineService(const ResultRow& row);
    bool WriteBackService(const std::string& payload, const std::string& name);
    // The hosts file's lines that map a host, with their places in the file.
    bool QuarantineHostsLines(const ResultRow& row);
    bool WriteBackHostsLines(const std::string& payload);
    // A shortcut's .lnk bytes, read without a link on the way, with its folder's identity
    // (shortcut_quarantine.cpp); restore writes them back as a file is, over what is there.
    bool QuarantineShortcut(const ResultRow& row);
    bool WriteBackShortcut(const std::string& payload, const QuarantineRecord& record);

    // Names of the checked rows of lstQuarantinedList, taken before any event can rebuild it.
    std::vector<std::string> CheckedPackages() const;
    // "Package <name> (scan of <date and time>): N items", the date where the name is a stamp.
    std::string PackageCaption(const std::string& packageName, size_t items);
    // Takes a folder tree down in up to kDeletePasses passes of DeleteListedItems; the folder
    // itself stays for the caller. A link is never entered.
    void DeleteTreeInPasses(const std::string& folder);
    // Removes a file of the store (a payload, a record, the temporary export) whatever its attributes.
    void RemoveStoreFile(const std::string& path);
    bool IsFile(const std::string& path);

    AppState& state_;
    Ports& ports_;
    RegistryAccess& registry_;
    FileFinder& finder_;
    FileOperations& fileOps_;
    QuarantineStore store_;
    // Where restore may write, and the identity of what it finds on the way.
    ProtectedObjects guard_;
    // Set while one of the long commands runs: a second click that arrives through the event
    // loop meanwhile is ignored instead of working on the same package twice.
    bool running_ = false;
    std::string whyNot_;
    std::vector<PackageRestore> restores_;
    // Folders the running restore created by putting a folder copy back: their final path and
    // identity.
    std::vector<FileIdentity> recreated_;
    // Lines of a restore that put something back elsewhere than it stood, for its log.
    std::vector<std::string> movedLines_;
};

}  // namespace pellora
