#include "gui/single_instance.h"

namespace pellora::gui {

SingleInstance::SingleInstance(const wchar_t* name) {
    mutex_ = CreateMutexW(nullptr, FALSE, name);
    // A mutex we may not open (another user's session) is taken just the same.
    another_ = mutex_ ? GetLastError() == ERROR_ALREADY_EXISTS : GetLastError() == ERROR_ACCESS_DENIED;
}

SingleInstance::~SingleInstance() {
    if (mutex_) CloseHandle(mutex_);
}

}  // namespace pellora::gui
