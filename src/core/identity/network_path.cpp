#include "core/identity/network_path.h"

#include <algorithm>

#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora {
namespace {

// Links inside links are followed this deep; deeper is judged as leading away.
constexpr int kMaxLinkDepth = 16;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return StartsWithOrdinalIgnoreCase(text, prefix);
}

bool IsDriveRoot(std::string_view path) {
    return path.size() >= 2 && path[1] == ':' &&
           ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
}

// A name in the object manager's namespace ("\Device\Mup\...", "\??\UNC\...").
bool IsNetworkNtName(std::string_view name) {
    for (std::string_view prefix : {"\\??\\UNC\\", "\\DosDevices\\UNC\\", "\\GLOBAL??\\UNC\\", "\\Device\\Mup\\",
                                    "\\Device\\LanmanRedirector\\", "\\Device\\WebDavRedirector\\"}) {
        if (StartsWithNoCase(name, prefix) || EqualsIgnoreCase(name, prefix.substr(0, prefix.size() - 1)))
            return true;
    }
    return false;
}

std::string WithBackslashes(std::string_view path) {
    std::string out(path);
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
}

// The local "X:\..." form of a path spelled with a device prefix ("\\?\C:\x", "\??\C:\x").
std::string WithoutDevicePrefix(const std::string& path) {
    for (std::string_view prefix : {"\\\\?\\", "\\\\.\\", "\\??\\"}) {
        if (StartsWith(path, prefix) && IsDriveRoot(std::string_view(path).substr(prefix.size())))
            return path.substr(prefix.size());
    }
    return path;
}

std::string ParentOf(const std::string& path) {
    const size_t cut = path.find_last_of('\\');
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

// "a\..\b" and "." steps taken out of a local path (a relative link's target joined to its folder).
std::string Collapse(const std::string& path) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t cut = path.find('\\', pos);
        std::string part = path.substr(pos, cut == std::string::npos ? std::string::npos : cut - pos);
        if (part == "..") {
            if (parts.size() > 1)
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(std::move(part));
        }
        if (cut == std::string::npos)
            break;
        pos = cut + 1;
    }
    std::string out;
    for (const std::string& part : parts)
        out += (out.empty() ? "" : "\\") + part;
    return out;
}

}  // namespace

bool IsNetworkSpelling(std::string_view input) {
    const std::string path = WithBackslashes(input);
    if (IsNetworkNtName(path))
        return true;
    for (std::string_view device : {"\\\\?\\", "\\\\.\\"}) {
        if (!StartsWith(path, device))
            continue;
        const std::string_view rest = std::string_view(path).substr(device.size());
        if (StartsWithNoCase(rest, "UNC\\") || EqualsIgnoreCase(rest, "UNC"))
            return true;
        if (StartsWithNoCase(rest, "GLOBALROOT\\"))
            return IsNetworkNtName(rest.substr(10));
        // Any other device ("\\?\C:\", "\\.\pipe\") is this machine's.
        return false;
    }
    // "\\server\share", "\\host@port\share", "\\host@SSL\share": the redirector's.
    return StartsWith(path, "\\\\");
}

bool NetworkPaths::IsNetwork(const std::string& path) {
    return Judge(path, 0);
}

bool NetworkPaths::Judge(const std::string& input, int depth) {
    if (depth > kMaxLinkDepth)
        return true;
    if (IsNetworkSpelling(input))
        return true;
    const std::string path = WithoutDevicePrefix(WithBackslashes(input));
    if (!IsDriveRoot(path))
        return false;  // relative or a bare name: resolved elsewhere before anything opens it
    if (files_.IsRemoteDrive(path[0]))
        return true;
    // Each folder on the way, from the drive's root down: a link there sends the rest of the
    // path wherever its target is.
    size_t pos = path.find('\\', 2);
    while (pos != std::string::npos && pos + 1 < path.size()) {
        const size_t next = path.find('\\', pos + 1);
        const std::string step = path.substr(0, next);
        const std::string folded = FoldOrdinal(step);
        auto known = steps_.find(folded);
        if (known == steps_.end()) {
            const std::optional<uint32_t> attributes = files_.GetAttributes(step);
            if (!attributes)
                return false;  // nothing there: nothing below it is reached
            if (!(*attributes & file_attr::kReparsePoint)) {
                steps_.emplace(folded, false);
                pos = next;
                continue;
            }
            std::optional<std::string> target = files_.ReadLinkTarget(step);
            if (!target) {
                // A reparse point that names no path (a cloud file, a deduplicated file) is
                // served by this machine's own drivers.
                steps_.emplace(folded, false);
                pos = next;
                continue;
            }
            std::string resolved = WithBackslashes(*target);
            // A target that starts with neither a drive nor a backslash is relative to the link's
            // folder; "\??\Volume{...}\" and other names of local volumes are judged as they are.
            if (!StartsWith(resolved, "\\") && !IsDriveRoot(resolved))
                resolved = Collapse(ParentOf(step) + "\\" + resolved);
            known = steps_.emplace(folded, Judge(resolved, depth + 1)).first;
        }
        // A link to a local folder: the system follows it for the steps below, so they are
        // asked about through it.
        if (known->second)
            return true;
        pos = next;
    }
    return false;
}

}  // namespace pellora
