// The identity side of the Windows adapters: what a path or key really is. Files are opened
// with FILE_FLAG_OPEN_REPARSE_POINT (a link is identified as itself, never as its target) and
// FILE_FLAG_BACKUP_SEMANTICS (folders open too), and read back with GetFinalPathNameByHandleW
// and GetFileInformationByHandle. Registry links are opened with REG_OPTION_OPEN_LINK, which
// gives the link key itself and its "SymbolicLinkValue".
#include <windows.h>

// After windows.h, which they need; initguid.h makes the folder ids defined here.
#include <initguid.h>
#include <knownfolders.h>
#include <sddl.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#undef DeleteFile
#undef RemoveDirectory
#undef CreateDirectory
#undef MoveFile
#undef Yield

#include "win32/encoding_win.h"
#include "win32/file_system_win.h"
#include "win32/handle_win.h"
#include "win32/identity_win.h"
#include "win32/registry_roots.h"
#include "win32/registry_win.h"
#include "win32/system_win.h"

namespace pellora::win32 {

namespace {

// The final path without the "\\?\" the system puts in front: "C:\..." or "\\server\share\...".
std::string PlainFinalPath(std::wstring path) {
    if (path.starts_with(L"\\\\?\\UNC\\")) {
        path = L"\\\\" + path.substr(8);
    } else if (path.starts_with(L"\\\\?\\")) {
        path = path.substr(4);
    }
    return Narrow(path);
}

// The object's name as the object manager keeps it, for when GetFinalPathNameByHandleW cannot
// give it: Wine's copy reads the name into a buffer of MAX_PATH characters and fails with
// ERROR_MORE_DATA for every longer path, however large the caller's buffer. Wine names files
// "\??\C:\..." there, which is the final path; Windows' own "\Device\..." names are
// not mapped here (Windows' GetFinalPathNameByHandleW has no such limit).
std::optional<std::wstring> ObjectManagerName(HANDLE file) {
    struct CountedName {
        USHORT length;  // in bytes
        USHORT maximumLength;
        PWSTR buffer;
    };
    using NtQueryObjectFn = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    constexpr int kObjectNameInformation = 1;
    static NtQueryObjectFn query = reinterpret_cast<NtQueryObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    if (!query)
        return std::nullopt;
    // A name is at most 32,767 characters.
    std::vector<wchar_t> buffer(sizeof(CountedName) / sizeof(wchar_t) + 32768);
    ULONG written = 0;
    if (query(file, kObjectNameInformation, buffer.data(), static_cast<ULONG>(buffer.size() * sizeof(wchar_t)),
              &written) != 0)
        return std::nullopt;
    const auto* name = reinterpret_cast<const CountedName*>(buffer.data());
    std::wstring text(name->buffer, name->length / sizeof(wchar_t));
    if (text.starts_with(L"\\??\\UNC\\"))
        return L"\\\\" + text.substr(8);
    if (text.size() >= 7 && text.starts_with(L"\\??\\") && text[5] == L':' && text[6] == L'\\')
        return text.substr(4);
    return std::nullopt;
}

std::optional<std::wstring> FinalPathOf(HANDLE file) {
    std::vector<wchar_t> buffer(1024);
    DWORD length = GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()),
                                             FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length >= buffer.size()) {
        buffer.resize(length + 1);
        length = GetFinalPathNameByHandleW(file, buffer.data(), static_cast<DWORD>(buffer.size()),
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    }
    if (length == 0 && GetLastError() == ERROR_MORE_DATA)
        return ObjectManagerName(file);
    if (length == 0 || length >= buffer.size())
        return std::nullopt;
    return std::wstring(buffer.data(), length);
}

}  // namespace

bool OrdinalEqualIgnoreCase(const std::string& a, const std::string& b) {
    std::wstring wa = Widen(a);
    std::wstring wb = Widen(b);
    return CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(), static_cast<int>(wb.size()),
                                TRUE) == CSTR_EQUAL;
}

namespace {

std::optional<FileIdentity> IdentityOf(HANDLE file) {
    std::optional<std::wstring> finalPath = FinalPathOf(file);
    if (!finalPath)
        return std::nullopt;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file, &info))
        return std::nullopt;
    FileIdentity identity;
    identity.finalPath = PlainFinalPath(std::move(*finalPath));
    identity.volumeSerial = info.dwVolumeSerialNumber;
    identity.fileIdHigh = info.nFileIndexHigh;
    identity.fileIdLow = info.nFileIndexLow;
    identity.attributes = info.dwFileAttributes;
    return identity;
}

}  // namespace

std::optional<FileIdentity> FileSystemWin::Identify(const std::string& path) {
    UniqueKernelHandle file(CreateFileW(WinPath(path).c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file)
        return std::nullopt;
    return IdentityOf(file.get());
}

std::optional<FileSystemPort::IdentifiedBytes> FileSystemWin::ReadFileIdentified(const std::string& path,
                                                                                 uint64_t maxLength) {
    // No backup semantics: a folder does not open.
    UniqueKernelHandle file(CreateFileW(WinPath(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file)
        return std::nullopt;
    std::optional<FileIdentity> identity = IdentityOf(file.get());
    LARGE_INTEGER size{};
    if (!identity || (identity->attributes & FILE_ATTRIBUTE_DIRECTORY) || !GetFileSizeEx(file.get(), &size) ||
        static_cast<uint64_t>(size.QuadPart) > maxLength)
        return std::nullopt;
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!bytes.empty() &&
        (!::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) || got != bytes.size()))
        return std::nullopt;
    return IdentifiedBytes{std::move(bytes), std::move(*identity)};
}

namespace {

// One handle of a plain disk file, read front to back.
class HandleContentReader : public FileSystemPort::ContentReader {
  public:
    HandleContentReader(UniqueKernelHandle file, FileSystemPort::OpenedFileInfo info)
        : file_(std::move(file)), info_(std::move(info)) {}
    const FileSystemPort::OpenedFileInfo& Info() const override { return info_; }
    bool ReadMore(std::string& into, uint64_t length) override {
        const size_t start = into.size();
        into.resize(start + static_cast<size_t>(length));
        size_t got = 0;
        while (got < length) {
            const DWORD piece = static_cast<DWORD>(std::min<uint64_t>(length - got, 1u << 30));
            DWORD read = 0;
            if (!::ReadFile(file_.get(), into.data() + start + got, piece, &read, nullptr)) {
                into.resize(start + got);
                return false;
            }
            if (read == 0)
                break;
            got += read;
        }
        into.resize(start + got);
        return true;
    }

  private:
    UniqueKernelHandle file_;
    FileSystemPort::OpenedFileInfo info_;
};

bool NotOnLocalDrive(const std::string& path) {
    if (path.size() < 3 || path[1] != ':' || path[2] != '\\')
        return true;
    const wchar_t root[4] = {static_cast<wchar_t>(static_cast<unsigned char>(path[0])), L':', L'\\', 0};
    return GetDriveTypeW(root) == DRIVE_REMOTE;
}

}  // namespace

std::unique_ptr<FileSystemPort::ContentReader> FileSystemWin::OpenContent(const std::string& path) {
    // Only a local drive's path: a network path would have this program's rights read from a
    // server an attacker may run.
    if (NotOnLocalDrive(path))
        return nullptr;
    // No backup semantics (a folder does not open), the link itself rather than its target.
    UniqueKernelHandle file(CreateFileW(WinPath(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file || GetFileType(file.get()) != FILE_TYPE_DISK)
        return nullptr;
    std::optional<FileIdentity> identity = IdentityOf(file.get());
    BY_HANDLE_FILE_INFORMATION info{};
    if (!identity || (identity->attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ||
        identity->finalPath.starts_with("\\\\") || !GetFileInformationByHandle(file.get(), &info))
        return nullptr;
    FileSystemPort::OpenedFileInfo opened;
    opened.identity = std::move(*identity);
    opened.size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    opened.lastWriteTime =
        (static_cast<uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
    return std::make_unique<HandleContentReader>(std::move(file), std::move(opened));
}

std::optional<std::string> FileSystemWin::FinalPath(const std::string& path) {
    // No access rights are asked for, so a file in use or without read rights still answers;
    // backup semantics let a folder be opened.
    UniqueKernelHandle object(CreateFileW(WinPath(path).c_str(), 0,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                          OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!object)
        return std::nullopt;
    std::optional<std::wstring> final = FinalPathOf(object.get());
    return final ? std::optional<std::string>(PlainFinalPath(std::move(*final))) : std::nullopt;
}

bool FileSystemWin::ListFolder(const std::string& folder,
                               std::vector<FindEntry>& out,
                               std::optional<std::string>& finalPath) {
    std::string base = folder;
    if (base.empty() || base.back() != '\\')
        base += '\\';
    UniqueKernelHandle handle(
        CreateFileW(WinPath(base).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle)
        return false;
    std::optional<std::wstring> final = FinalPathOf(handle.get());
    finalPath = final ? std::optional<std::string>(PlainFinalPath(std::move(*final))) : std::nullopt;
    // Entries are 8-byte aligned inside the buffer.
    std::vector<uint64_t> buffer(8192);
    const DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(uint64_t));
    for (bool first = true;; first = false) {
        if (!GetFileInformationByHandleEx(handle.get(), first ? FileFullDirectoryRestartInfo : FileFullDirectoryInfo,
                                          buffer.data(), bytes)) {
            return GetLastError() == ERROR_NO_MORE_FILES;
        }
        const auto* at = reinterpret_cast<const unsigned char*>(buffer.data());
        for (;;) {
            const auto* info = reinterpret_cast<const FILE_FULL_DIR_INFO*>(at);
            std::wstring_view name(info->FileName, info->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") {
                FindEntry entry;
                entry.name = Narrow(name);
                entry.attributes = info->FileAttributes;
                entry.size = static_cast<uint64_t>(info->EndOfFile.QuadPart);
                entry.lastWriteTime = static_cast<uint64_t>(info->LastWriteTime.QuadPart);
                out.push_back(std::move(entry));
            }
            if (info->NextEntryOffset == 0)
                break;
            at += info->NextEntryOffset;
        }
    }
}

FileSystemPort::CheckedDelete FileSystemWin::DeleteFileIfSame(const std::string& path, const FileIdentity& checked) {
    UniqueKernelHandle file(CreateFileW(WinPath(path).c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!file)
        return CheckedDelete::Failed;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(file.get(), &info))
        return CheckedDelete::Failed;
    if (info.dwVolumeSerialNumber != checked.volumeSerial || info.nFileIndexHigh != checked.fileIdHigh ||
        info.nFileIndexLow != checked.fileIdLow)
        return CheckedDelete::NotTheChecked;
    // A read-only file refuses to be deleted; zero times leave the times as they are.
    FILE_BASIC_INFO basic{};
    const bool readOnly = info.dwFileAttributes & FILE_ATTRIBUTE_READONLY;
    if (readOnly) {
        DWORD rest = info.dwFileAttributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
        basic.FileAttributes = rest ? rest : FILE_ATTRIBUTE_NORMAL;
        SetFileInformationByHandle(file.get(), FileBasicInfo, &basic, sizeof basic);
    }
    FILE_DISPOSITION_INFO disposition{TRUE};
    if (SetFileInformationByHandle(file.get(), FileDispositionInfo, &disposition, sizeof disposition))
        return CheckedDelete::Deleted;
    if (readOnly) {
        basic.FileAttributes = info.dwFileAttributes;
        SetFileInformationByHandle(file.get(), FileBasicInfo, &basic, sizeof basic);
    }
    return CheckedDelete::Failed;
}

bool FileSystemWin::IsSystemProtectedFile(const std::string& path) {
    using SfcIsFileProtectedFn = BOOL(WINAPI*)(HANDLE, LPCWSTR);
    // Loaded from the system folder only: a planted sfc.dll beside the program must not answer.
    static SfcIsFileProtectedFn check = [] {
        HMODULE module = LoadLibraryExW(L"sfc.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        return module ? reinterpret_cast<SfcIsFileProtectedFn>(
                            reinterpret_cast<void*>(GetProcAddress(module, "SfcIsFileProtected")))
                      : nullptr;
    }();
    return check && check(nullptr, Widen(path).c_str());
}

std::optional<std::string> RegistryWin::LinkTarget(RootKey root, const std::string& subkey) {
    HKEY rootHandle = RootHandle(root);
    HKEY raw = nullptr;
    if (!rootHandle || subkey.empty() ||
        RegOpenKeyExW(rootHandle, Widen(subkey).c_str(), REG_OPTION_OPEN_LINK, KEY_QUERY_VALUE, &raw) != ERROR_SUCCESS)
        return std::nullopt;
    std::vector<wchar_t> target(2048);
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(target.size() * sizeof(wchar_t));
    LONG rc =
        RegQueryValueExW(raw, L"SymbolicLinkValue", nullptr, &type, reinterpret_cast<BYTE*>(target.data()), &size);
    RegCloseKey(raw);
    if (rc != ERROR_SUCCESS || type != REG_LINK)
        return std::nullopt;
    return Narrow(std::wstring_view(target.data(), size / sizeof(wchar_t)));
}

std::string RegistryWin::CurrentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return {};
    UniqueKernelHandle owned(token);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> buffer(size);
    if (size == 0 || !GetTokenInformation(token, TokenUser, buffer.data(), size, &size))
        return {};
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text))
        return {};
    std::string sid = Narrow(text);
    LocalFree(text);
    return sid;
}

bool DeleteRegistryLink(RootKey root, const std::string& subkey) {
    // RegDeleteKeyW follows a link and deletes its target; the link itself is removed through
    // a handle opened on it.
    using NtDeleteKeyFn = LONG(WINAPI*)(HANDLE);
    static NtDeleteKeyFn ntDeleteKey = reinterpret_cast<NtDeleteKeyFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtDeleteKey")));
    HKEY rootHandle = RootHandle(root);
    HKEY raw = nullptr;
    if (!ntDeleteKey || !rootHandle ||
        RegOpenKeyExW(rootHandle, Widen(subkey).c_str(), REG_OPTION_OPEN_LINK, DELETE | KEY_QUERY_VALUE, &raw) !=
            ERROR_SUCCESS)
        return false;
    bool deleted = ntDeleteKey(raw) == 0;
    RegCloseKey(raw);
    return deleted;
}

std::vector<std::string> SystemWin::KnownFolders() {
    static const KNOWNFOLDERID* const kFolders[] = {
        &FOLDERID_Documents,       &FOLDERID_Desktop,         &FOLDERID_Downloads,       &FOLDERID_Pictures,
        &FOLDERID_Music,           &FOLDERID_Videos,          &FOLDERID_RoamingAppData,  &FOLDERID_LocalAppData,
        &FOLDERID_LocalAppDataLow, &FOLDERID_StartMenu,       &FOLDERID_Startup,         &FOLDERID_Programs,
        &FOLDERID_ProgramData,     &FOLDERID_Profile,         &FOLDERID_Public,          &FOLDERID_PublicDocuments,
        &FOLDERID_PublicDesktop,   &FOLDERID_CommonStartMenu, &FOLDERID_CommonStartup,   &FOLDERID_CommonPrograms,
        &FOLDERID_Favorites,       &FOLDERID_ProgramFiles,    &FOLDERID_ProgramFilesX86, &FOLDERID_ProgramFilesCommon,
        &FOLDERID_UserProfiles,    &FOLDERID_Templates,       &FOLDERID_SendTo,          &FOLDERID_Recent,
    };
    std::vector<std::string> folders;
    for (const KNOWNFOLDERID* id : kFolders) {
        PWSTR path = nullptr;
        // KF_FLAG_DONT_VERIFY: a folder that is missing today is still the user's.
        if (SUCCEEDED(SHGetKnownFolderPath(*id, KF_FLAG_DONT_VERIFY, nullptr, &path)) && path)
            folders.push_back(Narrow(path));
        CoTaskMemFree(path);
    }
    return folders;
}

}  // namespace pellora::win32
