// File-system port: directory listing with attributes, attributes, deletion, folders and whole
// files as bytes. Paths are UTF-8 with backslashes, as on Windows. Implemented on kernel32's
// wide functions (win32/file_system_win.cpp) and in memory for the tests.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports/presence.h"
#include "core/util/sha256.h"

namespace pellora {

namespace file_attr {
inline constexpr uint32_t kReadOnly = 0x1;
inline constexpr uint32_t kHidden = 0x2;
inline constexpr uint32_t kSystem = 0x4;
inline constexpr uint32_t kDirectory = 0x10;
inline constexpr uint32_t kArchive = 0x20;
inline constexpr uint32_t kNormal = 0x80;
inline constexpr uint32_t kReparsePoint = 0x400;
}  // namespace file_attr

struct FindEntry {
    std::string name;  // bare name
    uint32_t attributes = 0;
    uint64_t size = 0;
    // Last write time in 100-ns intervals since 1601-01-01 UTC (a FILETIME); 0 when unknown.
    uint64_t lastWriteTime = 0;
};

// One open file being written. Destroying it closes the file.
class FileWriter {
  public:
    virtual ~FileWriter() = default;
    [[nodiscard]] virtual bool Write(std::string_view bytes) = 0;
    // Writes what the system still buffers through to the disk.
    [[nodiscard]] virtual bool Flush() = 0;
};

// What a path leads to, as the system resolves it.
struct FileIdentity {
    // The object's full path in the system's own spelling (long names, the case on disk, every
    // folder link on the way resolved), as "C:\dir\name" or "\\server\share\dir\name".
    std::string finalPath;
    uint32_t volumeSerial = 0;
    uint64_t fileIdHigh = 0;
    uint64_t fileIdLow = 0;
    uint32_t attributes = 0;
};

class FileSystemPort {
  public:
    virtual ~FileSystemPort() = default;

    // Entries matching `pattern` (a folder, "\" and a wildcard name such as "*.txt"), in the
    // platform's find order, with the platform's wildcard rules; "." and ".." are left out.
    // Hidden and system entries are included. Returns false when the folder cannot be read.
    virtual bool FindEntries(const std::string& pattern, std::vector<FindEntry>& out) = 0;
    virtual std::optional<uint32_t> GetAttributes(const std::string& path) = 0;
    virtual bool SetAttributes(const std::string& path, uint32_t attributes) = 0;
    virtual bool DeleteFile(const std::string& path) = 0;
    // Removes an empty folder, or a link to a folder (never what it points to).
    virtual bool RemoveDirectory(const std::string& path) = 0;
    virtual bool CreateDirectory(const std::string& path) = 0;
    // Whole content as bytes; nothing when the file cannot be read.
    virtual std::optional<std::string> ReadFile(const std::string& path) = 0;
    // As ReadFile, and nothing as well when the file is longer than `maxLength` bytes; adapters
    // stop reading there, so a huge damaged file never fills memory.
    virtual std::optional<std::string> ReadFileUpTo(const std::string& path, uint64_t maxLength) {
        std::optional<std::string> bytes = ReadFile(path);
        if (bytes && bytes->size() > maxLength)
            return std::nullopt;
        return bytes;
    }
    // Replaces the file in one step: a temporary file beside it is written and flushed, then
    // moved over the target (a read-only target's attributes are reset first). A failure
    // leaves the old file as it was.
    virtual bool WriteFileAtomic(const std::string& path, const std::string& bytes) = 0;
    // Whether an entry (file or folder, hidden and system ones too) is at `path`. The default
    // cannot tell a refusal from absence; adapters that can, say Unknown for a refusal.
    virtual Presence Probe(const std::string& path) {
        return GetAttributes(path) ? Presence::Present : Presence::Absent;
    }
    // Appends bytes, creating the file when missing.
    virtual bool AppendFile(const std::string& path, const std::string& bytes) = 0;
    // Moves (renames) a file, replacing an existing target.
    virtual bool MoveFile(const std::string& from, const std::string& to) = 0;
    // A file written piece by piece (a download): created or emptied, or with `append` kept and
    // written at its end. Nothing when it cannot be opened. The default builds on the calls
    // above; the Windows adapter keeps one handle open.
    virtual std::unique_ptr<FileWriter> OpenFileWriter(const std::string& path, bool append);

    // The path with every link on the way resolved, as the system reaches the object; nothing
    // when the object cannot be opened. A child whose final path is not its parent's final path
    // and its own name is a link, whether or not it carries the reparse attribute (a host's
    // symbolic link under Wine need not carry it).
    virtual std::optional<std::string> FinalPath(const std::string& path) { return path; }
    // SHA-256 of the file's bytes as 64 lower-case hex digits; nothing when it cannot be read.
    virtual std::optional<std::string> FileSha256(const std::string& path) {
        std::optional<std::string> bytes = ReadFile(path);
        if (!bytes)
            return std::nullopt;
        return Sha256Hex(*bytes);
    }
    // Copies one file's bytes (and, where the platform keeps them, its attributes and times),
    // replacing an existing target.
    virtual bool CopyOneFile(const std::string& from, const std::string& to) {
        std::optional<std::string> bytes = ReadFile(from);
        return bytes && WriteFileAtomic(to, *bytes);
    }

    // Opens the object without following a final link (a link is identified as itself, its
    // folders on the way are followed) and reports its final path and its volume and file id.
    // Nothing when it cannot be opened. An adapter without identities answers nothing.
    virtual std::optional<FileIdentity> Identify(const std::string& path) {
        (void)path;
        return std::nullopt;
    }
    // At most `maxLength` bytes of the file at `path`, read through one handle opened without
    // following a final link, and that handle's identity: the bytes are those of the object
    // identified, whatever is put at the name meanwhile. Nothing when it cannot be opened or
    // read, is a folder, or is longer.
    struct IdentifiedBytes {
        std::string bytes;
        FileIdentity identity;
    };
    virtual std::optional<IdentifiedBytes> ReadFileIdentified(const std::string& path, uint64_t maxLength) {
        const std::optional<FileIdentity> before = Identify(path);
        if (!before || (before->attributes & file_attr::kDirectory))
            return std::nullopt;
        std::optional<std::string> bytes = ReadFileUpTo(path, maxLength);
        const std::optional<FileIdentity> after = bytes ? Identify(path) : std::nullopt;
        if (!after || after->volumeSerial != before->volumeSerial || after->fileIdHigh != before->fileIdHigh ||
            after->fileIdLow != before->fileIdLow || after->finalPath != before->finalPath)
            return std::nullopt;
        return IdentifiedBytes{std::move(*bytes), *before};
    }
    // A file opened to read its contents once, front to back: what it was when opened (identity,
    // size, last write time) and its bytes read in order through the same handle.
    struct OpenedFileInfo {
        FileIdentity identity;
        uint64_t size = 0;
        uint64_t lastWriteTime = 0;  // as FindEntry::lastWriteTime
    };
    class ContentReader {
      public:
        virtual ~ContentReader() = default;
        virtual const OpenedFileInfo& Info() const = 0;
        // Appends up to `length` further bytes to `into`; false when the read fails. Fewer bytes
        // than asked for only at the end of the file.
        [[nodiscard]] virtual bool ReadMore(std::string& into, uint64_t length) = 0;
    };
    // Opens the file at `path` to read its contents: without following a final link (a link is
    // refused, never read through), only a plain file on a disk (no folder, pipe or device, no
    // network path). Nothing when it cannot be opened so. The default builds on Identify,
    // FindEntries and ReadFile; the Windows adapter keeps one handle.
    virtual std::unique_ptr<ContentReader> OpenContent(const std::string& path);

    // The entries of `folder` (as FindEntries with "folder\*" gives them) read through one
    // handle opened on the folder itself, without following it when it is a link, and that
    // handle's final path (nothing when it cannot be read): the entries are those of the folder
    // whose final path is given. False when the folder cannot be opened or read.
    virtual bool ListFolder(const std::string& folder,
                            std::vector<FindEntry>& out,
                            std::optional<std::string>& finalPath) {
        std::string base = folder;
        if (base.empty() || base.back() != '\\')
            base += '\\';
        std::optional<FileIdentity> identity = Identify(base);
        finalPath = identity ? std::optional<std::string>(identity->finalPath) : std::nullopt;
        return FindEntries(base + "*", out);
    }
    // Deletes the file at `path` only while it is still the object `checked` (same volume and
    // file id), so that an object put in its place after the check is left alone. The Windows
    // adapter does it through one handle opened without following a final link: the object it
    // compares is the object it deletes. A read-only attribute is cleared on the way (and put
    // back when the file stays).
    enum class CheckedDelete { Deleted, Failed, NotTheChecked };
    virtual CheckedDelete DeleteFileIfSame(const std::string& path, const FileIdentity& checked) {
        std::optional<FileIdentity> now = Identify(path);
        if (!now)
            return CheckedDelete::Failed;
        if (now->volumeSerial != checked.volumeSerial || now->fileIdHigh != checked.fileIdHigh ||
            now->fileIdLow != checked.fileIdLow)
            return CheckedDelete::NotTheChecked;
        SetAttributes(path, file_attr::kNormal);
        if (DeleteFile(path))
            return CheckedDelete::Deleted;
        SetAttributes(path, now->attributes);
        return CheckedDelete::Failed;
    }
    // Whether the system reports the drive of `letter` as remote (a mapped share). Only the
    // drive's type is asked: nothing on it is opened.
    virtual bool IsRemoteDrive(char letter) {
        (void)letter;
        return false;
    }
    // The path a symbolic link or junction at `path` names, read from the link itself and never
    // followed ("\\server\share\x", "C:\x", or relative to the link's folder as stored).
    // Nothing when `path` is no such link or it cannot be read.
    virtual std::optional<std::string> ReadLinkTarget(const std::string& path) {
        (void)path;
        return std::nullopt;
    }
    // True when the system's file protection guards the file.
    virtual bool IsSystemProtectedFile(const std::string& path) {
        (void)path;
        return false;
    }

    // One entry of an object's access list: allowed or denied, the trustee's SID in string form
    // ("S-1-1-0"), the rights it names, and whether it is only handed down to what is created
    // below (inherit-only) rather than applying to the object itself.
    struct AccessEntry {
        bool allow = true;
        std::string sid;
        uint32_t rights = 0;
        bool inheritOnly = false;
    };
    // The entries of the object's access list, in their order. An object without any list
    // (which lets everyone do everything) is reported as one entry allowing Everyone all rights.
    // Nothing when the list cannot be read.
    virtual std::optional<std::vector<AccessEntry>> ReadAccessList(const std::string& path) {
        (void)path;
        return std::nullopt;
    }
    // The SID of the object's owner in string form ("S-1-5-32-544"); nothing when it cannot be read.
    virtual std::optional<std::string> ReadOwner(const std::string& path) {
        (void)path;
        return std::nullopt;
    }
    // Replaces the object's access list by `sddl` (a list in the system's security descriptor
    // string form, "D:P(...)"), cut from what its parent hands down when the string is marked
    // protected, and hands what the entries let be inherited to everything below.
    virtual bool SetAccessList(const std::string& path, const std::string& sddl) {
        (void)path;
        (void)sddl;
        return false;
    }
    // Copies the bytes of `from` into a new file `name` of the folder at `folder`, only while
    // that folder is the object `checked` (same volume and file id). The file is created new:
    // anything at that name (a link of any kind, even one that leads nowhere) makes it fail, so
    // it is never written through a link planted at its own name. With `replace`, it is written
    // under the name plus ".restoring" and then renamed over `name`, which replaces the name
    // itself. The Windows adapter compares and creates through one handle of the folder opened
    // without following a link: the folder checked is the folder written into.
    enum class CheckedWrite { Written, Failed, NotTheChecked };
    virtual CheckedWrite CopyIntoFolderIfSame(const std::string& from,
                                              const std::string& folder,
                                              const FileIdentity& checked,
                                              const std::string& name,
                                              bool replace) {
        std::optional<FileIdentity> now = Identify(folder);
        if (!now)
            return CheckedWrite::Failed;
        if (now->volumeSerial != checked.volumeSerial || now->fileIdHigh != checked.fileIdHigh ||
            now->fileIdLow != checked.fileIdLow || (now->attributes & file_attr::kReparsePoint))
            return CheckedWrite::NotTheChecked;
        std::string base = !folder.empty() && folder.back() == '\\' ? folder : folder + "\\";
        std::string target = base + name + (replace ? ".restoring" : "");
        std::optional<std::string> bytes = ReadFile(from);
        if (Probe(target) != Presence::Absent || !bytes || !WriteFileAtomic(target, *bytes))
            return CheckedWrite::Failed;
        if (!replace || MoveFile(target, base + name))
            return CheckedWrite::Written;
        DeleteFile(target);
        return CheckedWrite::Failed;
    }
    // Asks the system to delete the file when it next starts (a file in use cannot be deleted
    // now); false when it refused.
    virtual bool DeleteAtRestart(const std::string& path) {
        (void)path;
        return false;
    }
};

}  // namespace pellora
