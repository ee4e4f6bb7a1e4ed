// CliRunner: one command of pellora-cli carried out on the same core as the window. It builds
// App over the ports it is given, brings the program up with the window's own start-up
// (Form_Load: folders and default files, settings lists, backup pruning, database, settings,
// special folders; the scan the settings may ask for at start is left out), then drives the handlers the window's
// buttons drive: StartScan, Select All with "Quarantines selected", the removal run, and the quarantine panel's list,
// view, restore and delete commands. Results are printed to standard output; messages of the
// core go through the console UI port to standard error.
//
// Two things differ from the window on purpose. The removal run is started as the automatic
// scan starts it (unattended: no confirmation, no irremovable notice), with every result
// checked. And the program seen by the core is Pellora.exe beside this executable: start-up
// rewrites the start-with-Windows value with the executable's path, and that value must keep
// naming the window program, not the console one.
#pragma once

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/console_ui.h"
#include "cli/scan_output.h"
#include "core/app/app.h"

namespace pellora::cli {

inline constexpr const char* kWindowProgramName = "Pellora.exe";

// The system port with the window program as the executable; everything else is passed on.
class WindowProgramSystem : public SystemPort {
  public:
    explicit WindowProgramSystem(SystemPort& system) : system_(system) {}

    std::string SystemDirectory() override { return system_.SystemDirectory(); }
    std::string WindowsDirectory() override { return system_.WindowsDirectory(); }
    std::string TempPath() override { return system_.TempPath(); }
    std::string AnsiToUtf8(std::string_view ansi) override { return system_.AnsiToUtf8(ansi); }
    std::string Utf8ToAnsi(std::string_view utf8) override { return system_.Utf8ToAnsi(utf8); }
    std::string ApplicationFolder() override { return system_.ApplicationFolder(); }
    std::string ExecutablePath() override;
    std::string ProgramVersion() override { return system_.ProgramVersion(); }
    HostAddressResult HostAddress() override { return system_.HostAddress(); }
    std::string DecimalSeparator() override { return system_.DecimalSeparator(); }
    // The protected set holds the known folders: without them the console would guard fewer
    // folders than the window.
    std::vector<std::string> KnownFolders() override { return system_.KnownFolders(); }
    // The browsers' folders are found through the environment (%LOCALAPPDATA%, %APPDATA%, ...).
    std::string ExpandEnvironment(const std::string& text) override { return system_.ExpandEnvironment(text); }
    std::string ComputerName() override { return system_.ComputerName(); }
    std::string WindowsVersionText() override { return system_.WindowsVersionText(); }

  private:
    SystemPort& system_;
};

class CliRunner {
  public:
    // `ports.ui` must be `ui`.
    CliRunner(Ports& ports, ConsoleUi& ui, TextOutput& out, TextOutput& err);
    CliRunner(const CliRunner&) = delete;
    CliRunner& operator=(const CliRunner&) = delete;

    // Runs the command; the result is the program's exit code.
    int Run(const Options& options);
    // Once `flag` is set, a running scan stops as the "Abort" button stops it (one not yet
    // started does not start); its report covers what was found until then, the exit code is 2
    // and nothing is removed or quarantined. A removal or restore under way finishes its work.
    void StopOnInterrupt(const std::atomic<bool>* flag);

    App& app() { return app_; }

  private:
    // Form_Load. A missing database is an error only for the commands that scan; the others go
    // on without one and without the question.
    bool StartUp(bool needDatabase);

    int Scan(const Options& options);
    int Remove(const Options& options);
    int QuarantineList();
    int QuarantineShow(const std::string& name);
    int QuarantineRestoreOrDelete(const Options& options);
    int IgnoreList();
    // update [--url URL] and update --rollback (cli_update.cpp).
    int Update(const Options& options);
    int UpdateRollback();
    int Settings();
    int SettingsSet(const Options& options);
    int Folders(const Options& options);
    // inventory [--all] [--json FILE] [--report FILE] (cli_inventory.cpp).
    int Inventory(const Options& options);

    // The scan of both scanning commands, with the mode of the options for this run only.
    ScanSnapshot RunScan(const Options& options);
    void SetModeForRun(const Options& options);
    // Every --folder names an existing folder, and a folders scan has a folder to scan (else a
    // message).
    bool FoldersExist(const Options& options);
    void RestoreMode();
    // Stores the cookie, path and file results before the removal deletes them, unless the
    // removal run does so itself (automatic erase). A row that cannot be stored is unchecked.
    void QuarantineBeforeRemoval();
    bool StillPresent(const ResultRow& row);
    // Rows of lstQuarantinedList named by `names`, or nothing (and a message) for an unknown name.
    std::optional<std::vector<size_t>> PackageRows(const std::vector<std::string>& names);
    void TakeNewLogLines();
    std::string ProgressText();

    void Print(const std::string& line);
    void PrintLines(const std::vector<std::string>& lines);
    void Fail(const std::string& message);
    bool WriteJson(const std::string& path, const std::string& text);

    WindowProgramSystem system_;
    Ports ports_;
    ConsoleUi& ui_;
    TextOutput& out_;
    TextOutput& err_;
    App app_;

    bool interrupted_ = false;
    // Settings.stg line 9 as it was before a --mode override: its value and the list's length.
    std::optional<std::pair<std::string, size_t>> savedMode_;
    // lstSelectedFolders as it was before a --folder override.
    std::optional<std::vector<std::string>> savedFolders_;
    // Log lines of lstLog gathered while the removal run appends them (it empties the log).
    bool capturingLog_ = false;
    std::string inventoryProgress_;  // the progress line while the inventory runs
    size_t logSeen_ = 0;
    std::vector<std::string> capturedLog_;
};

}  // namespace pellora::cli
