#include "core/app/app.h"

#include "core/database/folder_variables.h"

namespace pellora {

App::App(Ports& frontEnd)
    : unattendedUi_(frontEnd.ui, state_.lstLog),
      ports_(frontEnd.With(frontEnd.system, unattendedUi_)),
      registry_(ports_.registry, ports_.ui),
      finder_(state_, ports_.files, ports_.ui),
      statusPanel_(state_, ports_.system, ports_.ui, finder_),
      navigation_(state_, ports_, statusPanel_),
      fileOperations_(state_, ports_.files, ports_.ui),
      quarantine_(state_, ports_, registry_, finder_, fileOperations_),
      settingsFiles_(state_, ports_.files, ports_.system, ports_.ui),
      processEnder_(ports_.processes, ports_.clock, ports_.ui),
      registryBackup_(state_, ports_),
      regScan_(state_, ports_.registry, ports_.ui),
      scanner_(state_, ports_, registry_, finder_, regScan_),
      scanWizard_(state_, scanner_, ports_.ui),
      ignoreList_(state_, ports_.ui, [this] { settingsFiles_.SaveData(); }),
      removalRun_(
          state_,
          ports_,
          {finder_, fileOperations_, processEnder_, registry_, regScan_, quarantine_, scanner_, settingsFiles_}),
      database_(state_, ports_.files, ports_.system, ports_.ui),
      settingsApplier_(state_, registry_, ports_.system, ports_.ui),
      lifecycle_(state_, ports_, registry_, settingsFiles_, database_, settingsApplier_),
      autoScanCountdown_(state_, ports_.clock, ports_.ui),
      homePageProtector_(state_, registry_),
      databaseUpdate_(state_, ports_, database_) {
    state_.appFolder = ports_.system.ApplicationFolder();
    navigation_.hooks.loadToQuarantineList = [this] { quarantine_.LoadToQuarantineList(); };
    quarantine_.hooks.showQItems = [this] { navigation_.ShowQItems(); };
    navigation_.hooks.loadIgnoredToList = [this] { ignoreList_.LoadIgnoredToList(); };
    removalRun_.hooks.showIrremovable = [this] { navigation_.ShowIremovable(); };
    removalRun_.hooks.showStatus = [this] { navigation_.lblCmdStatus_Click(); };
    scanner_.hooks.removalRun = [this] { removalRun_.cmdNextDelete_Click(); };
    scanner_.hooks.listRegBackups = [this] { registryBackup_.ListRegBackups(); };
    scanWizard_.hooks.showScanProc = [this] { navigation_.ShowScanProc(); };
    scanWizard_.hooks.showScanResult = [this] { navigation_.ShowScanResult(); };
    scanWizard_.hooks.applySettings = [this] { settingsApplier_.ApplySettings(); };
    settingsApplier_.StatusInfoDisplay = [this] { statusPanel_.StatusInfoDisplay(); };
    database_.applySettings = [this] { settingsApplier_.ApplySettings(); };
    database_.signatures = ports_.signatures;
    database_.events = ports_.events;
    settingsApplier_.events = ports_.events;
    autoScanCountdown_.events = ports_.events;
    lifecycle_.ShowUpdate = [this] { navigation_.ShowUpdate(); };
    lifecycle_.ShowStatus = [this] { navigation_.ShowStatus(); };
    lifecycle_.ShowScanProc = [this] { navigation_.ShowScanProc(); };
    lifecycle_.DiscoverSpecialFolders = [this] { DiscoverSpecialFolders(state_.folders, ports_.system, registry_); };
    lifecycle_.StartScan = [this] { scanner_.StartScan(); };
    settingsApplier_.resetAutoScanCountdown = [this] { autoScanCountdown_.Reset(); };
    autoScanCountdown_.hooks.showScanProc = [this] { navigation_.ShowScanProc(); };
    autoScanCountdown_.hooks.startScan = [this] {
        // The scan and the removal run it ends with.
        UnattendedUi::Scope unattended(unattendedUi_);
        scanner_.StartScan();
    };
    autoScanCountdown_.hooks.runUnderWay = [this] { return scanner_.Running() || removalRun_.Running(); };
    autoScanCountdown_.hooks.saveSettings = [this] {
        (void)settingsFiles_.SaveSettingsToFile(kSettingsFolder, kSettingsFileName, state_.lstSettingsFile);
    };
}

App::~App() = default;

}  // namespace pellora
