#include "core/app/app.h"

namespace pellora {

App::App(Ports& ports)
    : ports_(ports), registry_(ports.registry, ports.ui), finder_(state_, ports.files, ports.ui),
      statusPanel_(state_, ports.system, ports.ui, finder_),
      navigation_(state_, ports, statusPanel_),
      fileOperations_(state_, ports.files, ports.shell, ports.ui),
      quarantine_(state_, ports, registry_, finder_, fileOperations_) {
    state_.appFolder = ports.system.ApplicationFolder();
    navigation_.hooks.loadToQuarantineList = [this] { quarantine_.LoadToQuarantineList(); };
    quarantine_.hooks.showQItems = [this] { navigation_.ShowQItems(); };
}

App::~App() = default;

}  // namespace pellora
