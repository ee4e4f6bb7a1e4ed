#include "core/scan/ignore_index.h"

namespace pellora {

IgnoreIndex::IgnoreIndex(const std::vector<std::string>& lines) {
    anyLine_ = !lines.empty();
    size_t total = 0;
    for (const std::string& line : lines)
        total += line.size() + 1;
    states_.reserve(2 * total + 1);
    edges_.reserve(3 * total + 1);
    states_.emplace_back();
    bool first = true;
    for (const std::string& line : lines) {
        if (line.find('\0') != std::string::npos) {
            odd_.push_back(line);
            continue;
        }
        if (!first)
            Extend('\0');
        first = false;
        for (unsigned char c : line)
            Extend(c);
    }
}

bool IgnoreIndex::Indexable(const std::vector<std::string>& lines) {
    size_t total = 0;
    for (const std::string& line : lines) {
        total += line.size() + 1;
        if (total > kMaxIndexedLength)
            return false;
    }
    return true;
}

bool IgnoreIndex::Contains(std::string_view object) const {
    if (!anyLine_)
        return false;
    for (const std::string& line : odd_) {
        if (line.find(object) != std::string::npos)
            return true;
    }
    // A NUL in the object could match across two joined lines; no line of the joined text can
    // hold it.
    if (object.find('\0') != std::string_view::npos)
        return false;
    uint32_t state = 0;
    for (unsigned char c : object) {
        state = Target(state, c);
        if (state == kNone)
            return false;
    }
    return true;
}

uint32_t IgnoreIndex::Target(uint32_t state, unsigned char byte) const {
    for (uint32_t e = states_[state].firstEdge; e != kNone; e = edges_[e].next) {
        if (edges_[e].byte == byte)
            return edges_[e].target;
    }
    return kNone;
}

void IgnoreIndex::AddEdge(uint32_t state, unsigned char byte, uint32_t target) {
    edges_.push_back(Edge{target, states_[state].firstEdge, byte});
    states_[state].firstEdge = static_cast<uint32_t>(edges_.size() - 1);
}

void IgnoreIndex::SetTarget(uint32_t state, unsigned char byte, uint32_t target) {
    for (uint32_t e = states_[state].firstEdge; e != kNone; e = edges_[e].next) {
        if (edges_[e].byte == byte) {
            edges_[e].target = target;
            return;
        }
    }
    AddEdge(state, byte, target);
}

// The classic online construction: the new state stands for every suffix of the text read so
// far that ends with `byte` and had no state of its own; a clone splits a state whose suffixes
// no longer share their right contexts.
void IgnoreIndex::Extend(unsigned char byte) {
    uint32_t current = static_cast<uint32_t>(states_.size());
    states_.push_back(State{states_[last_].length + 1, kNone, kNone});
    uint32_t p = last_;
    while (p != kNone && Target(p, byte) == kNone) {
        AddEdge(p, byte, current);
        p = states_[p].link;
    }
    if (p == kNone) {
        states_[current].link = 0;
    } else {
        uint32_t q = Target(p, byte);
        if (states_[p].length + 1 == states_[q].length) {
            states_[current].link = q;
        } else {
            uint32_t clone = static_cast<uint32_t>(states_.size());
            states_.push_back(State{states_[p].length + 1, states_[q].link, kNone});
            for (uint32_t e = states_[q].firstEdge; e != kNone; e = edges_[e].next) {
                AddEdge(clone, edges_[e].byte, edges_[e].target);
            }
            while (p != kNone && Target(p, byte) == q) {
                SetTarget(p, byte, clone);
                p = states_[p].link;
            }
            states_[q].link = clone;
            states_[current].link = clone;
        }
    }
    last_ = current;
}

}  // namespace pellora
