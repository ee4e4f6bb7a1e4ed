// Identity of the machine's objects: which file, folder or registry key a path really names,
// whatever its spelling. The reference database, the results and the records spell objects as
// text, and Windows accepts many texts for one object (short names, "\\?\" and "\\.\" forms,
// "..", "/", trailing dots and blanks, letter case in any script, SUBST and network drive
// letters, folder links; for keys the Classes view, the 32-bit view, the user's SID, the control
// set numbers and registry links). Decisions about protection are taken on the identity this
// service gives, never on the row's text.
//
// Files: the object is opened (without following a final link) and the system's final path and
// its volume and file id are read through the file-system port. Keys: the path is put into one
// canonical text, folded the way Windows compares names (ordinal, ignoring case over Unicode).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports/file_system.h"
#include "core/ports/registry.h"

namespace pellora {

// A file-system object as the system resolves it.
struct ResolvedObject {
    std::vector<std::string> parts;  // folded final path; parts[0] is "C:" or "\\SERVER\SHARE"
    std::string finalPath;           // as the system spells it
    uint32_t volumeSerial = 0;
    uint64_t fileIdHigh = 0;
    uint64_t fileIdLow = 0;
    uint32_t attributes = 0;

    FileIdentity Identity() const {
        FileIdentity identity;
        identity.finalPath = finalPath;
        identity.volumeSerial = volumeSerial;
        identity.fileIdHigh = fileIdHigh;
        identity.fileIdLow = fileIdLow;
        identity.attributes = attributes;
        return identity;
    }

    bool SameObject(const ResolvedObject& other) const {
        return volumeSerial == other.volumeSerial && fileIdHigh == other.fileIdHigh && fileIdLow == other.fileIdLow &&
               (fileIdHigh | fileIdLow) != 0;
    }
};

// The components of a full path, folded for comparison; the first is the root ("C:" or
// "\\SERVER\SHARE"). Only the system's own final paths and plain paths are split this way:
// nothing is resolved ("..", short names and the like are taken as written).
std::optional<std::vector<std::string>> SplitFoldedPath(std::string_view path);

// True when the path is in the plain absolute form a database means: "X:\name\name" with no
// "/", no empty, "." or ".." component, no name ending in a dot or blank, no "~" (a short
// name may stand for any long one), no stream (":"), no device or network prefix.
bool IsPlainAbsolutePath(std::string_view path);

// True when `inner` lies strictly below `outer` (both folded parts).
bool IsStrictlyBelow(const std::vector<std::string>& inner, const std::vector<std::string>& outer);
// True when `candidate` is `folder` itself or a folder above it.
bool IsSameOrAboveParts(const std::vector<std::string>& candidate, const std::vector<std::string>& folder);

// A registry key path in canonical form, relative to a hive with the software/system layout.
struct CanonicalKey {
    // Where the key lives: "HKLM", "HKCU", "HKU\<SID>" (another user), "CLASSES" (one name for
    // the machine's, the user's and the merged classes), or "" for a root that cannot hold
    // anything removable (performance data and the like).
    std::string scope;
    // The folded names below the scope; for CLASSES the names below Software\Classes.
    std::vector<std::string> parts;
    // The same names below the hive as a text, for the protected-key tables:
    // "SOFTWARE\CLASSES\CLSID" for the classes, "SYSTEM\CURRENTCONTROLSET\..." for a control set.
    std::string Relative() const;
};

class ObjectIdentity {
  public:
    ObjectIdentity(FileSystemPort& files, RegistryPort& registry) : files_(files), registry_(registry) {}

    // The object the path leads to, or nothing when it cannot be opened.
    std::optional<ResolvedObject> Resolve(const std::string& path);
    // True when the folder's entry `child` is a link: its final path is not directly below the
    // final path of its parent. Catches links that do not say they are (Wine shows Unix
    // symbolic links as plain folders). An entry that cannot be resolved counts as a link.
    bool IsLinkBelow(const std::string& parentFinalPath, const std::string& childPath);
    // True when the folder at `path` is a link by that test (its parent resolves, it does not
    // lead to a child of it); false when the parent cannot be resolved.
    bool IsLink(const std::string& path);

    // Canonical form of "ROOT\path"; nothing for an unknown root. `sid` is the current user's.
    static std::optional<CanonicalKey> CanonicalKeyOf(std::string_view keyPath, std::string_view sid);
    std::optional<CanonicalKey> CanonicalKeyOf(std::string_view keyPath);
    // The key path with every registry link on the way replaced by its target ("HKEY_..."
    // form); the path itself when nothing on the way is a link; nothing when a link's target
    // is not a path this program can name. The key's own last name is not followed.
    std::optional<std::string> KeyPathThroughLinks(const std::string& keyPath);
    // True when the key itself is a registry link.
    bool IsKeyLink(const std::string& keyPath);

    FileSystemPort& files() { return files_; }
    // The key a key path leads to (links on the way followed), in canonical form as one text;
    // nothing when it cannot be named.
    std::optional<std::string> KeyIdentity(const std::string& keyPath);

  private:
    FileSystemPort& files_;
    RegistryPort& registry_;
    std::optional<std::string> sid_;
};

}  // namespace pellora
