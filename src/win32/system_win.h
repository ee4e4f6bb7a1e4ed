// SystemWin: the system port on kernel32, version.dll and Windows Sockets. Folder paths come
// back without length limits and "" on failure (the core applies its fallbacks); the host
// address look-up reports each Windows Sockets failure by kind, and the core words the
// message.
#pragma once

#include "core/ports/system.h"

namespace pellora::win32 {

// Shown when the executable carries no version information (test programs, a stripped build).
inline constexpr const char* kUnknownVersion = "0.0.0";

class SystemWin : public SystemPort {
  public:
    std::string SystemDirectory() override;
    std::string WindowsDirectory() override;
    std::string TempPath() override;
    std::string AnsiToUtf8(std::string_view ansi) override;
    std::string Utf8ToAnsi(std::string_view utf8) override;
    std::string ApplicationFolder() override;
    std::string ExecutablePath() override;
    // Major, minor and revision (the first, second and fourth numbers of the file version, the
    // third being the build), or kUnknownVersion.
    std::string ProgramVersion() override;
    HostAddressResult HostAddress() override;
    std::string DecimalSeparator() override;
    // identity_win.cpp: SHGetKnownFolderPath for each folder, without checking it exists.
    std::vector<std::string> KnownFolders() override;
    // ExpandEnvironmentStringsW.
    std::string ExpandEnvironment(const std::string& text) override;
    // GetComputerNameExW (the DNS host name); the kernel's version query.
    std::string ComputerName() override;
    std::string WindowsVersionText() override;
};

}  // namespace pellora::win32
