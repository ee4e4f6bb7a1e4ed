// Support shared by the Win32 tests of the external-program and file-system adapters: a scratch
// folder removed with everything in it at the end, and the path of the helper program.
#pragma once

#include <windows.h>

#include <string>

#include "win32/encoding_win.h"

namespace pellora::testing {

// A fresh folder below the temporary folder; its name has a blank, so every path built on it
// checks the quoting of arguments too.
class ScratchFolder {
  public:
    explicit ScratchFolder(const std::string& name) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        path_ = win32::Narrow(temp) + "pellora " + name + "-" + std::to_string(GetCurrentProcessId());
        Remove(path_);
        CreateDirectoryW(win32::Widen(path_).c_str(), nullptr);
    }
    ~ScratchFolder() { Remove(path_); }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "\\" + name; }

    // Deletes a tree without following links: a link is removed, never what it points to.
    static void Remove(const std::string& path) {
        std::wstring wide = win32::Widen(path);
        DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return;
        SetFileAttributesW(wide.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            DeleteFileW(wide.c_str());
            return;
        }
        if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            WIN32_FIND_DATAW data;
            HANDLE find = FindFirstFileW((wide + L"\\*").c_str(), &data);
            if (find != INVALID_HANDLE_VALUE) {
                do {
                    std::wstring name = data.cFileName;
                    if (name != L"." && name != L"..")
                        Remove(path + "\\" + win32::Narrow(name));
                } while (FindNextFileW(find, &data));
                FindClose(find);
            }
        }
        RemoveDirectoryW(wide.c_str());
    }

  private:
    std::string path_;
};

// The helper program, built beside the test program.
inline std::string HelperPath() {
    wchar_t self[MAX_PATH];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::string path = win32::Narrow(std::wstring_view(self, length));
    return path.substr(0, path.rfind('\\') + 1) + "external_helper.exe";
}

// Creates the folder and every missing folder above it.
inline void MakeFolders(const std::string& path) {
    for (size_t slash = path.find('\\', 3); slash != std::string::npos; slash = path.find('\\', slash + 1))
        CreateDirectoryW(win32::Widen(path.substr(0, slash)).c_str(), nullptr);
    CreateDirectoryW(win32::Widen(path).c_str(), nullptr);
}

inline bool FileExists(const std::string& path) {
    return GetFileAttributesW(win32::Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace pellora::testing
