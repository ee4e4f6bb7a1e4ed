// Shell port: the shell's file operation (copy and move of files and folder trees) and opening
// a document with its associated program.
#pragma once

#include <cstdint>
#include <string>

namespace pellora {

enum class ShellOp { Move = 1, Copy = 2 };

namespace shell_flags {
inline constexpr uint32_t kSilent = 0x4;            // FOF_SILENT
inline constexpr uint32_t kNoConfirmation = 0x10;   // FOF_NOCONFIRMATION
inline constexpr uint32_t kNoConfirmMkDir = 0x200;  // FOF_NOCONFIRMMKDIR
inline constexpr uint32_t kNoErrorUi = 0x400;       // FOF_NOERRORUI
// Everything that keeps the shell from showing anything or asking anyone.
inline constexpr uint32_t kNoUi = kSilent | kNoConfirmation | kNoConfirmMkDir | kNoErrorUi;
// The same set, named for runs nobody watches.
inline constexpr uint32_t kUnattended = kNoUi;
}  // namespace shell_flags

class ShellPort {
public:
    virtual ~ShellPort() = default;

    // One source, one destination; returns the shell's result (0 on success). An operation
    // that someone declined or cancelled is not a success even where the shell returns 0.
    virtual int FileOperation(ShellOp op, const std::string& from, const std::string& to, uint32_t flags) = 0;
    // The verb "open" on a document, with the given working folder. True when the shell accepted it.
    virtual bool OpenDocument(const std::string& path, const std::string& workingFolder) = 0;
};

}  // namespace pellora
