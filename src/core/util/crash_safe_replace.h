// Replacing a whole file so that a crash, a full disk or a failing call at any moment leaves
// either the old file or the new one, never a missing, empty or partly written file: the bytes go
// to a new temporary file beside the target, are flushed, and the temporary file is renamed over
// the target in one step. The order of the steps is the whole of the guarantee, so it lives here,
// over the platform's primitive calls, where a test can fail each call in turn.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace pellora {

// The platform calls the replacement is made of. One temporary file is open at a time.
class ReplaceSteps {
  public:
    virtual ~ReplaceSteps() = default;
    virtual std::optional<uint32_t> Attributes(const std::string& path) = 0;
    virtual bool SetAttributes(const std::string& path, uint32_t attributes) = 0;
    // Creates `path`, failing when it exists, and keeps it open for writing.
    virtual bool CreateNew(const std::string& path) = 0;
    // Writes some of `bytes` to the open file; `written` says how many (0 counts as a failure).
    virtual bool Write(std::string_view bytes, size_t& written) = 0;
    // Flushes the open file to the disk.
    virtual bool Flush() = 0;
    virtual void Close() = 0;
    // Renames `from` over `to` in one step, replacing it, and returns only once it is on disk.
    virtual bool RenameOver(const std::string& from, const std::string& to) = 0;
    virtual bool Delete(const std::string& path) = 0;
};

// Replaces `path` with `bytes`. `tempName(attempt)` gives the temporary file's name for each of a
// few attempts (a name another writer holds makes CreateNew fail). A read-only target's attributes
// are reset for the rename and put back when it fails. Returns false with the old file intact.
[[nodiscard]] bool ReplaceFileCrashSafe(ReplaceSteps& steps,
                                        const std::string& path,
                                        std::string_view bytes,
                                        const std::function<std::string(unsigned attempt)>& tempName);

}  // namespace pellora
