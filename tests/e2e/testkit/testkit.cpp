// e2e-testkit: what the end-to-end scripts need from inside Wine and cannot do from the shell.
//   wait-window TITLE MS     waits until a top-level window with that title is shown (exit 1: none)
//   close TITLE MS           posts WM_CLOSE to it and waits for its process to end (exit 1: still running)
//   post TITLE MESSAGE W L   posts a message to it
//   no-dialog TITLE MS       exit 1 when a dialog or message box is shown (TITLE and MS unused)
//   overwrite-and-wait KEY NAME NEW OLD MS
//                            writes NEW as the string NAME of HKEY_CURRENT_USER\KEY, then waits until
//                            it reads OLD again and prints the milliseconds that took (exit 1: never)
//   shortcut LNK FIELD       prints the shortcut's target or icon (FIELD: target|icon) on standard output
//   hold-mutex NAME          creates the named mutex, prints "held" and keeps it until it is ended
//   hold-file PATH           opens the file for reading, sharing only reading (so it can be
//                            neither written nor replaced), prints "held" and keeps it until ended
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

HWND WaitForWindow(const wchar_t* title, DWORD ms) {
    ULONGLONG end = GetTickCount64() + ms;
    do {
        // The main window exists before start-up has finished; it is shown at the end of it.
        if (HWND hwnd = FindWindowW(nullptr, title); hwnd && IsWindowVisible(hwnd)) return hwnd;
        Sleep(100);
    } while (GetTickCount64() < end);
    return nullptr;
}

BOOL CALLBACK FindShownDialog(HWND hwnd, LPARAM found) {
    wchar_t name[16] = {};
    GetClassNameW(hwnd, name, 16);
    if (IsWindowVisible(hwnd) && std::wstring(name) == L"#32770") {
        *reinterpret_cast<bool*>(found) = true;
        return FALSE;
    }
    return TRUE;
}

std::wstring ReadString(const wchar_t* key, const wchar_t* name) {
    wchar_t data[2048] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, data, &size) != ERROR_SUCCESS) return {};
    return data;
}

// Times from this process, because starting reg.exe under Wine takes longer than the precision
// the test needs.
int OverwriteAndWait(const wchar_t* key, const wchar_t* name, const wchar_t* newText, const wchar_t* oldText,
                     DWORD ms) {
    DWORD bytes = static_cast<DWORD>((std::wcslen(newText) + 1) * sizeof(wchar_t));
    if (RegSetKeyValueW(HKEY_CURRENT_USER, key, name, REG_SZ, newText, bytes) != ERROR_SUCCESS) return 1;
    ULONGLONG start = GetTickCount64();
    while (ReadString(key, name) != oldText) {
        if (GetTickCount64() - start > ms) return 1;
        Sleep(50);
    }
    std::printf("%llu\n", GetTickCount64() - start);
    return 0;
}

// The shell's own reading of a .lnk file, as the Start menu would read it.
int PrintShortcut(const wchar_t* path, const std::wstring& field) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
    int status = 1;
    IShellLinkW* link = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                   reinterpret_cast<void**>(&link)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            wchar_t text[MAX_PATH] = {};
            int index = 0;
            if (SUCCEEDED(file->Load(path, STGM_READ)) &&
                (field == L"icon" ? SUCCEEDED(link->GetIconLocation(text, MAX_PATH, &index))
                                  : SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH)))) {
                std::printf("%ls\n", text);
                status = 0;
            }
            file->Release();
        }
        link->Release();
    }
    CoUninitialize();
    return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const bool holdMutex = argc == 3 && std::wstring(argv[1]) == L"hold-mutex";
    const bool holdFile = argc == 3 && std::wstring(argv[1]) == L"hold-file";
    if (argc < 4 && !holdMutex && !holdFile) {
        std::fprintf(stderr,
                     "usage: e2e-testkit wait-window|close|post|no-dialog|shortcut|hold-mutex|hold-file TITLE ...\n");
        return 2;
    }
    std::wstring command = argv[1];
    if (command == L"shortcut") return PrintShortcut(argv[2], argv[3]);
    if (holdFile) {
        HANDLE file = CreateFileW(argv[2], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 1;
        std::printf("held\n");
        std::fflush(stdout);
        // Held until the test ends this process, as the mutex above.
        Sleep(INFINITE);
        return 0;
    }
    if (command == L"hold-mutex") {
        HANDLE mutex = CreateMutexW(nullptr, TRUE, argv[2]);
        if (!mutex) return 1;
        std::printf("held\n");
        std::fflush(stdout);
        // Held until the test ends this process: a hold of fixed length could run out while a slow
        // machine is still testing with it, and the test would pass without the mutex held.
        Sleep(INFINITE);
        return 0;
    }
    const wchar_t* title = argv[2];
    if (command == L"wait-window") return WaitForWindow(title, std::wcstoul(argv[3], nullptr, 10)) ? 0 : 1;
    if (command == L"close") {
        HWND hwnd = WaitForWindow(title, 1000);
        if (!hwnd) return 1;
        DWORD pid = 0;
        GetWindowThreadProcessId(hwnd, &pid);
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
        PostMessageW(hwnd, WM_CLOSE, 0, 0);
        DWORD wait = process ? WaitForSingleObject(process, std::wcstoul(argv[3], nullptr, 10)) : WAIT_FAILED;
        if (process) CloseHandle(process);
        return wait == WAIT_OBJECT_0 ? 0 : 1;
    }
    if (command == L"overwrite-and-wait" && argc >= 7)
        return OverwriteAndWait(argv[2], argv[3], argv[4], argv[5], std::wcstoul(argv[6], nullptr, 10));
    if (command == L"no-dialog") {
        bool found = false;
        EnumWindows(FindShownDialog, reinterpret_cast<LPARAM>(&found));
        return found ? 1 : 0;
    }
    if (command == L"post" && argc >= 6) {
        HWND hwnd = WaitForWindow(title, 1000);
        if (!hwnd) return 1;
        return PostMessageW(hwnd, std::wcstoul(argv[3], nullptr, 10), std::wcstoul(argv[4], nullptr, 10),
                            std::wcstol(argv[5], nullptr, 10))
                   ? 0
                   : 1;
    }
    return 2;
}
