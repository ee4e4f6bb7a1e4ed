// Windows Sockets headers must come before <windows.h>, which would otherwise pull in the
// old winsock.h and clash with them.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "win32/kernel_version_win.h"
#include "win32/system_win.h"

#include <string>
#include <vector>

#include "win32/encoding_win.h"

namespace pellora::win32 {

namespace {

// Calls a "fill this buffer" function that returns the length written, or the length needed
// when the buffer is too small, or 0 on failure.
template <typename Fill>
std::string BufferedPath(Fill fill) {
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (int attempt = 0; attempt < 4; ++attempt) {
        UINT length = fill(buffer.data(), static_cast<UINT>(buffer.size()));
        if (length == 0)
            return "";
        if (length < buffer.size())
            return Narrow(std::wstring_view(buffer.data(), length));
        buffer.resize(length + 1);
    }
    return "";
}

std::wstring ModulePath() {
    std::vector<wchar_t> buffer(MAX_PATH);
    // The length returned equals the size when the path was cut; grow until it fits.
    while (buffer.size() <= 32768) {
        DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0)
            return L"";
        if (length < buffer.size())
            return std::wstring(buffer.data(), length);
        buffer.resize(buffer.size() * 2);
    }
    return L"";
}

std::string TrimBlanks(std::string text) {
    size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return "";
    size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

}  // namespace

std::string SystemWin::SystemDirectory() {
    return BufferedPath([](wchar_t* buffer, UINT size) { return GetSystemDirectoryW(buffer, size); });
}

std::string SystemWin::WindowsDirectory() {
    return BufferedPath([](wchar_t* buffer, UINT size) { return GetWindowsDirectoryW(buffer, size); });
}

std::string SystemWin::TempPath() {
    return BufferedPath([](wchar_t* buffer, UINT size) { return static_cast<UINT>(GetTempPathW(size, buffer)); });
}

std::string SystemWin::AnsiToUtf8(std::string_view ansi) {
    return win32::AnsiToUtf8(ansi);
}

std::string SystemWin::Utf8ToAnsi(std::string_view utf8) {
    return win32::Utf8ToAnsi(utf8);
}

std::string SystemWin::ApplicationFolder() {
    std::wstring path = ModulePath();
    size_t slash = path.find_last_of(L'\\');
    return slash == std::wstring::npos ? "" : Narrow(std::wstring_view(path).substr(0, slash));
}

std::string SystemWin::ExecutablePath() {
    return Narrow(ModulePath());
}

std::string SystemWin::ProgramVersion() {
    std::wstring path = ModulePath();
    DWORD ignored = 0;
    DWORD size = path.empty() ? 0 : GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0)
        return kUnknownVersion;
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()))
        return kUnknownVersion;
    VS_FIXEDFILEINFO* info = nullptr;
    UINT infoLength = 0;
    if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &infoLength) || !info ||
        infoLength < sizeof(VS_FIXEDFILEINFO) || info->dwSignature != VS_FFI_SIGNATURE) {
        return kUnknownVersion;
    }
    return std::to_string(HIWORD(info->dwFileVersionMS)) + "." + std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionLS));
}

HostAddressResult SystemWin::HostAddress() {
    using Failure = HostAddressResult::Failure;
    HostAddressResult result;
    WSADATA data{};
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0) {
        result.failure = Failure::StartupFailed;
        return result;
    }
    result.versionMajor = LOBYTE(data.wVersion);
    result.versionMinor = HIBYTE(data.wVersion);
    // From Windows Sockets 2 on the socket limit is meaningless and may read 0; only an older
    // stack that reports no sockets at all is refused.
    if (LOBYTE(data.wHighVersion) < 2 && data.iMaxSockets < 1) {
        result.failure = Failure::NoSockets;
    } else if (result.versionMajor < 1 || (result.versionMajor == 1 && result.versionMinor < 1)) {
        result.failure = Failure::VersionTooLow;
    } else {
        char name[256] = {};
        if (gethostname(name, sizeof(name)) != 0) {
            result.failure = Failure::HostNameFailed;
            result.socketError = WSAGetLastError();
        } else {
            // The classic address was IPv4; asking for that family keeps four numbers shown.
            addrinfo hints{};
            hints.ai_family = AF_INET;
            addrinfo* found = nullptr;
            std::string host = TrimBlanks(name);
            if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) {
                result.failure = Failure::ResolveFailed;
            } else {
                const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
                const auto* bytes = reinterpret_cast<const uint8_t*>(&address->sin_addr);
                result.address.assign(bytes, bytes + 4);
            }
            if (found)
                freeaddrinfo(found);
        }
    }
    result.cleanupFailed = WSACleanup() != 0;
    return result;
}

std::string SystemWin::DecimalSeparator() {
    wchar_t separator[8] = {};  // the system allows up to three characters and the NUL
    int length = GetLocaleInfoEx(LOCALE_NAME_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8);
    if (length <= 1)
        return ".";
    return Narrow(std::wstring_view(separator, static_cast<size_t>(length - 1)));
}

std::string SystemWin::ExpandEnvironment(const std::string& text) {
    std::wstring wide = Widen(text);
    std::vector<wchar_t> expanded(wide.size() + 256);
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD needed = ExpandEnvironmentStringsW(wide.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
        if (needed == 0)
            return text;
        if (needed <= expanded.size())
            return Narrow(std::wstring_view(expanded.data(), needed - 1));
        expanded.resize(needed);
    }
    return text;
}

std::string SystemWin::ComputerName() {
    wchar_t name[256] = {};
    DWORD length = 256;
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &length))
        return {};
    return Narrow(std::wstring_view(name, length));
}

std::string SystemWin::WindowsVersionText() {
    OSVERSIONINFOW info{};
    if (!KernelVersion(info))
        return {};
    return std::to_string(info.dwMajorVersion) + "." + std::to_string(info.dwMinorVersion) + "." +
           std::to_string(info.dwBuildNumber);
}

}  // namespace pellora::win32
