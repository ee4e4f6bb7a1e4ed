// What the Wine tests of the starting places share: an application state for an unattended
// custom scan, shell folders, and shell links saved by the shell's own IShellLinkW. Included
// after the ports (it brings in windows.h).
#pragma once

#include <shlobj.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "core/settings/settings_files.h"
#include "core/state/app_state.h"
#include "win32/com_win.h"
#include "win32/encoding_win.h"

namespace pellora::testing {

// The shell link class and the two interfaces used, as the shell registers them.
inline const CLSID kShellLinkClass = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline const IID kShellLinkW = {0x000214F9, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline const IID kPersistFile = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

inline bool SaveShellLink(const std::string& path, const std::string& target, const std::string& arguments) {
    win32::ComScope com;
    win32::ComRef<IShellLinkW> link;
    if (!com.ok() ||
        FAILED(CoCreateInstance(kShellLinkClass, nullptr, CLSCTX_INPROC_SERVER, kShellLinkW, link.OutVoid())))
        return false;
    win32::ComRef<IPersistFile> file;
    return SUCCEEDED(link->SetPath(win32::Widen(target).c_str())) &&
           SUCCEEDED(link->SetArguments(win32::Widen(arguments).c_str())) &&
           SUCCEEDED(link->QueryInterface(kPersistFile, file.OutVoid())) &&
           SUCCEEDED(file->Save(win32::Widen(path).c_str(), TRUE));
}

// A shell folder (CSIDL_...), created when missing; "" when the shell names none.
inline std::string ShellFolderPath(int csidl) {
    wchar_t path[MAX_PATH] = {};
    return SUCCEEDED(SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path))
               ? win32::Narrow(path)
               : "";
}

// The state of a custom scan with `customScanSettings`, its application folder (made here) and
// the machine's folders; the home-page protector on, so that nothing asks about the home page.
inline void PrepareCustomScan(AppState& state,
                              const std::string& appFolder,
                              const std::string& windowsDir,
                              const std::string& systemDir,
                              const std::string& cookies,
                              std::vector<std::string> customScanSettings) {
    CreateDirectoryW(win32::Widen(appFolder).c_str(), nullptr);
    CreateDirectoryW(win32::Widen(appFolder + "\\Settings").c_str(), nullptr);
    state.appFolder = appFolder;
    state.lstSettingsFile = DefaultSettingsLines("about:blank");
    state.lstSettingsFile[2] = "1";  // home-page protector on: no home-page question
    state.lstSettingsFile[9] = "1";  // custom scan
    state.lstCustomScanSettings = std::move(customScanSettings);
    state.lstScanInfoFile = DefaultScanInfoLines();
    state.folders.windowsDir = windowsDir;
    state.folders.systemDir = systemDir;
    state.folders.cookies = cookies;
}

}  // namespace pellora::testing
