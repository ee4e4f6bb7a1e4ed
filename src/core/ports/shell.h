// Shell port: the shell's file operation (copy and move of files and folder trees) and opening
// a document with its associated program.
#pragma once

#include <cstdint>
#include <string>

namespace pellora {

enum class ShellOp { Move = 1, Copy = 2 };

namespace shell_flags {
inline constexpr uint32_t kNoConfirmation = 0x10;   // FOF_NOCONFIRMATION
inline constexpr uint32_t kNoConfirmMkDir = 0x200;  // FOF_NOCONFIRMMKDIR
inline constexpr uint32_t kSilent = 0x4;            // FOF_SILENT
inline constexpr uint32_t kNoErrorUi = 0x400;       // FOF_NOERRORUI
// No progress window, question or error box: for runs nobody watches.
inline constexpr uint32_t kUnattended = kSilent | kNoConfirmation | kNoConfirmMkDir | kNoErrorUi;
}  // namespace shell_flags

class ShellPort {
public:
    virtual ~ShellPort() = default;

    // One source, one destination; returns the shell's result (0 on success).
    virtual int FileOperation(ShellOp op, const std::string& from, const std::string& to, uint32_t flags) = 0;
    // The verb "open" on a document, with the given working folder. True when the shell accepted it.
    virtual bool OpenDocument(const std::string& path, const std::string& workingFolder) = 0;
};

}  // namespace pellora
