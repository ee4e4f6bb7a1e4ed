#include "core/util/crash_safe_replace.h"

#include "core/ports/file_system.h"

namespace pellora {

namespace {

constexpr unsigned kTempAttempts = 4;

bool WriteAll(ReplaceSteps& steps, std::string_view bytes) {
    while (!bytes.empty()) {
        size_t written = 0;
        if (!steps.Write(bytes, written) || written == 0 || written > bytes.size())
            return false;
        bytes.remove_prefix(written);
    }
    return true;
}

}  // namespace

bool ReplaceFileCrashSafe(ReplaceSteps& steps,
                          const std::string& path,
                          std::string_view bytes,
                          const std::function<std::string(unsigned attempt)>& tempName) {
    std::optional<uint32_t> oldAttributes = steps.Attributes(path);
    if (oldAttributes && (*oldAttributes & file_attr::kDirectory))
        return false;

    std::string temp;
    bool created = false;
    for (unsigned attempt = 0; attempt < kTempAttempts && !created; ++attempt) {
        temp = tempName(attempt);
        created = steps.CreateNew(temp);
    }
    if (!created)
        return false;
    // Until the rename the target is untouched; a failure only leaves the temporary file to remove.
    const bool written = WriteAll(steps, bytes) && steps.Flush();
    steps.Close();
    if (!written) {
        (void)steps.Delete(temp);
        return false;
    }

    // The rename refuses a read-only target; its old attributes come back if the rename fails.
    const bool reset = oldAttributes && (*oldAttributes & file_attr::kReadOnly);
    if (reset && !steps.SetAttributes(path, file_attr::kNormal)) {
        (void)steps.Delete(temp);
        return false;
    }
    if (steps.RenameOver(temp, path))
        return true;
    if (reset)
        (void)steps.SetAttributes(path, *oldAttributes);
    (void)steps.Delete(temp);
    return false;
}

}  // namespace pellora
