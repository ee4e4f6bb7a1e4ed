// ShellWin: the shell port on shell32: SHFileOperationW for copies and moves, ShellExecuteW for
// opening a document with its associated program.
#pragma once

#include "core/ports/shell.h"

struct HWND__;  // HWND without <windows.h>

namespace pellora::win32 {

class ShellWin : public ShellPort {
  public:
    // The window that owns what OpenDocument starts (the window program's main window; none for
    // the console program).
    HWND__* owner = nullptr;

    int FileOperation(ShellOp op, const std::string& from, const std::string& to, uint32_t flags) override;
    bool OpenDocument(const std::string& path, const std::string& workingFolder) override;
};

}  // namespace pellora::win32
