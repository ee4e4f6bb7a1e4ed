// The machine as the program runs on it: one Windows adapter per port. Each front end adds its
// own UiPort (the window's, the console's) and hands the result to the core.
#pragma once

#include "core/ports/ports.h"
#include "win32/clock_win.h"
#include "win32/event_log_win.h"
#include "win32/file_system_win.h"
#include "win32/http_wininet.h"
#include "win32/processes_win.h"
#include "win32/registry_win.h"
#include "win32/service_manager_win.h"
#include "win32/shell_win.h"
#include "win32/signature_bcrypt.h"
#include "win32/system_win.h"
#include "win32/task_scheduler_win.h"
#include "win32/trust_win.h"

namespace pellora::win32 {

struct PlatformWin {
    RegistryWin registry;
    FileSystemWin files;
    ProcessesWin processes;
    ShellWin shell;
    ClockWin clock;
    SystemWin system;
    HttpWinInet http;
    SignatureBcrypt signatures;
    EventLogWin events;
    TrustWin trust;

    TaskSchedulerWin tasks;
    ServiceManagerWin services;

    Ports PortsWith(UiPort& ui) {
        return Ports{registry, files,       processes, shell,  clock,  system,   ui,
                     &http,    &signatures, &events,   &trust, &tasks, &services};
    }
};

}  // namespace pellora::win32
