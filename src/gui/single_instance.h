// The single-instance check: a named mutex that the first copy of the program holds while it
// runs. A second copy finds it taken and ends at once, before it touches any file. The name is
// in the machine-wide namespace: the console program in a scheduled task (another session, or
// none) and the window in a user's session share the same application folder and files.
#pragma once

#include "gui/win.h"

namespace pellora::gui {

inline constexpr const wchar_t* kInstanceMutexName = L"Global\\Pellora.DozevurEzavuri.Instance";

class SingleInstance {
public:
    explicit SingleInstance(const wchar_t* name = kInstanceMutexName);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when another copy of the program already holds the name.
    bool anotherRunning() const { return another_; }

private:
    HANDLE mutex_ = nullptr;
    bool another_ = false;
};

}  // namespace pellora::gui
