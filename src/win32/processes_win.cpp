// The Win32 side of the process port. Each method is the platform call the design names, with
// the handles closed on every path. Termination waits a moment for the process object to signal,
// because TerminateProcess only starts the end of a process and a check right after it would
// otherwise still see it running.
#include "win32/processes_win.h"
#include "win32/kernel_version_win.h"

#include <windows.h>
// Needs the types of windows.h.
#include <tlhelp32.h>

#include <vector>

#include "win32/encoding_win.h"
#include "win32/handle_win.h"

namespace pellora::win32 {

namespace {
constexpr DWORD kTerminationSettleMs = 2000;
}  // namespace

std::vector<ProcessEntry> ProcessesWin::Snapshot() {
    std::vector<ProcessEntry> out;
    UniqueKernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return out;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    if (!Process32FirstW(snapshot.get(), &entry))
        return out;
    do {
        ProcessEntry process{Narrow(entry.szExeFile), entry.th32ProcessID, {}, 0};
        if (auto described = Describe(entry.th32ProcessID)) {
            process.imagePath = described->imagePath;
            process.creationTime = described->creationTime;
        }
        out.push_back(std::move(process));
        entry.dwSize = sizeof entry;
    } while (Process32NextW(snapshot.get(), &entry));
    return out;
}

bool ProcessesWin::PostToProcessWindows(uint32_t pid, uint32_t message, uintptr_t wParam) {
    // EnumWindows lists the top-level windows as they are at the call. A walk with GetWindow
    // (GW_HWNDNEXT) follows the live z-order instead, and skips windows when the order changes
    // under it (a window of the program being activated or created meanwhile): that program
    // would then miss the request and be terminated after the wait.
    struct Request {
        DWORD pid;
        UINT message;
        WPARAM wParam;
        bool found;
    } request{pid, message, static_cast<WPARAM>(wParam), false};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto& r = *reinterpret_cast<Request*>(data);
            // Owned windows (dialogs, tool windows) close with their owner; only the
            // free-standing top-level windows are asked.
            if (GetWindow(window, GW_OWNER))
                return TRUE;
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == r.pid) {
                PostMessageW(window, r.message, r.wParam, 0);
                r.found = true;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&request));
    return request.found;
}

bool ProcessesWin::IsRunning(uint32_t pid) {
    UniqueKernelHandle process(OpenProcess(SYNCHRONIZE, FALSE, pid));
    if (!process) {
        // A process we may not open still exists; an unknown id gives "invalid parameter".
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    return WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT;
}

bool ProcessesWin::Terminate(uint32_t pid, uint32_t exitCode) {
    UniqueKernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid));
    if (!process)
        process = UniqueKernelHandle(OpenProcess(PROCESS_TERMINATE, FALSE, pid));
    if (!process)
        return false;
    if (!TerminateProcess(process.get(), exitCode))
        return false;
    WaitForSingleObject(process.get(), kTerminationSettleMs);
    return true;
}

uint32_t ProcessesWin::CurrentProcessId() {
    return GetCurrentProcessId();
}

WindowsVersion ProcessesWin::Version() {
    OSVERSIONINFOW info{};
    if (!KernelVersion(info)) {
        info = OSVERSIONINFOW{};
        info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        if (!GetVersionExW(&info))
            return WindowsVersion{};
#pragma GCC diagnostic pop
    }
    return WindowsVersion{info.dwMajorVersion, info.dwMinorVersion, info.dwPlatformId};
}

namespace {

// The program of a command line whose first word is a full path ("C:\\x\\a.exe" or quoted):
// handed to CreateProcessW as the application name, so the search path is never consulted.
std::wstring ProgramOf(const std::wstring& commandLine) {
    std::wstring first;
    if (commandLine.starts_with(L"\"")) {
        size_t end = commandLine.find(L'"', 1);
        if (end == std::wstring::npos)
            return {};
        first = commandLine.substr(1, end - 1);
    } else {
        first = commandLine.substr(0, commandLine.find(L' '));
    }
    bool full = first.size() > 3 && first[1] == L':' && first[2] == L'\\';
    return full ? first : std::wstring();
}

// Starts the program without handing it any of this program's handles.
bool Start(const std::string& commandLine, int showWindow, PROCESS_INFORMATION& info) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showWindow);
    // CreateProcessW may write into the command line, so it gets its own buffer.
    std::wstring wide = Widen(commandLine);
    std::wstring program = ProgramOf(wide);
    std::vector<wchar_t> buffer(wide.begin(), wide.end());
    buffer.push_back(L'\0');
    return CreateProcessW(program.empty() ? nullptr : program.c_str(), buffer.data(), nullptr, nullptr, FALSE,
                          NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup, &info) != 0;
}

}  // namespace

ProcessPort::BoundedRun ProcessesWin::RunAndWaitBounded(const std::string& commandLine,
                                                        int showWindow,
                                                        uint32_t timeoutMs) {
    PROCESS_INFORMATION info{};
    if (!Start(commandLine, showWindow, info))
        return {false, false};
    UniqueKernelHandle process(info.hProcess);
    UniqueKernelHandle thread(info.hThread);
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    HANDLE handle = process.get();
    while (true) {
        ULONGLONG now = GetTickCount64();
        if (now >= deadline)
            break;
        // Window messages are handled while waiting, so the window keeps painting.
        DWORD rc = MsgWaitForMultipleObjects(1, &handle, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
        if (rc == WAIT_OBJECT_0)
            return {true, true};
        if (rc != WAIT_OBJECT_0 + 1)
            break;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    TerminateProcess(handle, 1);
    WaitForSingleObject(handle, 5000);
    return {true, false};
}

std::optional<ProcessEntry> ProcessesWin::Describe(uint32_t pid) {
    UniqueKernelHandle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process)
        return std::nullopt;
    std::vector<wchar_t> path(32768);
    DWORD length = static_cast<DWORD>(path.size());
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!QueryFullProcessImageNameW(process.get(), 0, path.data(), &length) ||
        !GetProcessTimes(process.get(), &created, &exited, &kernel, &user))
        return std::nullopt;
    ProcessEntry entry;
    entry.pid = pid;
    entry.imagePath = Narrow(std::wstring_view(path.data(), length));
    size_t slash = entry.imagePath.rfind('\\');
    entry.exeName = slash == std::string::npos ? entry.imagePath : entry.imagePath.substr(slash + 1);
    entry.creationTime = (static_cast<uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
    return entry;
}

}  // namespace pellora::win32
