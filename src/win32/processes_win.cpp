// The Win32 side of the process port. Each method is the platform call the design names, with
// the handles closed on every path. Termination waits a moment for the process object to signal,
// because TerminateProcess only starts the end of a process and a check right after it would
// otherwise still see it running.
#include "win32/processes_win.h"

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
        out.push_back(ProcessEntry{Narrow(entry.szExeFile), entry.th32ProcessID});
        entry.dwSize = sizeof entry;
    } while (Process32NextW(snapshot.get(), &entry));
    return out;
}

bool ProcessesWin::PostToProcessWindows(uint32_t pid, uint32_t message, uintptr_t wParam) {
    bool found = false;
    for (HWND window = GetWindow(GetDesktopWindow(), GW_CHILD); window; window = GetWindow(window, GW_HWNDNEXT)) {
        // Owned windows (dialogs, tool windows) close with their owner; only the free-standing
        // top-level windows are asked.
        if (GetWindow(window, GW_OWNER) || GetParent(window))
            continue;
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner != pid)
            continue;
        PostMessageW(window, message, static_cast<WPARAM>(wParam), 0);
        found = true;
    }
    return found;
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
    // GetVersionExW lies to programs without a compatibility manifest entry for the running
    // release; the kernel's own query does not.
    OSVERSIONINFOW info{};
    info.dwOSVersionInfoSize = sizeof info;
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto rtlGetVersion =
        ntdll ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
              : nullptr;
    if (!rtlGetVersion || rtlGetVersion(&info) != 0) {
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

bool ProcessesWin::RunAndWait(const std::string& commandLine, int showWindow) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(showWindow);
    PROCESS_INFORMATION info{};
    // CreateProcessW may write into the command line, so it gets its own buffer.
    std::wstring wide = Widen(commandLine);
    std::vector<wchar_t> buffer(wide.begin(), wide.end());
    buffer.push_back(L'\0');
    if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, NORMAL_PRIORITY_CLASS, nullptr, nullptr,
                        &startup, &info)) {
        return false;
    }
    UniqueKernelHandle process(info.hProcess);
    UniqueKernelHandle thread(info.hThread);
    WaitForSingleObject(process.get(), INFINITE);
    return true;
}

}  // namespace pellora::win32
