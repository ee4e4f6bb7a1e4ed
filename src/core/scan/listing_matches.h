// The finds of every listing-kind item of one scan, worked out before the database walk. The
// items' objects are gathered first; then each listing is read once, every row offered to the
// index of its kinds, and each item's finds collected in listing order. The walk then looks an
// item's finds up by its object instead of comparing it with every row: the cost is about the
// size of the database plus the size of the listings plus the finds, where comparing each item
// with each row costs their product.
//
//   Cookie        "cook" items against lstCache (substring, any case)
//   File          "file" items against lstHDDItems (file-name pattern)
//   RegSearch     "regs" items against lstRegScan (substring, any case)
//   ExactPath     "path" items of the file/folder scan against lstHDDItems (first equal row)
//   FolderPrefix  "fold" items of the file/folder scan against lstHDDItems (first row that is
//                 the folder or lies below it)
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/state/app_state.h"
#include "core/ports/ui.h"
#include "core/scan/file_pattern_index.h"
#include "core/scan/path_index.h"
#include "core/scan/substring_matcher.h"
#include "core/scan/text_map.h"

namespace pellora {

enum class ListingTest { Cookie, File, RegSearch, ExactPath, FolderPrefix };

class ListingMatches {
  public:
    // Adds an item's object (the same object twice is one query).
    void AddQuery(ListingTest test, const std::string& object);
    // Reads the listings of `state` through the queries, yielding now and then. False when the
    // busy flag was cleared meanwhile (the finds are then incomplete).
    bool Build(const AppState& state, UiPort& ui);
    // The listing rows an object finds, in listing order (for ExactPath and FolderPrefix at most
    // the first); nullptr when the object was not added before Build.
    const std::vector<uint32_t>* Finds(ListingTest test, const std::string& object) const;

  private:
    struct Queries {
        TextMap<uint32_t> ids;                     // object -> query number
        std::vector<std::vector<uint32_t>> finds;  // per query number
    };
    Queries& Of(ListingTest test) { return queries_[static_cast<size_t>(test)]; }
    const Queries& Of(ListingTest test) const { return queries_[static_cast<size_t>(test)]; }
    bool Has(ListingTest test) const { return !Of(test).finds.empty(); }

    // Offers each row of a listing to `match(row number, text)`; false when aborted.
    template <typename Listing, typename Match>
    bool ReadListing(const Listing& listing, const AppState& state, UiPort& ui, Match&& match);
    // The substring queries of `test` (Cookie or RegSearch) over their listing.
    template <typename Listing>
    bool FindPieces(ListingTest test,
                    SubstringMatcher& matcher,
                    const Listing& listing,
                    const AppState& state,
                    UiPort& ui);

    std::array<Queries, 5> queries_;
    SubstringMatcher cookies_;
    SubstringMatcher regSearch_;
    FilePatternIndex files_;
    PathIndex paths_;
    std::vector<uint32_t> pathKeys_;    // per ExactPath query: its PathIndex number
    std::vector<uint32_t> folderKeys_;  // per FolderPrefix query: its PathIndex number
};

}  // namespace pellora
