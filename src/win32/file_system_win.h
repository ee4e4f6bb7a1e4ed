// FileSystemWin: the file-system port on kernel32's wide functions. Paths arrive as UTF-8 with
// backslashes; paths too long for the classic limit get the "\\?\" prefix at the call, so deep
// trees found by a listing can still be deleted.
#pragma once

#include <windows.h>

// windows.h defines these names as macros (of their A/W functions, and Yield as nothing), which
// would rename the ports' methods in every file that sees both; they are undone here.
#undef DeleteFile
#undef RemoveDirectory
#undef CreateDirectory
#undef MoveFile
#undef Yield

#include "core/ports/file_system.h"

namespace pellora::win32 {

class FileSystemWin : public FileSystemPort {
  public:
    bool FindEntries(const std::string& pattern, std::vector<FindEntry>& out) override;
    std::optional<uint32_t> GetAttributes(const std::string& path) override;
    bool SetAttributes(const std::string& path, uint32_t attributes) override;
    bool DeleteFile(const std::string& path) override;
    bool RemoveDirectory(const std::string& path) override;
    bool CreateDirectory(const std::string& path) override;
    std::optional<std::string> ReadFile(const std::string& path) override;
    std::optional<std::string> ReadFileUpTo(const std::string& path, uint64_t maxLength) override;
    Presence Probe(const std::string& path) override;
    bool WriteFileAtomic(const std::string& path, const std::string& bytes) override;
    bool AppendFile(const std::string& path, const std::string& bytes) override;
    bool MoveFile(const std::string& from, const std::string& to) override;
    std::unique_ptr<FileWriter> OpenFileWriter(const std::string& path, bool append) override;
    std::optional<std::string> FileSha256(const std::string& path) override;
    bool CopyOneFile(const std::string& from, const std::string& to) override;
    // identity_win.cpp
    std::optional<std::string> FinalPath(const std::string& path) override;
    std::optional<FileIdentity> Identify(const std::string& path) override;
    std::optional<IdentifiedBytes> ReadFileIdentified(const std::string& path, uint64_t maxLength) override;
    std::unique_ptr<ContentReader> OpenContent(const std::string& path) override;
    bool ListFolder(const std::string& folder,
                    std::vector<FindEntry>& out,
                    std::optional<std::string>& finalPath) override;
    CheckedDelete DeleteFileIfSame(const std::string& path, const FileIdentity& checked) override;
    bool IsSystemProtectedFile(const std::string& path) override;
    // advapi32's security descriptors (file_access_win.cpp).
    std::optional<std::vector<AccessEntry>> ReadAccessList(const std::string& path) override;
    std::optional<std::string> ReadOwner(const std::string& path) override;
    bool IsRemoteDrive(char letter) override;
    std::optional<std::string> ReadLinkTarget(const std::string& path) override;
    bool SetAccessList(const std::string& path, const std::string& sddl) override;
    CheckedWrite CopyIntoFolderIfSame(const std::string& from,
                                      const std::string& folder,
                                      const FileIdentity& checked,
                                      const std::string& name,
                                      bool replace) override;
    // MoveFileExW with MOVEFILE_DELAY_UNTIL_REBOOT (an administrator's right on Windows).
    bool DeleteAtRestart(const std::string& path) override;
};

// The wide path for a Win32 call: "\\?\" (or "\\?\UNC\") in front of a drive or network path
// that is too long for the classic functions; shorter paths are passed as they are.
std::wstring WinPath(const std::string& path);

}  // namespace pellora::win32
