// Folder listings (modFindFiles). CollectFileNames lists bare entry names, CollectFilePaths full
// paths; both can descend into subfolders, a folder's own entries before those of its
// subfolders. "desktop.ini" (exactly so written) is never listed. Links to folders (junctions,
// symbolic links, and folders whose final path is not directly below their parent's, which is
// how Wine's Unix symbolic links show) are listed as entries but never entered, so a listing
// never leaves the tree it was asked for. The walk keeps its own list of open levels instead
// of recursing, so any depth is listed.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/state/app_state.h"
#include "core/ports/file_system.h"
#include "core/ports/ui.h"

namespace pellora {

class FileFinder {
  public:
    FileFinder(AppState& state, FileSystemPort& files, UiPort& ui) : state_(state), files_(files), ui_(ui) {}

    // Appends the names of the entries of `folder` matching `pattern` to `target`.
    void CollectFileNames(const std::string& folder,
                          const std::string& pattern,
                          std::vector<std::string>& target,
                          bool subfolders);
    // Appends full paths; stops at once when the busy flag is clear.
    void CollectFilePaths(const std::string& folder, const std::string& pattern, StringTable& target, bool subfolders);

    // Calls `visit` with the folder (with its final backslash) and entry of every file of
    // `folder` and of its subfolders down to `depth` levels below it (0: the folder's own files
    // only), never entering a link; stops at once when the busy flag is clear.
    void VisitFiles(const std::string& folder,
                    int depth,
                    const std::function<void(const std::string& base, const FindEntry& entry)>& visit);

    // Total size of the files listed by the last CollectFileNames call.
    uint64_t LastListedLength() const { return listedLength_; }

  private:
    template <typename Add>
    bool ListOne(const std::string& base,
                 const std::vector<FindEntry>& all,
                 const std::string& pattern,
                 bool stopWhenIdle,
                 std::vector<std::string>& subfolderNames,
                 Add&& add);
    // A final path split and folded (SplitFoldedPath); nothing when it could not be read.
    using FoldedPath = std::optional<std::vector<std::string>>;
    // True when the subfolder listed at `childPath`, whose own handle has the final path
    // `child`, is the entry of its parent it was listed as, and not a link out of it.
    static bool IsWhereListed(const FoldedPath& parent, const std::string& childPath, const FoldedPath& child);
    // `maxDepth`: the levels of subfolders entered below `folder` (-1: all).
    template <typename Add>
    bool Walk(const std::string& folder,
              const std::string& pattern,
              bool subfolders,
              bool stopWhenIdle,
              Add&& add,
              int maxDepth = -1);

    AppState& state_;
    FileSystemPort& files_;
    UiPort& ui_;
    uint64_t listedLength_ = 0;
};

}  // namespace pellora
