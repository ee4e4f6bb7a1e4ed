// Atom choice; see pattern_atoms.h for the technique.
#include "core/rules/pattern_atoms.h"

#include <algorithm>
#include <bit>
#include <set>
#include <utility>

namespace pellora::rules::detail {

namespace {

constexpr size_t kMaxExactStrings = 16;
constexpr size_t kMaxExactLength = 256;
constexpr size_t kMaxAtoms = 64;
constexpr size_t kMaxClassAsStrings = 4;
constexpr size_t npos = static_cast<size_t>(-1);

using Strings = std::vector<std::string>;

struct Best {
    bool valid = false;
    Strings atoms;
    std::vector<size_t> offsets;
    int score = 0;
};

struct Info {
    std::optional<Strings> exact;
    Best best;
};

int ByteScore(uint8_t b) {
    if (b == 0x00)
        return 1;
    if (b == 0xFF)
        return 2;
    if (b == 0x20 || b == 0xCC || b == 0x90 || b == 0x01 || b == 0x0A || b == 0x0D)
        return 5;
    if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z'))
        return 8;
    return 10;
}

int SetPenalty(size_t count) {
    return 4 * static_cast<int>(std::bit_width(count > 0 ? count - 1 : 0));
}

// The best window of `s` of at most `maxLength` bytes: its offset and length.
std::pair<size_t, size_t> BestWindow(const std::string& s, size_t maxLength) {
    const size_t length = std::min(s.size(), maxLength);
    size_t bestOffset = 0;
    int bestScore = -1;
    for (size_t offset = 0; offset + length <= s.size(); ++offset) {
        const int score = AtomScore(std::string_view(s).substr(offset, length));
        if (score > bestScore) {
            bestScore = score;
            bestOffset = offset;
        }
    }
    return {bestOffset, length};
}

Best FromExact(const Strings& strings, size_t maxLength) {
    Best best;
    std::set<std::pair<std::string, size_t>> seen;
    int weakest = 1 << 20;
    for (const std::string& s : strings) {
        if (s.empty())
            return {};  // a match may be empty here: nothing to search by
        const auto [offset, length] = BestWindow(s, maxLength);
        std::string atom = s.substr(offset, length);
        weakest = std::min(weakest, AtomScore(atom));
        if (seen.emplace(atom, offset).second) {
            best.atoms.push_back(std::move(atom));
            best.offsets.push_back(offset);
        }
    }
    best.valid = !best.atoms.empty();
    best.score = weakest - SetPenalty(best.atoms.size());
    return best;
}

std::optional<Strings> Product(const Strings& a, const Strings& b) {
    if (a.size() * b.size() > kMaxExactStrings)
        return std::nullopt;
    Strings out;
    std::set<std::string> seen;
    for (const std::string& x : a) {
        for (const std::string& y : b) {
            if (x.size() + y.size() > kMaxExactLength)
                return std::nullopt;
            std::string joined = x + y;
            if (seen.insert(joined).second)
                out.push_back(std::move(joined));
        }
    }
    return out;
}

class Chooser {
  public:
    Chooser(bool nocase, size_t maxLength) : nocase_(nocase), maxLength_(maxLength) {}

    // The outermost sequence (or any nested one): the best of its items' sets and of the
    // windows of its runs of exact items.
    Best Sequence(const std::vector<const Node*>& items, size_t& first, size_t& last, std::optional<Strings>* exact) {
        Best best;
        auto consider = [&](Best candidate, size_t from, size_t to) {
            if (candidate.valid && (!best.valid || candidate.score > best.score)) {
                best = std::move(candidate);
                first = from;
                last = to;
            }
        };
        Strings run{""};
        size_t runStart = 0;
        bool runHasItems = false;
        bool whole = true;
        auto finishRun = [&](size_t end) {
            if (runHasItems)
                consider(FromExact(run, maxLength_), runStart, end);
        };
        for (size_t i = 0; i < items.size(); ++i) {
            Info info = Analyze(*items[i]);
            if (info.best.valid) {
                Best own = info.best;
                std::fill(own.offsets.begin(), own.offsets.end(), npos);
                consider(std::move(own), i, i);
            }
            std::optional<Strings> joined;
            if (info.exact)
                joined = Product(run, *info.exact);
            if (joined) {
                run = std::move(*joined);
                runHasItems = true;
                continue;
            }
            whole = false;
            if (runHasItems)
                finishRun(i - 1);
            if (info.exact) {
                run = *info.exact;
                runStart = i;
                runHasItems = true;
            } else {
                run = {""};
                runStart = i + 1;
                runHasItems = false;
            }
        }
        if (runHasItems)
            finishRun(items.size() - 1);
        if (exact != nullptr && whole)
            *exact = run;
        return best;
    }

    Info Analyze(const Node& node) {
        Info info;
        switch (node.kind) {
            case Node::Kind::kEmpty:
            case Node::Kind::kAssert:
                info.exact = Strings{""};
                return info;
            case Node::Kind::kBytes: {
                ByteSet set = node.set;
                if (nocase_) {
                    for (unsigned c = 'A'; c <= 'Z'; ++c) {
                        if (set.Has(static_cast<uint8_t>(c)) && set.Has(static_cast<uint8_t>(c + 32)))
                            set.bits[c >> 6] &= ~(uint64_t{1} << (c & 63));
                    }
                }
                if (set.Count() <= kMaxClassAsStrings) {
                    Strings strings;
                    for (unsigned b = 0; b < 256; ++b) {
                        if (set.Has(static_cast<uint8_t>(b)))
                            strings.emplace_back(1, static_cast<char>(b));
                    }
                    info.best = FromExact(strings, maxLength_);
                    info.exact = std::move(strings);
                }
                return info;
            }
            case Node::Kind::kConcat: {
                std::vector<const Node*> items;
                for (const Node& child : node.children)
                    items.push_back(&child);
                size_t first = 0, last = 0;
                info.best = Sequence(items, first, last, &info.exact);
                return info;
            }
            case Node::Kind::kAlt: {
                Strings all;
                bool allExact = true;
                Best united;
                united.valid = true;
                int weakest = 1 << 20;
                for (const Node& child : node.children) {
                    Info branch = Analyze(child);
                    if (branch.exact && allExact && all.size() + branch.exact->size() <= kMaxExactStrings) {
                        all.insert(all.end(), branch.exact->begin(), branch.exact->end());
                    } else {
                        allExact = false;
                    }
                    if (!branch.best.valid || united.atoms.size() + branch.best.atoms.size() > kMaxAtoms) {
                        united.valid = false;
                        continue;
                    }
                    weakest = std::min(weakest, branch.best.score);
                    united.atoms.insert(united.atoms.end(), branch.best.atoms.begin(), branch.best.atoms.end());
                }
                if (united.valid) {
                    // The branches' own penalties are already in `weakest`.
                    united.score = weakest - SetPenalty(node.children.size());
                    united.offsets.assign(united.atoms.size(), npos);
                    info.best = std::move(united);
                }
                if (allExact) {
                    std::sort(all.begin(), all.end());
                    all.erase(std::unique(all.begin(), all.end()), all.end());
                    Best fromExact = FromExact(all, maxLength_);
                    if (fromExact.valid && (!info.best.valid || fromExact.score >= info.best.score))
                        info.best = std::move(fromExact);
                    info.exact = std::move(all);
                }
                return info;
            }
            case Node::Kind::kRepeat: {
                if (node.min == 0)
                    return info;
                Info body = Analyze(node.children[0]);
                info.best = body.best;
                if (body.exact && !node.unbounded && node.min == node.max) {
                    Strings repeated{""};
                    for (uint32_t i = 0; i < node.min && repeated.size() > 0; ++i) {
                        std::optional<Strings> joined = Product(repeated, *body.exact);
                        if (!joined)
                            return info;
                        repeated = std::move(*joined);
                    }
                    Best fromExact = FromExact(repeated, maxLength_);
                    if (fromExact.valid && (!info.best.valid || fromExact.score >= info.best.score))
                        info.best = std::move(fromExact);
                    info.exact = std::move(repeated);
                }
                return info;
            }
        }
        return info;
    }

  private:
    bool nocase_;
    size_t maxLength_;
};

}  // namespace

int AtomScore(std::string_view atom) {
    int score = 0;
    std::array<bool, 256> seen{};
    int distinct = 0;
    for (char c : atom) {
        const uint8_t b = static_cast<uint8_t>(c);
        score += ByteScore(b);
        if (!seen[b]) {
            seen[b] = true;
            ++distinct;
        }
    }
    return score + 3 * (distinct - 1);
}

std::optional<AtomChoice> ChooseAtoms(const std::vector<const Node*>& items, bool nocase, size_t maxLength) {
    Chooser chooser(nocase, maxLength);
    AtomChoice choice;
    Best best = chooser.Sequence(items, choice.holderFirst, choice.holderLast, nullptr);
    if (!best.valid)
        return std::nullopt;
    choice.atoms = std::move(best.atoms);
    choice.offsets = std::move(best.offsets);
    choice.score = best.score;
    return choice;
}

}  // namespace pellora::rules::detail
