// The ignore test of a scan as an index: is the object text contained in some line of the
// ignore list (plain, case-sensitive substring)? The lines are joined into one text and a
// suffix automaton of that text is built once per scan; it accepts exactly the substrings of
// the text, so a test costs one step per byte of the object, however long the ignore list.
// Lines are joined by NUL bytes, which no object text holds, so no accepted text spans two lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pellora {

class IgnoreIndex {
  public:
    explicit IgnoreIndex(const std::vector<std::string>& lines);

    // Whether the lines are few enough to index: the automaton costs about 40 bytes per byte of
    // text, so a damaged or enormous ignore list is searched line by line instead.
    static bool Indexable(const std::vector<std::string>& lines);
    static constexpr size_t kMaxIndexedLength = size_t{1} << 23;

    // True when some line contains `object` (an empty object is contained in any line).
    bool Contains(std::string_view object) const;

  private:
    static constexpr uint32_t kNone = UINT32_MAX;
    struct State {
        uint32_t length = 0;
        uint32_t link = kNone;
        uint32_t firstEdge = kNone;
    };
    struct Edge {
        uint32_t target;
        uint32_t next;
        unsigned char byte;
    };

    void Extend(unsigned char byte);
    uint32_t Target(uint32_t state, unsigned char byte) const;
    void SetTarget(uint32_t state, unsigned char byte, uint32_t target);
    void AddEdge(uint32_t state, unsigned char byte, uint32_t target);

    std::vector<State> states_;
    std::vector<Edge> edges_;
    uint32_t last_ = 0;
    bool anyLine_ = false;
    // Lines holding a NUL byte, tested one by one (they cannot be joined safely).
    std::vector<std::string> odd_;
};

}  // namespace pellora
