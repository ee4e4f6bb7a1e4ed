// System port: the system's special folders, the single-byte (ANSI) code page, the program's
// own identity and the computer's network address.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pellora {

// Result of the Windows Sockets look-up of the computer's first address.
struct HostAddressResult {
    enum class Failure { None, StartupFailed, NoSockets, VersionTooLow, HostNameFailed, ResolveFailed };
    Failure failure = Failure::None;
    int versionMajor = 0;  // for VersionTooLow
    int versionMinor = 0;
    int socketError = 0;           // for HostNameFailed
    std::vector<uint8_t> address;  // bytes of the first address
    bool cleanupFailed = false;
};

class SystemPort {
  public:
    virtual ~SystemPort() = default;

    // Each is "" when the system call fails. TempPath keeps the system's trailing backslash.
    virtual std::string SystemDirectory() = 0;
    virtual std::string WindowsDirectory() = 0;
    virtual std::string TempPath() = 0;
    // The single-byte code page of the system files (database, settings, records, log).
    virtual std::string AnsiToUtf8(std::string_view ansi) = 0;
    virtual std::string Utf8ToAnsi(std::string_view utf8) = 0;
    // The program's folder (no trailing backslash) and the full path of its executable.
    virtual std::string ApplicationFolder() = 0;
    virtual std::string ExecutablePath() = 0;
    // Major, minor and revision of the program's own version information.
    virtual std::string ProgramVersion() = 0;
    virtual HostAddressResult HostAddress() = 0;
    // The user's decimal separator for figures shown to them.
    virtual std::string DecimalSeparator() { return "."; }
    // The user's and the machine's known folders (documents, desktop, downloads, pictures,
    // music, videos, application data local and roaming, start menu, start-up, program data,
    // public folders) as the shell reports them; the ones it does not know are left out.
    virtual std::vector<std::string> KnownFolders() { return {}; }
    // The text with every %NAME% of this process's environment replaced by its value; unknown
    // names stay as written.
    virtual std::string ExpandEnvironment(const std::string& text) { return text; }
    // The computer's name and the system's version as "major.minor.build" ("" when unknown).
    virtual std::string ComputerName() { return {}; }
    virtual std::string WindowsVersionText() { return {}; }
};

}  // namespace pellora
