#include "core/scan/path_index.h"

#include <algorithm>
#include <functional>

namespace pellora {

uint64_t PathIndex::Start() {
    return 0x9E3779B97F4A7C15ull;
}

uint64_t PathIndex::Mix(uint64_t hash, std::string_view part) {
    uint64_t h = hash ^ (std::hash<std::string_view>{}(part) + 0x632BE59BD9B4E019ull + (hash << 6) + (hash >> 2));
    return h * 0xBF58476D1CE4E5B9ull;
}

uint64_t PathIndex::HashOf(std::string_view text) {
    uint64_t hash = Start();
    size_t begin = 0;
    for (;;) {
        size_t slash = text.find('\\', begin);
        if (slash == std::string_view::npos)
            return Mix(hash, text.substr(begin));
        hash = Mix(hash, text.substr(begin, slash - begin));
        begin = slash + 1;
    }
}

uint32_t PathIndex::AddExact(std::string_view path) {
    uint32_t id = KeyFor(path);
    keys_[id].wantWhole = anyWhole_ = true;
    return id;
}

// Folder numbers are key numbers times two, plus one for a folder found only below it.
uint32_t PathIndex::AddFolder(std::string_view folder) {
    bool belowOnly = !folder.empty() && folder.back() == '\\';
    uint32_t id = KeyFor(belowOnly ? folder.substr(0, folder.size() - 1) : folder);
    keys_[id].wantBelow = anyBelow_ = true;
    if (!belowOnly)
        keys_[id].wantWhole = anyWhole_ = true;
    return id * 2 + (belowOnly ? 1 : 0);
}

std::optional<uint32_t> PathIndex::FirstExact(uint32_t id) const {
    uint32_t row = keys_[id].firstWhole;
    return row == kNone ? std::nullopt : std::optional<uint32_t>(row);
}

std::optional<uint32_t> PathIndex::FirstInFolder(uint32_t id) const {
    const Key& key = keys_[id / 2];
    uint32_t row = (id % 2) ? key.firstBelow : std::min(key.firstWhole, key.firstBelow);
    return row == kNone ? std::nullopt : std::optional<uint32_t>(row);
}

uint32_t PathIndex::KeyFor(std::string_view text) {
    uint64_t hash = HashOf(text);
    if (const Key* known = Lookup(hash, text))
        return static_cast<uint32_t>(known - keys_.data());
    keys_.push_back(Key{std::string(text), hash});
    if (slots_.size() < 2 * keys_.size()) {
        Rehash(slots_.empty() ? 64 : slots_.size() * 2);
    } else {
        size_t mask = slots_.size() - 1;
        size_t slot = hash & mask;
        while (slots_[slot] != 0)
            slot = (slot + 1) & mask;
        slots_[slot] = static_cast<uint32_t>(keys_.size());
    }
    return static_cast<uint32_t>(keys_.size() - 1);
}

void PathIndex::Rehash(size_t slots) {
    slots_.assign(slots, 0);
    size_t mask = slots - 1;
    for (size_t i = 0; i < keys_.size(); ++i) {
        size_t slot = keys_[i].hash & mask;
        while (slots_[slot] != 0)
            slot = (slot + 1) & mask;
        slots_[slot] = static_cast<uint32_t>(i + 1);
    }
}

const PathIndex::Key* PathIndex::Lookup(uint64_t hash, std::string_view text) const {
    if (slots_.empty())
        return nullptr;
    size_t mask = slots_.size() - 1;
    for (size_t slot = hash & mask; slots_[slot] != 0; slot = (slot + 1) & mask) {
        const Key& key = keys_[slots_[slot] - 1];
        if (key.hash == hash && key.text == text)
            return &key;
    }
    return nullptr;
}

void PathIndex::Match(uint32_t row, std::string_view path) {
    uint64_t hash = Start();
    size_t begin = 0;
    for (;;) {
        size_t slash = path.find('\\', begin);
        if (slash == std::string_view::npos)
            break;
        hash = Mix(hash, path.substr(begin, slash - begin));
        if (anyBelow_) {
            if (const Key* key = Lookup(hash, path.substr(0, slash)); key && key->wantBelow) {
                Key& found = keys_[key - keys_.data()];
                if (found.firstBelow == kNone)
                    found.firstBelow = row;
            }
        }
        begin = slash + 1;
    }
    if (!anyWhole_)
        return;
    hash = Mix(hash, path.substr(begin));
    if (const Key* key = Lookup(hash, path); key && key->wantWhole) {
        Key& found = keys_[key - keys_.data()];
        if (found.firstWhole == kNone)
            found.firstWhole = row;
    }
}

}  // namespace pellora
