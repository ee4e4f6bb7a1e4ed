#include "core/ports/file_system.h"

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

}  // namespace

std::unique_ptr<FileWriter> FileSystemPort::OpenFileWriter(const std::string& path, bool append) {
    std::optional<uint32_t> attributes = GetAttributes(path);
    if (attributes && (*attributes & file_attr::kDirectory))
        return nullptr;
    if (append ? !attributes && !WriteFileAtomic(path, "") : !WriteFileAtomic(path, ""))
        return nullptr;
    return std::make_unique<AppendingWriter>(*this, path);
}

}  // namespace pellora
