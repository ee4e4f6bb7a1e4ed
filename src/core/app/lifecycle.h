// The life of the program between the single-instance check and the end: Form_Load brings it up
// (folders and default settings files, the five settings lists, backup pruning, the missing
// database question, the database, the settings, window state, status panel, special folders,
// the optional scan at start) and Form_Unload takes it down (refused while busy, else the
// settings lists are written back). The splash label follows the steps, and the front end's
// events are serviced between them. Panel switching, the tray icon, folder discovery and the
// scan belong to other subsystems and are reached through hooks the composer wires.
#pragma once

#include <functional>
#include <string>

#include "core/state/app_state.h"
#include "core/database/database.h"
#include "core/ports/ports.h"
#include "core/protection/home_page.h"
#include "core/settings/apply_settings.h"
#include "core/settings/registry_access.h"
#include "core/settings/settings_files.h"

namespace pellora {

inline constexpr const char* kMissingDatabaseText =
    "Missing reference Database.\r\nDo you want to download new reference Database?";
inline constexpr const char* kBusyExitText = "Please wait for the scan to finish before exiting Pellora.";

enum class StartupResult {
    ShowMainWindow,  // start-up done: show the main window (minimised when state.windowMinimized)
    Exit,            // the user declined to go on without a database: end without showing it
};

class Lifecycle {
  public:
    Lifecycle(AppState& state,
              Ports& ports,
              RegistryAccess& registry,
              SettingsFiles& settings,
              Database& database,
              SettingsApplier& applier)
        : state_(state),
          ports_(ports),
          registry_(registry),
          settings_(settings),
          database_(database),
          applier_(applier) {}

    // Hooks into other subsystems. The panel hooks fall back to selecting the panel in the state.
    std::function<void()> ShowUpdate;
    std::function<void()> ShowStatus;
    std::function<void()> ShowScanProc;
    std::function<void()> AddToSystemTray;
    std::function<void()> DiscoverSpecialFolders;
    std::function<void()> StartScan;

    // Start-up steps 3 to 16.
    StartupResult Form_Load();
    // Shutdown. False when refused (busy); the caller then keeps the window. True after the
    // settings lists are written; the caller unloads the dialogs and removes the tray icon.
    // `byUser`: the user closed the window (close box, Exit), so a save that fails is told in a
    // message; a close another program asks for (the installer, maybe silent) only logs it.
    bool Form_Unload(bool byUser = true);
    // Creates the missing folders and files of the application folder, in their fixed order.
    void CheckSettings();

  private:
    void SetSplash(const char* text);
    void Step();
    // Counts and logs the files the last removal left to be deleted at restart.
    void ConfirmRestartDeletes();
    void ShowPanel(const std::function<void()>& hook, Panel panel);

    AppState& state_;
    Ports& ports_;
    RegistryAccess& registry_;
    SettingsFiles& settings_;
    Database& database_;
    SettingsApplier& applier_;
};

}  // namespace pellora
