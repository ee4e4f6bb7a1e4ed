#include "core/ports/file_system.h"

#include <algorithm>

namespace pellora {

namespace {

// Each piece is appended on its own; good enough for ports that write in memory.
class AppendingWriter : public FileWriter {
  public:
    AppendingWriter(FileSystemPort& files, std::string path) : files_(files), path_(std::move(path)) {}
    bool Write(std::string_view bytes) override {
        return bytes.empty() || files_.AppendFile(path_, std::string(bytes));
    }
    bool Flush() override { return true; }

  private:
    FileSystemPort& files_;
    std::string path_;
};

// Reads the whole file at the first ReadMore and hands it out piece by piece; good enough for
// ports that keep files in memory.
class WholeFileReader : public FileSystemPort::ContentReader {
  public:
    WholeFileReader(FileSystemPort& files, std::string path, FileSystemPort::OpenedFileInfo info)
        : files_(files), path_(std::move(path)), info_(std::move(info)) {}
    const FileSystemPort::OpenedFileInfo& Info() const override { return info_; }
    bool ReadMore(std::string& into, uint64_t length) override {
        if (!bytes_) {
            bytes_ = files_.ReadFile(path_);
            if (!bytes_)
                return false;
        }
        const uint64_t left = bytes_->size() - std::min<uint64_t>(at_, bytes_->size());
        const size_t take = static_cast<size_t>(std::min(left, length));
        into.append(*bytes_, static_cast<size_t>(at_), take);
        at_ += take;
        return true;
    }

  private:
    FileSystemPort& files_;
    std::string path_;
    FileSystemPort::OpenedFileInfo info_;
    std::optional<std::string> bytes_;
    uint64_t at_ = 0;
};

}  // namespace

std::unique_ptr<FileSystemPort::ContentReader> FileSystemPort::OpenContent(const std::string& path) {
    if (path.size() < 3 || path[1] != ':' || path[2] != '\\')
        return nullptr;
    std::optional<FileIdentity> identity = Identify(path);
    if (!identity || (identity->attributes & (file_attr::kDirectory | file_attr::kReparsePoint)))
        return nullptr;
    std::vector<FindEntry> entry;
    if (path.find_first_of("*?") != std::string::npos || !FindEntries(path, entry) || entry.size() != 1)
        return nullptr;
    OpenedFileInfo info{std::move(*identity), entry[0].size, entry[0].lastWriteTime};
    return std::make_unique<WholeFileReader>(*this, path, std::move(info));
}

std::unique_ptr<FileWriter> FileSystemPort::OpenFileWriter(const std::string& path, bool append) {
    std::optional<uint32_t> attributes = GetAttributes(path);
    if (attributes && (*attributes & file_attr::kDirectory))
        return nullptr;
    if (append ? !attributes && !WriteFileAtomic(path, "") : !WriteFileAtomic(path, ""))
        return nullptr;
    return std::make_unique<AppendingWriter>(*this, path);
}

}  // namespace pellora
