// Entry point of pellora-cli.exe: the command line, the guard against a running Pellora.exe,
// the real Windows adapters under the console UI port, and one command.
//
// The window program and this one hold the same named mutex for their whole run: both read the
// settings lists at start and write them back later, so whichever starts second must not run.
// The window, started while this program runs, ends at once as it does for a second copy of
// itself; this program refuses with a message and exit code 2.
#include <algorithm>
#include <atomic>
#include <new>

#include "cli/cli_options.h"
#include "cli/cli_runner.h"
#include "cli/console_ui.h"
#include "cli/elevation.h"
#include "core/protection/folder_access.h"
#include "win32/platform_win.h"
// Windows headers last: they turn port method names (DeleteFile, ...) into macros.
#include "gui/single_instance.h"
#include "win32/encoding_win.h"

using namespace pellora;

namespace {

// Set by the first Ctrl+C, which the console delivers on a thread of its own.
std::atomic<bool> gInterrupted{false};
// The command's HTTP adapter: a request that waits for a server ends at the first Ctrl+C, since
// the command's own thread is inside the request and would only see the flag afterwards.
std::atomic<win32::HttpWinInet*> gHttp{nullptr};

BOOL WINAPI OnConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
        return FALSE;
    // The first press stops a scan as "Abort" does; a second one ends the program as usual.
    if (gInterrupted.exchange(true))
        return FALSE;
    if (win32::HttpWinInet* http = gHttp.load())
        http->Interrupt();
    return TRUE;
}

// Standard output or error: UTF-16 to a console, so that any name shows; UTF-8 bytes to a
// pipe or a file, for the scripts that read them.
class HandleOutput : public cli::TextOutput {
  public:
    explicit HandleOutput(DWORD which) : handle_(GetStdHandle(which)) {
        DWORD mode = 0;
        console_ = handle_ && handle_ != INVALID_HANDLE_VALUE && GetConsoleMode(handle_, &mode);
    }

    bool IsConsole() const { return console_; }

    void Write(std::string_view text) override {
        if (!handle_ || handle_ == INVALID_HANDLE_VALUE || text.empty())
            return;
        if (console_) {
            std::wstring wide = win32::Widen(text);
            DWORD written = 0;
            WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
            return;
        }
        while (!text.empty()) {
            DWORD written = 0;
            DWORD chunk = static_cast<DWORD>(std::min<size_t>(text.size(), 1u << 20));
            if (!WriteFile(handle_, text.data(), chunk, &written, nullptr) || written == 0)
                return;
            text.remove_prefix(written);
        }
    }

  private:
    HANDLE handle_;
    bool console_ = false;
};

std::string FullPath(const std::string& path) {
    std::wstring wide = win32::Widen(path);
    DWORD length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (path.empty() || length == 0)
        return path;
    std::wstring full(length, L'\0');
    length = GetFullPathNameW(wide.c_str(), length, full.data(), nullptr);
    if (length == 0 || length >= full.size())
        return path;
    full.resize(length);
    return win32::Narrow(full);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    HandleOutput out(STD_OUTPUT_HANDLE);
    HandleOutput err(STD_ERROR_HANDLE);

    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(win32::Narrow(argv[i]));
    cli::ParseResult parsed = cli::ParseCommandLine(args);
    if (parsed.options) {
        // Folders are kept and scanned as full paths: "." means the folder the command ran in.
        for (std::string& folder : parsed.options->folders)
            folder = FullPath(folder);
        if (parsed.options->command == cli::Command::FoldersAdd)
            parsed.options->folderPath = FullPath(parsed.options->folderPath);
    }
    if (!parsed.options) {
        out.Write(parsed.out);
        if (!parsed.err.empty())
            err.Write(parsed.err + "\n");
        return parsed.exitCode;
    }

    // The installer's step, from a copy of this program outside the folder it secures.
    if (parsed.options->command == cli::Command::SecureFolder) {
        win32::FileSystemWin files;
        const std::string& folder = parsed.options->folderPath;
        if (SecureApplicationFolder(files, folder))
            return cli::kExitClean;
        err.Write("pellora-cli: cannot set the access list of " + folder + "\n");
        return cli::kExitError;
    }

    // Before anything touches a file of the application folder.
    gui::SingleInstance instance;
    if (instance.anotherRunning()) {
        if (instance.error() == ERROR_SHARING_VIOLATION) {
            err.Write(
                "pellora-cli: Pellora is running (the window or another pellora-cli); both would write the same "
                "settings files. Close it and try again.\n");
        } else if (instance.error() == ERROR_ACCESS_DENIED) {
            const std::wstring lock = gui::InstanceLockPath();
            err.Write(cli::FolderRefusedText(win32::Narrow(lock.substr(0, lock.rfind(L'\\')))) + "\n");
        } else {
            err.Write("pellora-cli: cannot open " + win32::Narrow(gui::InstanceLockPath()) + " (error " +
                      std::to_string(instance.error()) + ")\n");
        }
        return cli::kExitError;
    }

    win32::PlatformWin platform;
    // Every command writes the settings, the log or the quarantine below the application folder:
    // below Program Files that takes an elevated prompt, and a run without it would fail piecemeal.
    const std::string folder = platform.system.ApplicationFolder();
    if (cli::FolderRefusesWrites(folder)) {
        err.Write(cli::FolderRefusedText(folder) + "\n");
        return cli::kExitError;
    }
    // Like a private key others may read: the fix is the user's, the refusal ours.
    if (std::optional<UnsafeObject> unsafe = FindUnsafeApplicationObject(platform.files, folder)) {
        err.Write("pellora-cli: " + UnsafeFolderText(*unsafe, folder) + "\n");
        if (cli::ChangesTheMachine(*parsed.options)) {
            // Refused before start-up, which would otherwise report it.
            platform.events.Report(event_id::kFolderWritable, EventLevel::Error, {UnsafeFolderText(*unsafe, folder)});
            return cli::kExitError;
        }
    }
    cli::ConsoleUi ui(err, platform.clock, err.IsConsole());
    Ports ports = platform.PortsWith(ui);
    cli::CliRunner runner(ports, ui, out, err);
    runner.StopOnInterrupt(&gInterrupted);
    gHttp = &platform.http;
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    int code = cli::kExitError;
    try {
        code = runner.Run(*parsed.options);
    } catch (const std::bad_alloc&) {
        err.Write("pellora-cli: out of memory; the command was stopped.\n");
    }
    gHttp = nullptr;
    if (auto hint = cli::ElevationHint(parsed.options->command, code, cli::ProcessIsElevated()))
        err.Write(*hint + "\n");
    return code;
}
