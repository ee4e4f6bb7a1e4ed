// Parsers for hex strings and regular expressions (see pattern_syntax.h), both recursive
// descent with the nesting bounded by kMaxNesting, so hostile text cannot exhaust the stack.
#include "core/rules/pattern_syntax.h"

#include "core/util/hex.h"

#include <algorithm>
#include <bit>
#include <string>
#include <utility>

namespace pellora::rules::detail {

size_t ByteSet::Count() const {
    size_t n = 0;
    for (uint64_t word : bits)
        n += static_cast<size_t>(std::popcount(word));
    return n;
}

namespace {

Node BytesNode(const ByteSet& set) {
    Node node;
    node.kind = Node::Kind::kBytes;
    node.set = set;
    return node;
}

ByteSet Single(uint8_t b) {
    ByteSet set;
    set.Add(b);
    return set;
}

ByteSet AnyByte() {
    ByteSet set;
    set.Invert();
    return set;
}

Node RepeatNode(Node child, uint32_t min, uint32_t max, bool unbounded, bool greedy) {
    Node node;
    node.kind = Node::Kind::kRepeat;
    node.min = min;
    node.max = max;
    node.unbounded = unbounded;
    node.greedy = greedy;
    node.children.push_back(std::move(child));
    return node;
}

// A sequence of one item is the item; of none, the empty pattern.
Node Joined(std::vector<Node> items, Node::Kind kind) {
    if (items.size() == 1)
        return std::move(items.front());
    Node node;
    node.kind = items.empty() ? Node::Kind::kEmpty : kind;
    node.children = std::move(items);
    return node;
}

uint8_t FirstByte(const ByteSet& set) {
    for (unsigned b = 0; b < 256; ++b) {
        if (set.Has(static_cast<uint8_t>(b)))
            return static_cast<uint8_t>(b);
    }
    return 0;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// What both parsers share: the text, the position and the first error.
class Parser {
  protected:
    Parser(std::string_view text, PatternError& error) : text_(text), error_(error) {}

    std::nullopt_t Fail(std::string reason) {
        if (error_.reason.empty()) {
            error_.column = pos_;
            error_.reason = std::move(reason);
        }
        return std::nullopt;
    }

    std::string_view text_;
    PatternError& error_;
    size_t pos_ = 0;
};

// ---- hex strings ------------------------------------------------------------------------------

class HexParser : Parser {
  public:
    HexParser(std::string_view text, PatternError& error) : Parser(text, error) {}

    std::optional<Node> Parse() {
        std::optional<Node> node = Sequence(0, false);
        if (!node)
            return std::nullopt;
        SkipSpace();
        if (pos_ < text_.size())
            return Fail(text_[pos_] == ')' || text_[pos_] == '|' ? "unbalanced alternative" : "unexpected character");
        return node;
    }

  private:
    void SkipSpace() {
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
                ++pos_;
            } else if (text_.substr(pos_, 2) == "//") {
                while (pos_ < text_.size() && text_[pos_] != '\n')
                    ++pos_;
            } else if (text_.substr(pos_, 2) == "/*") {
                const size_t end = text_.find("*/", pos_ + 2);
                pos_ = end == std::string_view::npos ? text_.size() : end + 2;
            } else {
                return;
            }
        }
    }

    // Bytes, jumps and groups up to `|`, `)` or the end. A jump may neither open nor close a
    // sequence; inside an alternative it must be bounded.
    std::optional<Node> Sequence(size_t depth, bool inAlternative) {
        if (depth > kMaxNesting)
            return Fail("alternatives nested too deeply");
        std::vector<Node> items;
        bool lastWasJump = false;
        size_t bytes = 0;
        for (;;) {
            SkipSpace();
            if (pos_ >= text_.size() || text_[pos_] == '|' || text_[pos_] == ')')
                break;
            const char c = text_[pos_];
            if (c == '[') {
                if (items.empty())
                    return Fail("a hex string cannot start with a jump");
                std::optional<Node> jump = Jump(inAlternative);
                if (!jump)
                    return std::nullopt;
                items.push_back(std::move(*jump));
                lastWasJump = true;
                continue;
            }
            if (c == '(') {
                const size_t open = pos_++;
                std::vector<Node> branches;
                for (;;) {
                    std::optional<Node> branch = Sequence(depth + 1, true);
                    if (!branch)
                        return std::nullopt;
                    if (branch->kind == Node::Kind::kEmpty)
                        return Fail("empty alternative");
                    branches.push_back(std::move(*branch));
                    SkipSpace();
                    if (pos_ < text_.size() && text_[pos_] == '|') {
                        ++pos_;
                        continue;
                    }
                    if (pos_ < text_.size() && text_[pos_] == ')') {
                        ++pos_;
                        break;
                    }
                    pos_ = open;
                    return Fail("unclosed alternative");
                }
                items.push_back(Joined(std::move(branches), Node::Kind::kAlt));
                lastWasJump = false;
                ++bytes;
                continue;
            }
            std::optional<ByteSet> set = Byte();
            if (!set)
                return std::nullopt;
            items.push_back(BytesNode(*set));
            lastWasJump = false;
            ++bytes;
        }
        if (lastWasJump)
            return Fail("a hex string cannot end with a jump");
        if (bytes == 0 && depth == 0)
            return Fail("empty hex string");
        return Joined(std::move(items), Node::Kind::kConcat);
    }

    // Two nibbles, each a hex digit or `?`.
    std::optional<ByteSet> Byte() {
        if (pos_ + 1 >= text_.size())
            return Fail("incomplete byte");
        const char hi = text_[pos_], lo = text_[pos_ + 1];
        const int h = HexDigitValue(hi), l = HexDigitValue(lo);
        if ((h < 0 && hi != '?') || (l < 0 && lo != '?'))
            return Fail("expected two hex digits or wildcards");
        pos_ += 2;
        ByteSet set;
        for (unsigned b = 0; b < 256; ++b) {
            if ((h < 0 || static_cast<int>(b >> 4) == h) && (l < 0 || static_cast<int>(b & 15) == l))
                set.Add(static_cast<uint8_t>(b));
        }
        return set;
    }

    std::optional<uint32_t> Number() {
        SkipSpace();
        if (pos_ >= text_.size() || !IsDigit(text_[pos_]))
            return std::nullopt;
        uint64_t value = 0;
        while (pos_ < text_.size() && IsDigit(text_[pos_])) {
            value = value * 10 + static_cast<uint64_t>(text_[pos_++] - '0');
            if (value > kMaxRepeat)
                return Fail("jump too large");
        }
        return static_cast<uint32_t>(value);
    }

    // [n], [n-m], [n-], [-]
    std::optional<Node> Jump(bool inAlternative) {
        const size_t open = pos_++;
        std::optional<uint32_t> low = Number();
        if (!error_.reason.empty())
            return std::nullopt;
        SkipSpace();
        uint32_t min = low.value_or(0), max = min;
        bool unbounded = false;
        if (pos_ < text_.size() && text_[pos_] == '-') {
            ++pos_;
            std::optional<uint32_t> high = Number();
            if (!error_.reason.empty())
                return std::nullopt;
            if (high) {
                max = *high;
            } else {
                unbounded = true;
            }
        } else if (!low) {
            return Fail("malformed jump");
        }
        SkipSpace();
        if (pos_ >= text_.size() || text_[pos_] != ']')
            return Fail("malformed jump");
        ++pos_;
        if (!unbounded && min > max) {
            pos_ = open;
            return Fail("jump's lower bound exceeds its upper bound");
        }
        if (unbounded && inAlternative) {
            pos_ = open;
            return Fail("unbounded jump inside an alternative");
        }
        if (!unbounded && max == 0)
            return Node{};  // [0]: no bytes at all
        return RepeatNode(BytesNode(AnyByte()), min, max, unbounded, false);
    }
};

// ---- regular expressions ---------------------------------------------------------------------

ByteSet WordBytes() {
    ByteSet set;
    set.AddRange('a', 'z');
    set.AddRange('A', 'Z');
    set.AddRange('0', '9');
    set.Add('_');
    return set;
}

ByteSet SpaceBytes() {
    ByteSet set;
    for (char c : std::string_view(" \t\n\v\f\r"))
        set.Add(static_cast<uint8_t>(c));
    return set;
}

ByteSet DigitBytes() {
    ByteSet set;
    set.AddRange('0', '9');
    return set;
}

// \w \s \d and their complements \W \S \D.
std::optional<ByteSet> Shorthand(char c) {
    ByteSet set;
    switch (c | 0x20) {
        case 'w':
            set = WordBytes();
            break;
        case 's':
            set = SpaceBytes();
            break;
        case 'd':
            set = DigitBytes();
            break;
        default:
            return std::nullopt;
    }
    if (c >= 'A' && c <= 'Z')
        set.Invert();
    return set;
}

void FoldCase(ByteSet& set) {
    for (unsigned c = 'a'; c <= 'z'; ++c) {
        const uint8_t upper = static_cast<uint8_t>(c - 'a' + 'A');
        if (set.Has(static_cast<uint8_t>(c)) || set.Has(upper)) {
            set.Add(static_cast<uint8_t>(c));
            set.Add(upper);
        }
    }
}

class RegexParser : Parser {
  public:
    RegexParser(std::string_view text, const RegexFlags& flags, PatternError& error)
        : Parser(text, error), flags_(flags) {}

    std::optional<Node> Parse() {
        if (text_.empty())
            return Fail("empty regular expression");
        std::optional<Node> node = Alternation(0);
        if (!node)
            return std::nullopt;
        if (pos_ < text_.size())
            return Fail("unbalanced parenthesis");
        return node;
    }

  private:
    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek() const { return text_[pos_]; }

    std::optional<Node> Alternation(size_t depth) {
        if (depth > kMaxNesting)
            return Fail("groups nested too deeply");
        std::vector<Node> branches;
        for (;;) {
            std::optional<Node> branch = Concatenation(depth);
            if (!branch)
                return std::nullopt;
            branches.push_back(std::move(*branch));
            if (AtEnd() || Peek() != '|')
                break;
            ++pos_;
        }
        return Joined(std::move(branches), Node::Kind::kAlt);
    }

    std::optional<Node> Concatenation(size_t depth) {
        std::vector<Node> items;
        while (!AtEnd() && Peek() != '|' && Peek() != ')') {
            std::optional<Node> item = Repetition(depth);
            if (!item)
                return std::nullopt;
            // Flatten nested sequences so atom choice sees one run of items.
            if (item->kind == Node::Kind::kConcat) {
                for (Node& child : item->children)
                    items.push_back(std::move(child));
            } else {
                items.push_back(std::move(*item));
            }
        }
        return Joined(std::move(items), Node::Kind::kConcat);
    }

    // `{n}`, `{n,}`, `{n,m}`, `{,m}`; anything else leaves `{` a literal character.
    bool Interval(uint32_t& min, uint32_t& max, bool& unbounded, bool& bad) {
        size_t p = pos_ + 1;
        auto number = [&](uint64_t& value) {
            const size_t start = p;
            value = 0;
            while (p < text_.size() && IsDigit(text_[p])) {
                value = std::min<uint64_t>(value * 10 + static_cast<uint64_t>(text_[p] - '0'), uint64_t{1} << 40);
                ++p;
            }
            return p > start;
        };
        uint64_t low = 0, high = 0;
        const bool hasLow = number(low);
        bool hasComma = false, hasHigh = false;
        if (p < text_.size() && text_[p] == ',') {
            hasComma = true;
            ++p;
            hasHigh = number(high);
        }
        if (p >= text_.size() || text_[p] != '}' || (!hasLow && !hasHigh))
            return false;
        pos_ = p + 1;
        unbounded = hasComma && !hasHigh;
        if (!hasComma)
            high = low;
        bad = (!unbounded && (high < low || high == 0)) || low > kMaxRepeat || high > kMaxRepeat;
        min = static_cast<uint32_t>(std::min<uint64_t>(low, kMaxRepeat));
        max = static_cast<uint32_t>(std::min<uint64_t>(high, kMaxRepeat));
        return true;
    }

    std::optional<Node> Repetition(size_t depth) {
        std::optional<Node> item = Primary(depth);
        if (!item)
            return std::nullopt;
        bool quantified = false;
        while (!AtEnd()) {
            const size_t at = pos_;
            uint32_t min = 0, max = 0;
            bool unbounded = false;
            const char c = Peek();
            if (c == '*') {
                unbounded = true, ++pos_;
            } else if (c == '+') {
                min = 1, unbounded = true, ++pos_;
            } else if (c == '?') {
                max = 1, ++pos_;
            } else if (c == '{') {
                bool bad = false;
                if (!Interval(min, max, unbounded, bad))
                    break;
                if (bad) {
                    pos_ = at;
                    return Fail("bad repeat interval");
                }
            } else {
                break;
            }
            if (quantified) {
                pos_ = at;
                return Fail("a quantifier cannot follow a quantifier");
            }
            if (item->kind == Node::Kind::kAssert || item->kind == Node::Kind::kEmpty) {
                pos_ = at;
                return Fail("nothing to repeat");
            }
            quantified = true;
            bool greedy = true;
            if (!AtEnd() && Peek() == '?') {
                greedy = false;
                ++pos_;
            }
            item = RepeatNode(std::move(*item), min, max, unbounded, greedy);
        }
        return item;
    }

    std::optional<Node> Primary(size_t depth) {
        const char c = Peek();
        switch (c) {
            case '(': {
                const size_t open = pos_++;
                if (!AtEnd() && Peek() == '?')
                    return Fail("group options are not part of the language");
                std::optional<Node> inner = Alternation(depth + 1);
                if (!inner)
                    return std::nullopt;
                if (AtEnd() || Peek() != ')') {
                    pos_ = open;
                    return Fail("unclosed group");
                }
                ++pos_;
                return inner;
            }
            case '[':
                return Class();
            case '.': {
                ++pos_;
                ByteSet set = AnyByte();
                if (!flags_.dotAll)
                    set.bits['\n' >> 6] &= ~(uint64_t{1} << ('\n' & 63));
                return BytesNode(set);
            }
            case '^':
            case '$': {
                ++pos_;
                Node node;
                node.kind = Node::Kind::kAssert;
                node.assertion = c == '^' ? Assertion::kStart : Assertion::kEnd;
                return node;
            }
            case '*':
            case '+':
            case '?':
                return Fail("nothing to repeat");
            case '\\': {
                ++pos_;
                if (AtEnd())
                    return Fail("trailing backslash");
                if (Peek() == 'b' || Peek() == 'B') {
                    Node node;
                    node.kind = Node::Kind::kAssert;
                    node.assertion = Peek() == 'b' ? Assertion::kWord : Assertion::kNotWord;
                    ++pos_;
                    return node;
                }
                std::optional<ByteSet> set = Escape(false);
                if (!set)
                    return std::nullopt;
                return Folded(*set);
            }
            default:
                ++pos_;
                return Folded(Single(static_cast<uint8_t>(c)));
        }
    }

    Node Folded(ByteSet set) const {
        if (flags_.nocase)
            FoldCase(set);
        return BytesNode(set);
    }

    // After a backslash: one byte or a shorthand class.
    std::optional<ByteSet> Escape(bool inClass) {
        const char c = text_[pos_++];
        if (std::optional<ByteSet> shorthand = Shorthand(c))
            return shorthand;
        switch (c) {
            case 'n':
                return Single('\n');
            case 't':
                return Single('\t');
            case 'r':
                return Single('\r');
            case 'f':
                return Single('\f');
            case 'v':
                return Single('\v');
            case 'a':
                return Single('\a');
            case 'b':
                // Only inside a class, where it means the backspace character.
                return inClass ? std::optional<ByteSet>(Single('\b')) : std::nullopt;
            case 'x': {
                if (pos_ + 1 >= text_.size() || HexDigitValue(text_[pos_]) < 0 || HexDigitValue(text_[pos_ + 1]) < 0) {
                    return Fail("\\x needs two hex digits");
                }
                const int value = HexDigitValue(text_[pos_]) * 16 + HexDigitValue(text_[pos_ + 1]);
                pos_ += 2;
                return Single(static_cast<uint8_t>(value));
            }
            default:
                return Single(static_cast<uint8_t>(c));
        }
    }

    std::optional<Node> Class() {
        const size_t open = pos_++;
        bool negated = false;
        if (!AtEnd() && Peek() == '^') {
            negated = true;
            ++pos_;
        }
        ByteSet set;
        bool first = true;
        for (;;) {
            if (AtEnd()) {
                pos_ = open;
                return Fail("unclosed character class");
            }
            if (Peek() == ']' && !first)
                break;
            first = false;
            // One member: a byte (possibly the start of a range) or a shorthand class.
            bool isByte = true;
            ByteSet member;
            uint8_t low = 0;
            if (Peek() == '\\') {
                ++pos_;
                if (AtEnd())
                    continue;
                isByte = !Shorthand(Peek());
                std::optional<ByteSet> escaped = Escape(true);
                if (!escaped)
                    return std::nullopt;
                member = *escaped;
                low = FirstByte(member);
            } else {
                low = static_cast<uint8_t>(Peek());
                member = Single(low);
                ++pos_;
            }
            if (isByte && pos_ + 1 < text_.size() && Peek() == '-' && text_[pos_ + 1] != ']') {
                const size_t dash = pos_++;
                uint8_t high = 0;
                if (Peek() == '\\') {
                    ++pos_;
                    if (AtEnd())
                        continue;
                    if (Shorthand(Peek())) {
                        pos_ = dash;
                        return Fail("a range cannot end in a class");
                    }
                    std::optional<ByteSet> escaped = Escape(true);
                    if (!escaped)
                        return std::nullopt;
                    high = FirstByte(*escaped);
                } else {
                    high = static_cast<uint8_t>(Peek());
                    ++pos_;
                }
                if (high < low) {
                    pos_ = dash;
                    return Fail("bad character range");
                }
                member.AddRange(low, high);
            }
            set.AddSet(member);
        }
        ++pos_;  // ]
        if (flags_.nocase)
            FoldCase(set);
        if (negated)
            set.Invert();
        if (set.Count() == 0)
            return Fail("empty character class");
        return BytesNode(set);
    }

    RegexFlags flags_;
};

}  // namespace

std::optional<Node> ParseHex(std::string_view body, PatternError& error) {
    return HexParser(body, error).Parse();
}

std::optional<Node> ParseRegex(std::string_view body, const RegexFlags& flags, PatternError& error) {
    std::optional<Node> node = RegexParser(body, flags, error).Parse();
    if (!node && error.reason.empty())
        error.reason = "malformed regular expression";
    return node;
}

Node WideForm(const Node& node) {
    switch (node.kind) {
        case Node::Kind::kBytes: {
            Node pair;
            pair.kind = Node::Kind::kConcat;
            pair.children.push_back(node);
            pair.children.push_back(BytesNode(Single(0)));
            return pair;
        }
        case Node::Kind::kAssert: {
            Node wide = node;
            if (node.assertion == Assertion::kWord)
                wide.assertion = Assertion::kWideWord;
            else if (node.assertion == Assertion::kNotWord)
                wide.assertion = Assertion::kWideNotWord;
            return wide;
        }
        case Node::Kind::kConcat: {
            Node out;
            out.kind = Node::Kind::kConcat;
            for (const Node& child : node.children) {
                Node wide = WideForm(child);
                if (wide.kind == Node::Kind::kConcat) {
                    for (Node& part : wide.children)
                        out.children.push_back(std::move(part));
                } else {
                    out.children.push_back(std::move(wide));
                }
            }
            return out;
        }
        default: {
            Node out = node;
            out.children.clear();
            for (const Node& child : node.children)
                out.children.push_back(WideForm(child));
            return out;
        }
    }
}

Node Reversed(const Node& node) {
    Node out = node;
    out.children.clear();
    for (const Node& child : node.children)
        out.children.push_back(Reversed(child));
    if (node.kind == Node::Kind::kConcat)
        std::reverse(out.children.begin(), out.children.end());
    return out;
}

namespace {

// The shortest and the longest match of a node, each capped at `cap`.
std::pair<size_t, size_t> LengthBounds(const Node& node, size_t cap) {
    switch (node.kind) {
        case Node::Kind::kBytes:
            return {1, 1};
        case Node::Kind::kConcat:
        case Node::Kind::kAlt: {
            const bool alt = node.kind == Node::Kind::kAlt;
            std::pair<size_t, size_t> total{alt ? cap : 0, 0};
            for (const Node& child : node.children) {
                const auto [low, high] = LengthBounds(child, cap);
                total.first = alt ? std::min(total.first, low) : std::min(cap, total.first + low);
                total.second = alt ? std::max(total.second, high) : std::min(cap, total.second + high);
            }
            return total;
        }
        case Node::Kind::kRepeat: {
            const auto [low, high] = LengthBounds(node.children[0], cap);
            auto times = [cap](size_t length, size_t count) {
                return length != 0 && count > cap / length ? cap : std::min(cap, length * count);
            };
            return {times(low, node.min), node.unbounded && high != 0 ? cap : times(high, node.max)};
        }
        default:
            return {0, 0};
    }
}

}  // namespace

size_t MinLength(const Node& node, size_t cap) {
    return LengthBounds(node, cap).first;
}

size_t MaxLength(const Node& node, size_t cap) {
    return LengthBounds(node, cap).second;
}

}  // namespace pellora::rules::detail
