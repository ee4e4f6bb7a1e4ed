#include "gui/single_instance.h"

namespace pellora::gui {

std::wstring InstanceLockPath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return kInstanceLockName;
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.rfind(L'\\') + 1) + kInstanceLockName;
}

SingleInstance::SingleInstance() : SingleInstance(InstanceLockPath()) {}

SingleInstance::SingleInstance(const std::wstring& lockPath) {
    // No sharing at all: while this handle is open no other process opens the file, whatever
    // access it asks for. Deleted on close, so that nothing is left in the folder after the run.
    file_ = CreateFileW(lockPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file_ == INVALID_HANDLE_VALUE)
        error_ = GetLastError();
}

SingleInstance::~SingleInstance() {
    if (file_ != INVALID_HANDLE_VALUE)
        CloseHandle(file_);
}

}  // namespace pellora::gui
