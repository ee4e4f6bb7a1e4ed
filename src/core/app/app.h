// App: the whole program behind its front ends. It owns the state and one object per subsystem,
// wired to each other, and is what the window (src/gui) and the console program (src/cli)
// drive. Front ends call the subsystems' handlers through the accessors below; every handler
// keeps its classic name (StartScan, cmdNextDelete_Click, ...).
#pragma once

#include <memory>

#include "core/state/app_state.h"
#include "core/app/lifecycle.h"
#include "core/app/navigation.h"
#include "core/app/status_panel.h"
#include "core/backup/registry_backup.h"
#include "core/ignore/ignore_list.h"
#include "core/database/database.h"
#include "core/ports/ports.h"
#include "core/protection/auto_scan_countdown.h"
#include "core/protection/home_page_protector.h"
#include "core/protection/unattended_ui.h"
#include "core/quarantine/quarantine.h"
#include "core/removal/file_operations.h"
#include "core/removal/process_ender.h"
#include "core/removal/removal_run.h"
#include "core/scan/file_finder.h"
#include "core/scan/registry_listing.h"
#include "core/scan/scan_wizard.h"
#include "core/scan/scanner.h"
#include "core/settings/apply_settings.h"
#include "core/settings/registry_access.h"
#include "core/settings/settings_files.h"
#include "core/update/database_update.h"

namespace pellora {

class App {
public:
    // `frontEnd` is what the front end offers; the core gets the same ports with its UiPort
    // behind UnattendedUi, so no subsystem can stop an automatic scan with a message box.
    explicit App(Ports& frontEnd);
    ~App();
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    AppState& state() { return state_; }
    Ports& ports() { return ports_; }
    RegistryAccess& registry() { return registry_; }
    FileFinder& finder() { return finder_; }
    StatusPanel& statusPanel() { return statusPanel_; }
    Navigation& navigation() { return navigation_; }
    FileOperations& fileOperations() { return fileOperations_; }
    Quarantine& quarantine() { return quarantine_; }
    SettingsFiles& settingsFiles() { return settingsFiles_; }
    ProcessEnder& processEnder() { return processEnder_; }
    RegistryBackup& registryBackup() { return registryBackup_; }
    RegScan& regScan() { return regScan_; }
    Scanner& scanner() { return scanner_; }
    ScanWizard& scanWizard() { return scanWizard_; }
    IgnoreList& ignoreList() { return ignoreList_; }
    RemovalRun& removalRun() { return removalRun_; }
    Database& database() { return database_; }
    SettingsApplier& settingsApplier() { return settingsApplier_; }
    Lifecycle& lifecycle() { return lifecycle_; }
    AutoScanCountdown& autoScanCountdown() { return autoScanCountdown_; }
    HomePageProtector& homePageProtector() { return homePageProtector_; }
    UnattendedUi& unattendedUi() { return unattendedUi_; }
    DatabaseUpdate& databaseUpdate() { return databaseUpdate_; }

private:
    UnattendedUi unattendedUi_;
    Ports ports_;
    AppState state_;
    RegistryAccess registry_;
    FileFinder finder_;
    StatusPanel statusPanel_;
    Navigation navigation_;
    FileOperations fileOperations_;
    Quarantine quarantine_;
    SettingsFiles settingsFiles_;
    ProcessEnder processEnder_;
    RegistryBackup registryBackup_;
    RegScan regScan_;
    Scanner scanner_;
    ScanWizard scanWizard_;
    IgnoreList ignoreList_;
    RemovalRun removalRun_;
    Database database_;
    SettingsApplier settingsApplier_;
    Lifecycle lifecycle_;
    AutoScanCountdown autoScanCountdown_;
    HomePageProtector homePageProtector_;
    DatabaseUpdate databaseUpdate_;
};

}  // namespace pellora
