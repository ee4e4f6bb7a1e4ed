// The single-instance lock: the first copy of the program opens "Pellora.lock" in the
// application folder with no sharing and keeps it open while it runs; a second copy (window or
// console program) finds it in use and ends at once, before it touches any other file. A file
// in the application folder rather than a named object: only administrators may create it there,
// while any process of any user could create a mutex of a given name first and so keep Pellora
// from ever starting. The file is deleted when the last handle closes.
#pragma once

#include <string>

#include "gui/win.h"

namespace pellora::gui {

inline constexpr const wchar_t* kInstanceLockName = L"Pellora.lock";

class SingleInstance {
  public:
    // The lock in the folder of this process's executable.
    SingleInstance();
    explicit SingleInstance(const std::wstring& lockPath);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when the lock is not ours: another copy holds it, or it cannot be made at all.
    bool anotherRunning() const { return file_ == INVALID_HANDLE_VALUE; }
    // Why it is not ours: ERROR_SHARING_VIOLATION while another copy runs; ERROR_ACCESS_DENIED
    // without the rights to create files in the folder.
    DWORD error() const { return error_; }

  private:
    HANDLE file_ = INVALID_HANDLE_VALUE;
    DWORD error_ = ERROR_SUCCESS;
};

// The lock's full path beside this process's executable.
std::wstring InstanceLockPath();

}  // namespace pellora::gui
