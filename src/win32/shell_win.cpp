// The Win32 side of the shell port. SHFileOperationW takes lists of paths, each path ended by a
// NUL and the list by a second one; a list of one entry therefore needs the double NUL, or the
// shell reads past the end of the text.
#include "win32/shell_win.h"

#include <windows.h>
// Needs the types of windows.h.
#include <shellapi.h>

#include "win32/encoding_win.h"

namespace pellora::win32 {

namespace {
std::wstring OneEntryList(const std::string& path) {
    std::wstring list = Widen(path);
    list.push_back(L'\0');  // ends the entry
    list.push_back(L'\0');  // ends the list
    return list;
}
}  // namespace

int ShellWin::FileOperation(ShellOp op, const std::string& from, const std::string& to, uint32_t flags) {
    std::wstring source = OneEntryList(from);
    std::wstring destination = OneEntryList(to);
    SHFILEOPSTRUCTW operation{};
    operation.hwnd = nullptr;
    operation.wFunc = op == ShellOp::Copy ? FO_COPY : FO_MOVE;
    operation.pFrom = source.c_str();
    operation.pTo = destination.c_str();
    operation.fFlags = static_cast<FILEOP_FLAGS>(flags);
    int result = SHFileOperationW(&operation);
    // A "No" to a question of the shell, or a cancelled progress window, ends the operation
    // with result 0 and only this indicator set.
    if (result == 0 && operation.fAnyOperationsAborted)
        return ERROR_CANCELLED;
    return result;
}

bool ShellWin::OpenDocument(const std::string& path, const std::string& workingFolder) {
    std::wstring file = Widen(path);
    std::wstring folder = Widen(workingFolder);
    HINSTANCE result =
        ShellExecuteW(owner, L"open", file.c_str(), nullptr, folder.empty() ? nullptr : folder.c_str(), SW_SHOWNORMAL);
    // Values above 32 mean success; the rest are error codes dressed as a handle.
    return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace pellora::win32
