// Walks of folder trees for the quarantine store: listing, copying and fingerprinting a tree
// without ever entering a link (a junction, a symbolic link, or under Wine a host symbolic link,
// which carries no reparse attribute and shows only in its final path). The walks keep their
// own stack of folders, so a tree of any depth costs memory, never call-stack frames.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/ports/file_system.h"
#include "core/ports/ui.h"

namespace pellora {

struct TreeEntry {
    std::string path;      // full path
    std::string relative;  // below the walked folder, "\"-separated
    bool folder = false;
    uint64_t size = 0;
};

using LinkHandler = std::function<void(const std::string& path)>;

// True when two paths name the same place, ASCII letter case aside.
bool SamePath(const std::string& a, const std::string& b);

// True when the entry `path` of a folder whose final path is `parentFinal` is a link: it carries
// the reparse attribute, or the system reaches it somewhere other than below that folder.
bool IsLinkEntry(FileSystemPort& files, const std::string& parentFinal, const std::string& path, uint32_t attributes);

// True when `path` exists and is itself a link (its parent's final path decides).
bool IsLink(FileSystemPort& files, const std::string& path);

// Every file and folder below `folder`, each folder before its contents. Links are handed to
// `onLink` and neither listed nor entered. False when a folder of the tree could not be read.
bool ListTreeWithoutLinks(FileSystemPort& files,
                          UiPort& ui,
                          const std::string& folder,
                          std::vector<TreeEntry>& out,
                          const LinkHandler& onLink);

// Copies the tree of `source` into `destination`, which it creates. Links are left out and
// handed to `onLink`. False when anything that is not a link could not be copied.
bool CopyTreeWithoutLinks(FileSystemPort& files,
                          UiPort& ui,
                          const std::string& source,
                          const std::string& destination,
                          const LinkHandler& onLink);

// A fingerprint of a folder tree: every entry's relative path (ASCII letter case folded), and
// each file's size and SHA-256, in one SHA-256. Nothing when the tree holds a link or a part
// of it cannot be read.
std::optional<std::string> TreeDigest(FileSystemPort& files, UiPort& ui, const std::string& folder);

// True when every file and folder of the tree `copy` is in the tree `restored` at the same
// place, each file with the same size and SHA-256 (more entries in `restored` are allowed).
bool TreeHoldsCopy(FileSystemPort& files, UiPort& ui, const std::string& copy, const std::string& restored);

// The size of one file, when it can be listed.
std::optional<uint64_t> FileSize(FileSystemPort& files, const std::string& path);

// True when `a` and `b` are files of the same size and SHA-256.
bool SameFileContent(FileSystemPort& files, const std::string& a, const std::string& b);

}  // namespace pellora
