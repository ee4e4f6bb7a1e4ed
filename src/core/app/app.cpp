#include "core/app/app.h"

namespace pellora {

App::App(Ports& ports)
    : ports_(ports), registry_(ports.registry, ports.ui), finder_(state_, ports.files, ports.ui),
      statusPanel_(state_, ports.system, ports.ui, finder_),
      navigation_(state_, ports, statusPanel_) {
    state_.appFolder = ports.system.ApplicationFolder();
}

App::~App() = default;

}  // namespace pellora
