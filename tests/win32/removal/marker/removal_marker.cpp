// A library that says when its code runs: loading it writes "<its own path>.loaded" and its
// unregistration entry point writes "<its own path>.unregistered". The removal tests plant it
// as a found file; neither marker may ever appear.
#include <windows.h>

#include <string>

namespace {

HMODULE self = nullptr;

void WriteMarker(const wchar_t* suffix) {
    wchar_t path[MAX_PATH * 4];
    DWORD length = GetModuleFileNameW(self, path, MAX_PATH * 4);
    if (length == 0 || length >= MAX_PATH * 4)
        return;
    std::wstring marker = std::wstring(path, length) + suffix;
    HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        self = instance;
        WriteMarker(L".loaded");
    }
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer() {
    WriteMarker(L".unregistered");
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer() {
    return S_OK;
}
