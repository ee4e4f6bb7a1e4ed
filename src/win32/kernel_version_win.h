// The system's version as the kernel reports it. GetVersionExW answers an older release to
// programs without a compatibility manifest entry for the running one; RtlGetVersion does not.
#pragma once

#include <windows.h>

namespace pellora::win32 {

// True with `info` filled; false when the kernel's query is missing or fails.
inline bool KernelVersion(OSVERSIONINFOW& info) {
    info = OSVERSIONINFOW{};
    info.dwOSVersionInfoSize = sizeof info;
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto rtlGetVersion =
        ntdll ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
              : nullptr;
    return rtlGetVersion && rtlGetVersion(&info) == 0;
}

}  // namespace pellora::win32
