// Hex strings and regular expressions: compilation, atoms and matching around an atom hit.
//
// A pattern is compiled into one or two forms (a regular expression that is both `ascii` and
// `wide` has both; the wide form is the same tree with a zero byte after every byte). Each form
// keeps:
//  - the forward program, which gives the match at a start offset;
//  - its atoms and their holder (see pattern_atoms.h): items H of the outermost sequence
//    P1 .. Pk H S1 .. Sn such that every match passes through H and H's part contains an atom;
//  - the reverse program of P1 .. Pk H.
//
// From an atom hit at `at` of length n, H's part of a match ends somewhere in
// [at + n, at + maxLength(H)]. Running the reverse program backwards from all of those ends at
// once (one Pike VM pass, each offset visited once) yields every offset where P1 .. Pk H can
// start, which are the only possible starts of a match containing the hit. The forward program
// then decides the match at each of them. Example: /[a-z]{1,3}\.exe/ has the atom ".exe"
// (holder: the run `\.exe`); a hit of ".exe" in "run foo.exe" at 7 gives the reverse run from 11
// over "exe." then up to three letters: starts 4, 5 and 6, matches "foo.exe", "oo.exe", "o.exe".
//
// The commonest hex strings, fixed bytes and wildcards without jumps or alternatives, skip the
// machine: the atom's offset in the pattern gives the only start, checked byte by byte.
#include "core/rules/pattern.h"

#include <algorithm>
#include <map>

#include "core/rules/pattern_atoms.h"
#include "core/rules/pattern_program.h"
#include "core/rules/pattern_syntax.h"

namespace pellora::rules {

using namespace detail;

namespace {

constexpr size_t kAsciiAtomLength = 4;
constexpr size_t kWideAtomLength = 8;  // four UTF-16 characters
constexpr size_t npos = static_cast<size_t>(-1);
constexpr size_t kMaxPatternText = 4 * kMaxProgramSize;

}  // namespace

struct Form {
    Program forward;
    Program reverseWhole;   // for MatchesAll
    Program reverseHolder;  // P1 .. Pk H read backwards
    size_t holderMaxLength = 0;
    bool fixed = false;  // a sequence of single bytes: matched by comparison
    std::vector<ByteSet> fixedBytes;
};

struct AtomPlace {
    size_t form = 0;
    size_t offset = npos;  // from the match start, for a fixed form
};

struct CompiledPattern {
    std::vector<Form> forms;
    std::vector<AtomPlace> places;  // one per atom
    size_t programSize = 0;
};

namespace {

std::vector<const Node*> OutermostItems(const Node& node) {
    std::vector<const Node*> items;
    if (node.kind == Node::Kind::kConcat) {
        for (const Node& child : node.children)
            items.push_back(&child);
    } else {
        items.push_back(&node);
    }
    return items;
}

Node SequenceOf(const std::vector<const Node*>& items, size_t first, size_t end) {
    Node node;
    node.kind = Node::Kind::kConcat;
    for (size_t i = first; i < end; ++i)
        node.children.push_back(*items[i]);
    return node;
}

// Appends the byte sets of a node that always matches the same number of bytes, one set per
// byte (`[a-f0-9]{8}` gives eight); false when it does not.
bool AppendFixed(const Node& node, std::vector<ByteSet>& sets) {
    switch (node.kind) {
        case Node::Kind::kBytes:
            sets.push_back(node.set);
            return sets.size() <= kMaxMatchLength;
        case Node::Kind::kConcat:
            return std::all_of(node.children.begin(), node.children.end(),
                               [&](const Node& child) { return AppendFixed(child, sets); });
        case Node::Kind::kRepeat:
            if (node.unbounded || node.min != node.max)
                return false;
            for (uint32_t i = 0; i < node.min; ++i) {
                if (!AppendFixed(node.children[0], sets))
                    return false;
            }
            return true;
        default:
            return false;
    }
}

// Adds one form of `tree` to `compiled` with its atoms; false with `error` set when refused.
bool AddForm(const Node& tree,
             bool nocase,
             size_t maxAtomLength,
             CompiledPattern& compiled,
             std::vector<Atom>& atoms,
             PatternError& error) {
    const size_t size = ProgramSizeOf(tree, kMaxProgramSize);
    if (compiled.programSize + size > kMaxProgramSize) {
        error.reason =
            "pattern too large: it compiles to more than " + std::to_string(kMaxProgramSize) + " instructions";
        return false;
    }
    if (MinLength(tree, kMaxMatchLength + 1) > kMaxMatchLength) {
        error.reason = "pattern longer than the scan limit of " + std::to_string(kMaxMatchLength) + " bytes";
        return false;
    }
    if (MaxLength(tree, 1) == 0) {
        error.reason = "pattern matches only empty strings";
        return false;
    }
    compiled.programSize += size;
    Form form;
    form.forward = CompileProgram(tree);
    form.reverseWhole = CompileProgram(Reversed(tree));
    const std::vector<const Node*> items = OutermostItems(tree);
    form.fixed =
        std::all_of(items.begin(), items.end(), [&](const Node* item) { return AppendFixed(*item, form.fixedBytes); });
    const size_t formIndex = compiled.forms.size();
    if (std::optional<AtomChoice> choice = ChooseAtoms(items, nocase, maxAtomLength)) {
        const Node holder = SequenceOf(items, choice->holderFirst, choice->holderLast + 1);
        form.holderMaxLength = MaxLength(holder, kMaxMatchLength);
        form.reverseHolder = CompileProgram(Reversed(SequenceOf(items, 0, choice->holderLast + 1)));
        for (size_t i = 0; i < choice->atoms.size(); ++i) {
            const bool hasLetter = std::any_of(choice->atoms[i].begin(), choice->atoms[i].end(),
                                               [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); });
            atoms.push_back(Atom{choice->atoms[i], nocase && hasLetter});
            AtomPlace place{formIndex, npos};
            if (form.fixed && choice->offsets[i] != npos)
                place.offset =
                    MinLength(SequenceOf(items, 0, choice->holderFirst), kMaxMatchLength) + choice->offsets[i];
            compiled.places.push_back(place);
        }
    } else {
        compiled.places.clear();
        atoms.clear();
        compiled.forms.push_back(std::move(form));
        return true;
    }
    compiled.forms.push_back(std::move(form));
    return true;
}

// One machine memory per thread, lent to one call at a time (a sink that scans again gets its
// own).
class BorrowedMemory {
  public:
    BorrowedMemory() : memory_(Lend()) {}
    ~BorrowedMemory() {
        if (memory_ == &Shared())
            InUse() = false;
    }
    MachineMemory& operator*() { return *memory_; }

  private:
    static MachineMemory& Shared() {
        thread_local MachineMemory memory;
        return memory;
    }
    static bool& InUse() {
        thread_local bool inUse = false;
        return inUse;
    }
    MachineMemory* Lend() {
        if (InUse())
            return &own_;
        InUse() = true;
        return &Shared();
    }
    MachineMemory own_;
    MachineMemory* memory_;
};

bool FixedMatchAt(const Form& form, std::span<const uint8_t> data, size_t start) {
    if (start > data.size() || data.size() - start < form.fixedBytes.size())
        return false;
    for (size_t i = 0; i < form.fixedBytes.size(); ++i) {
        if (!form.fixedBytes[i].Has(data[start + i]))
            return false;
    }
    return true;
}

std::optional<size_t> FormMatchAt(const Form& form,
                                  std::span<const uint8_t> data,
                                  size_t start,
                                  MachineMemory& memory) {
    if (form.fixed)
        return FixedMatchAt(form, data, start) ? std::optional<size_t>(form.fixedBytes.size()) : std::nullopt;
    return Machine(form.forward, memory).MatchAt(data, start, start + kMaxMatchLength);
}

// Text this long cannot compile within the program limit; refused before it is parsed.
PatternError TooLong() {
    return PatternError{kMaxPatternText, "pattern text longer than " + std::to_string(kMaxPatternText) + " characters"};
}

}  // namespace

Pattern::Pattern() = default;
Pattern::Pattern(const Pattern&) = default;
Pattern& Pattern::operator=(const Pattern&) = default;
Pattern::Pattern(Pattern&&) noexcept = default;
Pattern& Pattern::operator=(Pattern&&) noexcept = default;
Pattern::~Pattern() = default;

std::variant<Pattern, PatternError> Pattern::CompileHex(std::string_view body) {
    if (body.size() > kMaxPatternText)
        return TooLong();
    PatternError error;
    std::optional<Node> tree = ParseHex(body, error);
    if (!tree)
        return error;
    auto compiled = std::make_shared<CompiledPattern>();
    Pattern pattern;
    if (!AddForm(*tree, false, kAsciiAtomLength, *compiled, pattern.atoms_, error))
        return error;
    pattern.compiled_ = std::move(compiled);
    return pattern;
}

std::variant<Pattern, PatternError> Pattern::CompileRegex(std::string_view body, RegexFlags flags) {
    if (body.size() > kMaxPatternText)
        return TooLong();
    PatternError error;
    std::optional<Node> tree = ParseRegex(body, flags, error);
    if (!tree)
        return error;
    auto compiled = std::make_shared<CompiledPattern>();
    Pattern pattern;
    bool atomless = false;
    if (!flags.wide || flags.ascii) {
        if (!AddForm(*tree, flags.nocase, kAsciiAtomLength, *compiled, pattern.atoms_, error))
            return error;
        atomless = pattern.atoms_.empty();
    }
    if (flags.wide) {
        if (!AddForm(WideForm(*tree), flags.nocase, kWideAtomLength, *compiled, pattern.atoms_, error))
            return error;
        // Every form needs atoms, or the pattern is searched without them.
        if (atomless) {
            pattern.atoms_.clear();
            compiled->places.clear();
        }
    }
    pattern.compiled_ = std::move(compiled);
    return pattern;
}

void Pattern::MatchesAround(std::span<const uint8_t> data, size_t atom, size_t at, const MatchSink& sink) const {
    if (!compiled_ || atom >= compiled_->places.size() || atom >= atoms_.size())
        return;
    const AtomPlace& place = compiled_->places[atom];
    const Form& form = compiled_->forms[place.form];
    const size_t atomLength = atoms_[atom].bytes.size();
    if (at > data.size() || data.size() - at < atomLength)
        return;
    BorrowedMemory memory;
    // A later form's match gives way to the first form's at the same start, as in MatchesAll.
    auto report = [&](size_t start, size_t length) {
        if (place.form > 0) {
            if (std::optional<size_t> first = FormMatchAt(compiled_->forms.front(), data, start, *memory))
                length = *first;
        }
        sink(start, length);
    };
    if (place.offset != npos) {
        if (at >= place.offset && FixedMatchAt(form, data, at - place.offset))
            report(at - place.offset, form.fixedBytes.size());
        return;
    }
    const size_t endLow = at + atomLength;
    const size_t endHigh = at + std::max(form.holderMaxLength, atomLength);
    const size_t low = endLow > kMaxMatchLength ? endLow - kMaxMatchLength : 0;
    std::vector<size_t>& starts = (*memory).starts;
    starts.clear();
    Machine(form.reverseHolder, *memory).Starts(data, endLow, endHigh, low, starts);
    // Descending, possibly repeated (several ends can lead to one start).
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    for (size_t i = 0; i < starts.size() && starts[i] <= at; ++i) {
        const size_t start = starts[i];
        if (std::optional<size_t> length = Machine(form.forward, *memory).MatchAt(data, start, start + kMaxMatchLength))
            report(start, *length);
    }
}

void Pattern::MatchesAll(std::span<const uint8_t> data, const MatchSink& sink) const {
    if (!compiled_)
        return;
    std::map<size_t, size_t> found;  // start -> length; the first form to match a start keeps it
    for (const Form& form : compiled_->forms) {
        if (form.fixed) {
            const size_t length = form.fixedBytes.size();
            const bool uniform = std::all_of(form.fixedBytes.begin(), form.fixedBytes.end(),
                                             [&](const ByteSet& set) { return set == form.fixedBytes[0]; });
            if (uniform) {
                // /[a-f0-9]{168}/: a match starts wherever a run of the set is long enough.
                size_t run = 0;
                for (size_t pos = 0; pos < data.size(); ++pos) {
                    run = form.fixedBytes[0].Has(data[pos]) ? run + 1 : 0;
                    if (run >= length)
                        found.emplace(pos + 1 - length, length);
                }
                continue;
            }
            for (size_t start = 0; start + length <= data.size(); ++start) {
                if (FixedMatchAt(form, data, start))
                    found.emplace(start, length);
            }
            continue;
        }
        BorrowedMemory memory;
        std::vector<size_t> starts;
        Machine(form.reverseWhole, *memory).Starts(data, 0, data.size(), 0, starts);
        std::sort(starts.begin(), starts.end());
        starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
        Machine forward(form.forward, *memory);
        for (size_t start : starts) {
            if (std::optional<size_t> length = forward.MatchAt(data, start, start + kMaxMatchLength))
                found.emplace(start, *length);
        }
    }
    for (const auto& [start, length] : found)
        sink(start, length);
}

bool Pattern::Search(std::string_view text) const {
    if (!compiled_ || compiled_->forms.empty())
        return false;
    BorrowedMemory memory;
    return Machine(compiled_->forms.front().forward, *memory)
        .Search(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

size_t Pattern::ProgramSize() const {
    return compiled_ ? compiled_->programSize : 0;
}

}  // namespace pellora::rules
