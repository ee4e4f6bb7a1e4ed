// Where the program's libraries come from. Pellora runs elevated (and, during an installation,
// as SYSTEM) from a folder that someone else may have prepared; a DLL placed beside one of its
// executables must never be loaded. The executables import only known DLLs, which the system
// always takes from System32, and delay-load every other library (see CMakeLists.txt); the first
// thing each entry point does is limit every later load to System32.
#pragma once

#include <windows.h>

namespace pellora::win32 {

inline void LoadLibrariesFromSystemOnly() {
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // The current folder is left out of the older search order as well.
    SetDllDirectoryW(L"");
}

}  // namespace pellora::win32
