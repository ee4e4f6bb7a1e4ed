// Whether a path found on this machine leads to another machine. Pellora runs elevated: opening,
// listing, hashing or verifying a file on a share makes the system connect and authenticate with
// the administrator's credentials, which whoever named the share (any user can register a Run
// value or a task of their own) can capture or relay. So nothing found is ever opened there.
//
// A path leads to another machine when it is spelled so (\\server\..., \\host@port\...,
// \\?\UNC\..., \\.\UNC\..., \??\UNC\..., \\?\GLOBALROOT\Device\Mup\...), when its drive is one
// the system reports as remote, or when a symbolic link or junction on the way names such a
// path (each link's target is read from the link itself, never followed). Paths an administrator
// typed (update --file, a folder to scan) are theirs to choose and are not judged here.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

#include "core/ports/file_system.h"

namespace pellora {

// The note of an entry whose program lies on another machine.
inline constexpr const char* kNetworkPathNote = "network path, not checked";

// By the spelling alone ("/" read as "\", as the system does).
bool IsNetworkSpelling(std::string_view path);

// The whole judgement: spelling, remote drive, links on the way. Asks the file system only
// about local objects (each folder once per object of this class).
class NetworkPaths {
  public:
    explicit NetworkPaths(FileSystemPort& files) : files_(files) {}
    bool IsNetwork(const std::string& path);

  private:
    bool Judge(const std::string& path, int depth);
    FileSystemPort& files_;
    std::unordered_map<std::string, bool> steps_;  // folded folder or link -> whether it leads away
};

}  // namespace pellora
