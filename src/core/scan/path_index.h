// The "path" and "fold" items of the file/folder scan as an index over their objects: which is
// the first row of the hard-disk listing equal to a path, and the first row that is a folder or
// lies below it. One pass over the listing answers all items: at every "\" of a row the text
// before it is a folder the row lies in, and the whole row is the row itself, so a row costs one
// look-up per folder level. The hash of each such prefix is carried along the row from one "\"
// to the next (a hash of the parts between backslashes), so no prefix is hashed twice.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pellora {

class PathIndex {
  public:
    // Files an exact path; returns its number.
    uint32_t AddExact(std::string_view path);
    // Files a folder, found by the folder itself or anything below it; returns its number. A
    // folder written with a trailing "\" is found only by what lies below it.
    uint32_t AddFolder(std::string_view folder);
    bool Empty() const { return keys_.empty(); }

    // Offers listing row number `row`; rows must come in listing order.
    void Match(uint32_t row, std::string_view path);

    // The first row found, if any.
    std::optional<uint32_t> FirstExact(uint32_t id) const;
    std::optional<uint32_t> FirstInFolder(uint32_t id) const;

  private:
    static constexpr uint32_t kNone = UINT32_MAX;
    struct Key {
        std::string text;
        uint64_t hash = 0;
        uint32_t firstWhole = kNone;  // first row equal to the text
        uint32_t firstBelow = kNone;  // first row with the text before one of its "\"
        bool wantWhole = false;
        bool wantBelow = false;
    };

    static uint64_t Start();
    static uint64_t Mix(uint64_t hash, std::string_view part);
    static uint64_t HashOf(std::string_view text);
    uint32_t KeyFor(std::string_view text);
    const Key* Lookup(uint64_t hash, std::string_view text) const;
    void Rehash(size_t slots);

    std::vector<Key> keys_;
    std::vector<uint32_t> slots_;  // open addressing: key number + 1, 0 = empty
    bool anyBelow_ = false;
    bool anyWhole_ = false;
};

}  // namespace pellora
