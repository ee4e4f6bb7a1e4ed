// The removal run (cmdNextDelete_Click): removes every checked row of lstScanResult by its kind
// (ends the program of an executable, removes the COM registrations of a file, deletes files
// and cookies, empties
// and removes folders in passes, deletes registry values and key trees deepest first), offers
// to reset the browser home page, updates the scan statistics, appends the run's log to
// DavEre.roz, shows the irremovable objects and resets the scan tables.
//
// The log and the total-removed figure record what really happened: an object is logged as
// deleted and counted only when it existed and is gone afterwards; one that stays gets a "not
// removed" line and is not counted. Rows naming objects the system needs (ProtectedObjects)
// are skipped with the reason in the log, and folder passes never follow a link out of the
// folder being removed. Events run inside every yield, so rows are visited by index and copied
// before each step.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/ports/ports.h"
#include "core/protection/home_page.h"
#include "core/quarantine/quarantine.h"
#include "core/removal/browser_removal.h"
#include "core/removal/com_registrations.h"
#include "core/removal/file_operations.h"
#include "core/removal/process_ender.h"
#include "core/removal/protected_objects.h"
#include "core/scan/file_finder.h"
#include "core/scan/registry_listing.h"
#include "core/scan/scanner.h"
#include "core/settings/log_file.h"
#include "core/settings/registry_access.h"
#include "core/settings/settings_files.h"
#include "core/state/app_state.h"

namespace pellora {

// Title of the home-page question; an unattended run answers it No (the home page is kept).
inline constexpr const char* kResetHomePageTitle = "Reset homepage?";

// How often the run asks a program to end before it gives up on it (each attempt waits).
inline constexpr int kEndProcessAttempts = 2;
// How long a file whose program was just ended may take to become deletable.
inline constexpr uint64_t kFileReleaseWaitMs = 3000;

// "MM-DD-YYYY  HH:MM:SS": the removal's log lines and the last-scan line use this fixed form,
// whatever the system's date format.
std::string FixedDateTime(const LocalTime& time);

// Why the object now at a file, cookie or folder row's path is not the object the scan found
// there: another object, or the same reached through a link that was not on the way then (its
// final path differs); and never a folder through a file row. Nothing when it is that object,
// or when the scan could not open it (the protection checks then stand alone).
std::optional<std::string> NotAsFound(const ResultRow& row, const std::optional<ResolvedObject>& now, bool folderRow);

class RemovalRun {
  public:
    // The subsystems the run calls on.
    struct Services {
        FileFinder& finder;        // folder listings (CollectFilePaths)
        FileOperations& fileOps;   // DeleteListedItems
        ProcessEnder& ender;       // EndProcess
        RegistryAccess& registry;  // values and keys
        RegScan& regScan;          // key trees (ListRegistryKeys)
        Quarantine& quarantine;    // QuarantineResultRow
        Scanner& scanner;          // ResetUsedValues
        SettingsFiles& settings;   // SaveData
    };

    RemovalRun(AppState& state, Ports& ports, const Services& services)
        : state_(state),
          ports_(ports),
          services_(services),
          guard_(state, ports.files, services.registry, &ports.system),
          registrations_(ports.registry, guard_.identity(), &ports.system, ports.ui),
          closer_(ports.processes, ports.clock, ports.ui) {}

    // Panel switches the composer wires: the irremovable list, and the status panel after a run.
    struct Hooks {
        std::function<void()> showIrremovable;
        std::function<void()> showStatus;
    };
    Hooks hooks;

    ProtectedObjects& guard() { return guard_; }

    void cmdNextDelete_Click();
    bool Running() const { return running_; }

  private:
    void Run();
    bool AutomaticErase() const;
    void SetButtons(bool enabled);
    void RemoveEmptyPackageFolder();
    void Log(std::string line);
    void AddToRemoved(size_t count);
    // Unchecks, with a log line each, the rows no automatic run may remove.
    void LeaveManualOnlyRows();
    // Drops the irremovable rows whose objects are gone (taken with another row of the run).
    void LeavePresentIrremovable();

    // Under automatic erase, stores a cookie, path or file row before it is deleted.
    [[nodiscard]] bool QuarantineFirst(const ResultRow& row);
    void RemoveRow(const ResultRow& row);
    void RemoveCookie(const ResultRow& row);
    void RemoveFile(const ResultRow& row);
    // Ends the first listed process running the executable; true when one was ended.
    bool EndProcessOf(const std::string& object);
    // True when the process id of the listing still belongs to the program listed.
    bool SameProcessAsListed(const ProcessRow& row);
    // Removes what registers the file as a COM server (never by running the file's own code),
    // each entry quarantined first under automatic erase.
    void RemoveRegistrationsOf(const std::string& object, const std::optional<ResolvedObject>& checked);
    void RemoveFolder(const ResultRow& row);
    void RemoveValue(const std::string& object);
    void RemoveKey(const std::string& object);
    // Clears the attributes and deletes the file, and logs and counts the outcome.
    // `checked`: the object the protection check saw (or else the scan found), when it could be
    // opened; only that object is deleted.
    void DeleteOneFile(const std::string& path,
                       const std::string& object,
                       const char* what,
                       bool waitForRelease,
                       const std::optional<FileIdentity>& checked);

    // An "extension" or "hijack" row: its place in a browser's files or policies
    // (browser_removal.cpp).
    void RemoveBrowserRow(const ResultRow& row);

    void OfferHomePageReset();
    void Finish();

    // persistence_removal.cpp: checks the reference rows of every checked file row, and takes
    // one element out of a list value.
    void CheckStartReferences();
    void RemoveListPart(const ResultRow& row);
    // A scheduled task, stored first under automatic erase; Windows' own tasks never.
    void RemoveTask(const ResultRow& row);
    // service_removal.cpp: stopping the checked services before any row goes, and deleting one.
    void StopCheckedServices();
    void RemoveService(const ResultRow& row);
    // Why the service must stay (ProtectedObjects::ServiceRefusal on its resolved program).
    std::optional<std::string> ServiceRefusal(const std::string& name);
    // The hosts file's lines that map the row's host; every other byte stays.
    void RemoveHostsLines(const ResultRow& row);
    // A shortcut holding the row's text (shortcut_removal.cpp): a browser's repaired, any other
    // deleted; the file found only, stored first under automatic erase and always for a repair.
    void RemoveShortcut(const ResultRow& row);
    // Writes `bytes` over the shortcut at `path` of the checked `folder`, through a copy staged in
    // the quarantine package: only that folder receives it, and the name itself is replaced.
    bool WriteShortcutInto(const ResolvedObject& folder, const std::string& path, const std::string& bytes);
    // A file still there after the deletion failed (in use): scheduled for deletion at restart
    // while it is the object checked, noted for the next start, logged; true when scheduled.
    bool DeleteAtRestart(const std::string& path,
                         const std::string& object,
                         const char* what,
                         const std::optional<FileIdentity>& checked);

    AppState& state_;
    Ports& ports_;
    Services services_;
    ProtectedObjects guard_;
    ComRegistrations registrations_;
    bool running_ = false;
    BrowserCloser closer_;
    std::vector<std::string> removedFolders_;  // folder rows this run has removed
};

}  // namespace pellora
