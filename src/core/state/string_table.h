// A compact list of texts: one byte buffer plus end offsets. Listings of a million paths cost
// about the bytes of the paths plus 8 per row, instead of a std::string object per row.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pellora {

class StringTable {
public:
    void Add(std::string_view text) {
        bytes_.append(text);
        ends_.push_back(bytes_.size());
    }
    std::string_view operator[](size_t index) const {
        size_t begin = index == 0 ? 0 : ends_[index - 1];
        return std::string_view(bytes_).substr(begin, ends_[index] - begin);
    }
    size_t Count() const { return ends_.size(); }
    bool Empty() const { return ends_.empty(); }
    void Clear() {
        bytes_.clear();
        bytes_.shrink_to_fit();
        ends_.clear();
        ends_.shrink_to_fit();
    }
    size_t MemoryLength() const { return bytes_.capacity() + ends_.capacity() * sizeof(uint64_t); }
    // Gives back the room kept for growth (up to as much again as the texts) once a listing is
    // complete.
    void ShrinkToFit() {
        bytes_.shrink_to_fit();
        ends_.shrink_to_fit();
    }

private:
    std::string bytes_;
    std::vector<uint64_t> ends_;
};

}  // namespace pellora
