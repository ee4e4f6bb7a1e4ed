// The Win32 side of the file-system port. Every call is one kernel32 wide function, except the
// atomic write: it writes a temporary file beside the target, flushes it and renames it over the
// target with MoveFileExW. ReplaceFileW is not used because under Wine it is not atomic and
// refuses read-only targets; a rename within one folder is a single step on both.
#include "win32/file_system_win.h"

// Need the types of windows.h.
#include <bcrypt.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "core/util/crash_safe_replace.h"
#include "win32/encoding_win.h"
#include "win32/handle_win.h"

namespace pellora::win32 {

namespace {

// Below this length every classic path function works; CreateDirectoryW stops 12 earlier.
constexpr size_t kClassicPathLimit = MAX_PATH - 12;

bool WriteAll(HANDLE file, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

// A name beside the target that no other writer (another instance, another thread) picks.
std::string TempNameBeside(const std::string& path, unsigned attempt) {
    static std::atomic<unsigned> counter{0};
    return path + ".~" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++) + "-" +
           std::to_string(attempt) + ".tmp";
}

}  // namespace

std::wstring WinPath(const std::string& path) {
    std::wstring wide = Widen(path);
    if (wide.size() < kClassicPathLimit || wide.starts_with(L"\\\\?\\") || wide.starts_with(L"\\\\.\\"))
        return wide;
    // Prefixed paths are taken literally by the system: no "/" is turned into "\" for us.
    for (wchar_t& c : wide) {
        if (c == L'/')
            c = L'\\';
    }
    if (wide.size() >= 3 && wide[1] == L':' && wide[2] == L'\\')
        return L"\\\\?\\" + wide;
    if (wide.starts_with(L"\\\\"))
        return L"\\\\?\\UNC\\" + wide.substr(2);
    return wide;
}

bool FileSystemWin::FindEntries(const std::string& pattern, std::vector<FindEntry>& out) {
    WIN32_FIND_DATAW data{};
    UniqueFindHandle find(FindFirstFileExW(WinPath(pattern).c_str(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                           nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find) {
        // A readable folder in which nothing matches is an empty listing, not a failure.
        DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_NO_MORE_FILES;
    }
    do {
        std::wstring_view name(data.cFileName);
        if (name == L"." || name == L"..")
            continue;
        FindEntry entry;
        entry.name = Narrow(name);
        entry.attributes = data.dwFileAttributes;
        entry.size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
        entry.lastWriteTime =
            (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
        out.push_back(std::move(entry));
    } while (FindNextFileW(find.get(), &data));
    return true;
}

std::optional<uint32_t> FileSystemWin::GetAttributes(const std::string& path) {
    DWORD attributes = GetFileAttributesW(WinPath(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return std::nullopt;
    return attributes;
}

Presence FileSystemWin::Probe(const std::string& path) {
    if (GetFileAttributesW(WinPath(path).c_str()) != INVALID_FILE_ATTRIBUTES)
        return Presence::Present;
    // Only "no such file or folder" is absence: access denied, a sharing violation or a name
    // the system cannot take say nothing about whether the object is there.
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Presence::Absent : Presence::Unknown;
}

bool FileSystemWin::SetAttributes(const std::string& path, uint32_t attributes) {
    return SetFileAttributesW(WinPath(path).c_str(), attributes) != 0;
}

bool FileSystemWin::DeleteFile(const std::string& path) {
    return DeleteFileW(WinPath(path).c_str()) != 0;
}

bool FileSystemWin::DeleteAtRestart(const std::string& path) {
    return MoveFileExW(WinPath(path).c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}

bool FileSystemWin::RemoveDirectory(const std::string& path) {
    // On a junction or a directory symbolic link this removes the link; the folder it points to
    // and its contents are not touched.
    return RemoveDirectoryW(WinPath(path).c_str()) != 0;
}

bool FileSystemWin::CreateDirectory(const std::string& path) {
    return CreateDirectoryW(WinPath(path).c_str(), nullptr) != 0;
}

std::optional<std::string> FileSystemWin::ReadFile(const std::string& path) {
    return ReadFileUpTo(path, UINT64_MAX);
}

std::optional<std::string> FileSystemWin::ReadFileUpTo(const std::string& path, uint64_t maxLength) {
    UniqueKernelHandle file(CreateFileW(WinPath(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return std::nullopt;
    // Read to the end rather than trusting the size: a file another program is writing may grow.
    std::string bytes;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file.get(), &size)) {
        if (static_cast<uint64_t>(size.QuadPart) > maxLength)
            return std::nullopt;
        if (size.QuadPart > 0 && size.QuadPart < (1LL << 30))
            bytes.reserve(static_cast<size_t>(size.QuadPart));
    }
    char buffer[64 * 1024];
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr))
            return std::nullopt;
        if (got == 0)
            break;
        if (bytes.size() + got > maxLength || bytes.size() + got > bytes.max_size())
            return std::nullopt;
        bytes.append(buffer, got);
    }
    return bytes;
}

namespace {

// The crash-safe replacement's steps on kernel32.
class ReplaceStepsWin : public ReplaceSteps {
  public:
    std::optional<uint32_t> Attributes(const std::string& path) override {
        DWORD attributes = GetFileAttributesW(WinPath(path).c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            return std::nullopt;
        return attributes;
    }
    bool SetAttributes(const std::string& path, uint32_t attributes) override {
        return SetFileAttributesW(WinPath(path).c_str(), attributes) != 0;
    }
    bool CreateNew(const std::string& path) override {
        file_ = UniqueKernelHandle(
            CreateFileW(WinPath(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        return static_cast<bool>(file_);
    }
    bool Write(std::string_view bytes, size_t& written) override {
        // WriteFile takes a 32-bit count: longer texts go in pieces, never cut.
        DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
        DWORD done = 0;
        bool ok = ::WriteFile(file_.get(), bytes.data(), chunk, &done, nullptr) != 0;
        written = done;
        return ok;
    }
    bool Flush() override { return FlushFileBuffers(file_.get()) != 0; }
    void Close() override { file_.Reset(); }
    bool RenameOver(const std::string& from, const std::string& to) override {
        return MoveFileExW(WinPath(from).c_str(), WinPath(to).c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    }
    bool Delete(const std::string& path) override { return DeleteFileW(WinPath(path).c_str()) != 0; }

  private:
    UniqueKernelHandle file_;
};

}  // namespace

bool FileSystemWin::WriteFileAtomic(const std::string& path, const std::string& bytes) {
    ReplaceStepsWin steps;
    return ReplaceFileCrashSafe(steps, path, bytes,
                                [&path](unsigned attempt) { return TempNameBeside(path, attempt); });
}

bool FileSystemWin::AppendFile(const std::string& path, const std::string& bytes) {
    UniqueKernelHandle file(CreateFileW(WinPath(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    return WriteAll(file.get(), bytes) && FlushFileBuffers(file.get());
}

namespace {

// One handle for the whole download, written chunk by chunk and flushed once at the end.
class HandleWriter : public FileWriter {
  public:
    explicit HandleWriter(UniqueKernelHandle file) : file_(std::move(file)) {}
    bool Write(std::string_view bytes) override { return bytes.empty() || WriteAll(file_.get(), std::string(bytes)); }
    bool Flush() override { return FlushFileBuffers(file_.get()) != FALSE; }

  private:
    UniqueKernelHandle file_;
};

}  // namespace

std::unique_ptr<FileWriter> FileSystemWin::OpenFileWriter(const std::string& path, bool append) {
    UniqueKernelHandle file(CreateFileW(WinPath(path).c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE,
                                        FILE_SHARE_READ, nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return nullptr;
    return std::make_unique<HandleWriter>(std::move(file));
}

bool FileSystemWin::MoveFile(const std::string& from, const std::string& to) {
    // Copy-and-delete is allowed so that a move to another drive works as it does for the shell.
    return MoveFileExW(WinPath(from).c_str(), WinPath(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) !=
           0;
}

std::optional<std::string> FileSystemWin::FileSha256(const std::string& path) {
    UniqueKernelHandle file(CreateFileW(WinPath(path).c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return std::nullopt;
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0)))
        return std::nullopt;
    BCRYPT_HASH_HANDLE hash = nullptr;
    std::optional<std::string> result;
    if (BCRYPT_SUCCESS(BCryptCreateHash(algorithm, &hash, nullptr, 0, nullptr, 0, 0))) {
        // Streamed: a payload may be far larger than what is sensible to hold in memory.
        std::string buffer(256 * 1024, '\0');
        bool ok = true;
        for (;;) {
            DWORD got = 0;
            if (!::ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
                ok = false;
                break;
            }
            if (got == 0)
                break;
            if (!BCRYPT_SUCCESS(BCryptHashData(hash, reinterpret_cast<PUCHAR>(buffer.data()), got, 0))) {
                ok = false;
                break;
            }
        }
        UCHAR digest[32];
        if (ok && BCRYPT_SUCCESS(BCryptFinishHash(hash, digest, sizeof digest, 0))) {
            constexpr char kHex[] = "0123456789abcdef";
            std::string hex;
            for (UCHAR byte : digest) {
                hex += kHex[byte >> 4];
                hex += kHex[byte & 0xF];
            }
            result = std::move(hex);
        }
        BCryptDestroyHash(hash);
    }
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return result;
}

bool FileSystemWin::CopyOneFile(const std::string& from, const std::string& to) {
    // A read-only target would refuse the copy; it is replaced like any other.
    std::wstring target = WinPath(to);
    DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    return CopyFileW(WinPath(from).c_str(), target.c_str(), FALSE) != 0;
}

namespace {

using NtCreateFileCall = NTSTATUS(NTAPI*)(PHANDLE,
                                          ACCESS_MASK,
                                          POBJECT_ATTRIBUTES,
                                          PIO_STATUS_BLOCK,
                                          PLARGE_INTEGER,
                                          ULONG,
                                          ULONG,
                                          ULONG,
                                          ULONG,
                                          PVOID,
                                          ULONG);

using NtSetInformationFileCall = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);

// Creates the file `name` in the folder behind `folder` (never one that is there already, and
// never through a link at that name): NtCreateFile relative to the folder's handle.
UniqueKernelHandle CreateNewFileIn(HANDLE folder, const std::wstring& name) {
    static const auto ntCreateFile = reinterpret_cast<NtCreateFileCall>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtCreateFile")));
    if (!ntCreateFile || name.empty() || name.size() > 32767)
        return UniqueKernelHandle();
    std::wstring buffer = name;
    UNICODE_STRING text{static_cast<USHORT>(buffer.size() * sizeof(wchar_t)),
                        static_cast<USHORT>(buffer.size() * sizeof(wchar_t)), buffer.data()};
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE file = nullptr;
    NTSTATUS status = ntCreateFile(
        &file, GENERIC_WRITE | DELETE | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, 0, FILE_CREATE,
        FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
    return UniqueKernelHandle(status >= 0 ? file : nullptr);
}

}  // namespace

FileSystemPort::CheckedWrite FileSystemWin::CopyIntoFolderIfSame(const std::string& from,
                                                                 const std::string& folder,
                                                                 const FileIdentity& checked,
                                                                 const std::string& name,
                                                                 bool replace) {
    if (name.empty() || name.find_first_of("\\/:") != std::string::npos)
        return CheckedWrite::Failed;
    // The folder is opened without following a link and compared by volume and file id; the
    // file is then created relative to that handle, so the folder compared is the folder
    // written into, whatever its path leads to by then.
    UniqueKernelHandle directory(
        CreateFileW(WinPath(folder).c_str(), FILE_LIST_DIRECTORY | FILE_ADD_FILE | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!directory)
        return CheckedWrite::Failed;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(directory.get(), &info))
        return CheckedWrite::Failed;
    if (info.dwVolumeSerialNumber != checked.volumeSerial || info.nFileIndexHigh != checked.fileIdHigh ||
        info.nFileIndexLow != checked.fileIdLow || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        return CheckedWrite::NotTheChecked;
    }
    UniqueKernelHandle source(CreateFileW(WinPath(from).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    std::wstring finalName = Widen(name);
    UniqueKernelHandle target = source
                                    ? CreateNewFileIn(directory.get(), replace ? finalName + L".restoring" : finalName)
                                    : UniqueKernelHandle();
    if (!target)
        return CheckedWrite::Failed;
    std::string buffer(256 * 1024, '\0');
    bool ok = true;
    for (;;) {
        DWORD got = 0;
        if (!::ReadFile(source.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            ok = false;
            break;
        }
        if (got == 0)
            break;
        if (!WriteAll(target.get(), buffer.substr(0, got))) {
            ok = false;
            break;
        }
    }
    ok = ok && FlushFileBuffers(target.get());
    if (ok && replace) {
        // Renamed over the name within the same folder handle: the name itself is replaced.
        // NtSetInformationFile directly: Wine's SetFileInformationByHandle refuses a rename.
        static const auto ntSetInformationFile = reinterpret_cast<NtSetInformationFileCall>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtSetInformationFile")));
        std::vector<char> rename(sizeof(FILE_RENAME_INFORMATION) + finalName.size() * sizeof(wchar_t));
        auto* renameInfo = reinterpret_cast<FILE_RENAME_INFORMATION*>(rename.data());
        renameInfo->ReplaceIfExists = TRUE;
        renameInfo->RootDirectory = directory.get();
        renameInfo->FileNameLength = static_cast<ULONG>(finalName.size() * sizeof(wchar_t));
        std::copy(finalName.begin(), finalName.end(), renameInfo->FileName);
        IO_STATUS_BLOCK io{};
        ok =
            ntSetInformationFile && ntSetInformationFile(target.get(), &io, renameInfo,
                                                         static_cast<ULONG>(rename.size()), FileRenameInformation) >= 0;
    }
    if (ok)
        return CheckedWrite::Written;
    // A half copy goes through the handle that made it, not by name.
    FILE_DISPOSITION_INFO disposition{TRUE};
    SetFileInformationByHandle(target.get(), FileDispositionInfo, &disposition, sizeof disposition);
    return CheckedWrite::Failed;
}

}  // namespace pellora::win32
