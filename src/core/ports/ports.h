// The platform as the core sees it: one reference per port, handed to every core class.
#pragma once

#include "core/ports/clock.h"
#include "core/ports/event_log.h"
#include "core/ports/file_system.h"
#include "core/ports/http.h"
#include "core/ports/processes.h"
#include "core/ports/registry.h"
#include "core/ports/services.h"
#include "core/ports/shell.h"
#include "core/ports/signature.h"
#include "core/ports/system.h"
#include "core/ports/task_scheduler.h"
#include "core/ports/trust.h"
#include "core/ports/ui.h"

namespace pellora {

struct Ports {
    RegistryPort& registry;
    FileSystemPort& files;
    ProcessPort& processes;
    ShellPort& shell;
    ClockPort& clock;
    SystemPort& system;
    UiPort& ui;
    // The database update's network and signature check; without them an update cannot run.
    HttpPort* http = nullptr;
    SignaturePort* signatures = nullptr;
    // The Windows event log; without it no event is written.
    EventLogPort* events = nullptr;
    // Program signatures for the startup inventory; without it the inventory cannot run.
    TrustPort* trust = nullptr;
    // Scheduled tasks; without it "task" items are counted and never matched.
    TaskSchedulerPort* tasks = nullptr;
    // Services and drivers; without it "service" items are counted and never matched.
    ServicePort* services = nullptr;

    // The same ports with another system and user interface (a front end's own), every other
    // port shared.
    Ports With(SystemPort& otherSystem, UiPort& otherUi) const {
        return Ports{registry, files,      processes, shell, clock, otherSystem, otherUi,
                     http,     signatures, events,    trust, tasks, services};
    }
};

}  // namespace pellora
