#include "core/app/app.h"

#include "core/database/folder_variables.h"

namespace pellora {

App::App(Ports& ports)
    : ports_(ports), registry_(ports.registry, ports.ui), finder_(state_, ports.files, ports.ui),
      statusPanel_(state_, ports.system, ports.ui, finder_),
      navigation_(state_, ports, statusPanel_),
      fileOperations_(state_, ports.files, ports.shell, ports.ui),
      quarantine_(state_, ports, registry_, finder_, fileOperations_),
      settingsFiles_(state_, ports.files, ports.system, ports.ui),
      processEnder_(ports.processes, ports.clock, ports.ui),
      registryBackup_(state_, ports),
      regScan_(state_, ports.registry, ports.ui),
      scanner_(state_, ports, registry_, finder_, regScan_),
      scanWizard_(state_, scanner_, ports.ui),
      ignoreList_(state_, ports.ui, [this] { settingsFiles_.SaveData(); }),
      removalRun_(state_, ports,
                  {finder_, fileOperations_, processEnder_, registry_, regScan_, quarantine_, scanner_, settingsFiles_,
                   navigation_}),
      database_(state_, ports.files, ports.system, ports.ui),
      settingsApplier_(state_, registry_, ports.system, ports.ui),
      lifecycle_(state_, ports, registry_, settingsFiles_, database_, settingsApplier_),
      databaseUpdate_(state_, ports, database_) {
    state_.appFolder = ports.system.ApplicationFolder();
    navigation_.hooks.loadToQuarantineList = [this] { quarantine_.LoadToQuarantineList(); };
    quarantine_.hooks.showQItems = [this] { navigation_.ShowQItems(); };
    navigation_.hooks.loadIgnoredToList = [this] { ignoreList_.LoadIgnoredToList(); };
    scanner_.hooks.removalRun = [this] { removalRun_.cmdNextDelete_Click(); };
    scanner_.hooks.listRegBackups = [this] { registryBackup_.ListRegBackups(); };
    scanWizard_.hooks.showScanProc = [this] { navigation_.ShowScanProc(); };
    scanWizard_.hooks.showScanResult = [this] { navigation_.ShowScanResult(); };
    scanWizard_.hooks.applySettings = [this] { settingsApplier_.ApplySettings(); };
    settingsApplier_.StatusInfoDisplay = [this] { statusPanel_.StatusInfoDisplay(); };
    database_.applySettings = [this] { settingsApplier_.ApplySettings(); };
    lifecycle_.ShowUpdate = [this] { navigation_.ShowUpdate(); };
    lifecycle_.ShowStatus = [this] { navigation_.ShowStatus(); };
    lifecycle_.ShowScanProc = [this] { navigation_.ShowScanProc(); };
    lifecycle_.DiscoverSpecialFolders = [this] { DiscoverSpecialFolders(state_.folders, ports_.system, registry_); };
    lifecycle_.StartScan = [this] { scanner_.StartScan(); };
}

App::~App() = default;

}  // namespace pellora
