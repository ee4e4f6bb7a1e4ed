// The scanner.
//
// Prefilter, then verify. A file is read once, left to right, through the set's automaton
// (automaton.cpp); each atom hit names the literal form or pattern it belongs to and where the
// atom sits inside it, so the scanner knows where the whole string would start and checks only
// there: a byte comparison (folding ASCII case for nocase) for a text string, the pattern
// engine's MatchesAround for a hex string or regular expression. `fullword` is checked on the
// bytes around a verified match. Strings without any atom (rare: a regular expression made of
// classes only) are matched over the whole file. Every match is kept per string (offset and
// length, at most kMaxMatchesPerString of them), overlapping ones included.
//
// Worked example: rule `$a = "aa"` over the bytes `xaaa`. The atom is `aa` itself (the whole
// string is shorter than an atom); the automaton reports it ending at 3 and at 4, so the
// verifier checks starts 1 and 2, both match: #a is 2, @a[1] is 1, @a[2] is 2.
//
// Then the conditions are evaluated in rule order, so a rule can use the verdict of any rule
// before it. Values are integers, strings or undefined, as the language documents: `and` and
// `or` take an undefined operand as false, every other operator passes undefined on, and a
// rule whose condition ends undefined does not match. The pe module's values are undefined for
// a file that is not PE; the file's headers are read once, on the first rule that asks. Loops
// share a budget of iterations per file, so that no condition runs unbounded.
#include "core/rules/scanner.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "core/rules/pe_file.h"

namespace pellora::rules {
namespace {

constexpr uint64_t kLoopBudget = 10'000'000;

struct Match {
    size_t offset;
    size_t length;
};

struct Value {
    enum Kind : uint8_t { Undefined, Integer, String } kind = Undefined;
    int64_t integer = 0;
    std::string_view text;

    static Value Int(int64_t v) { return Value{Integer, v, {}}; }
    static Value Bool(bool v) { return Value{Integer, v ? 1 : 0, {}}; }
    static Value Str(std::string_view s) { return Value{String, 0, s}; }
    bool Defined() const { return kind != Undefined; }
    // Truth for `and`, `or` and the rule's verdict: undefined is false.
    bool True() const { return kind == Integer ? integer != 0 : kind == String ? !text.empty() : false; }
};

bool IsAlnum(uint8_t c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
uint8_t Fold(uint8_t c) {
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

// Whether the bytes around [start, start+length) delimit a word: for ascii the neighbouring
// bytes, for wide the neighbouring UTF-16 characters (a letter or digit followed by one zero).
bool IsFullword(std::span<const uint8_t> data, size_t start, size_t length, bool wide) {
    size_t end = start + length;
    if (!wide) {
        if (start > 0 && IsAlnum(data[start - 1]))
            return false;
        return !(end < data.size() && IsAlnum(data[end]));
    }
    if (start >= 2 && data[start - 1] == 0 && IsAlnum(data[start - 2]))
        return false;
    return !(end + 1 < data.size() && IsAlnum(data[end]) && data[end + 1] == 0);
}

class Scan {
  public:
    Scan(const CompiledRules& program, std::span<const uint8_t> data)
        : program_(program),
          data_(data),
          matches_(program.strings.size()),
          full_(program.strings.size(), false),
          work_(kVerifyBytesBase + kVerifyBytesPerByte * data.size()) {}

    std::vector<size_t> Run() {
        program_.automaton.Scan(data_, [this](uint32_t id, size_t end) { Hit(id, end); });
        for (uint32_t string : program_.atomless) {
            const StringDef& def = program_.strings[string];
            def.pattern->MatchesAll(data_,
                                    [&](size_t start, size_t length) { AddPatternMatch(string, start, length); });
        }
        for (auto& list : matches_) {
            if (list.size() > 1 && !std::is_sorted(list.begin(), list.end(), ByOffset)) {
                std::stable_sort(list.begin(), list.end(), ByOffset);
            }
            if (list.size() > 1)
                list.erase(std::unique(list.begin(), list.end(),
                                       [](const Match& a, const Match& b) { return a.offset == b.offset; }),
                           list.end());
        }
        std::vector<size_t> matching;
        verdicts_.assign(program_.rules.size(), 0);
        for (size_t r = 0; r < program_.rules.size(); ++r) {
            const CompiledRule& rule = program_.rules[r];
            if (rule.needsMatch && !AnyMatch(rule))
                continue;
            slots_.assign(rule.loopSlots, Value{});
            current_ = -1;
            bool verdict = Eval(*rule.condition).True();
            verdicts_[r] = verdict;
            if (verdict && !rule.info.isPrivate)
                matching.push_back(r);
        }
        return matching;
    }

  private:
    bool AnyMatch(const CompiledRule& rule) const {
        for (uint32_t s = rule.firstString; s < rule.firstString + rule.stringCount; ++s)
            if (!matches_[s].empty())
                return true;
        return false;
    }

    static bool ByOffset(const Match& a, const Match& b) { return a.offset < b.offset; }

    void Add(uint32_t string, size_t start, size_t length) {
        if (total_ >= kMaxMatchesPerScan)
            return;
        ++total_;
        auto& list = matches_[string];
        list.push_back(Match{start, length});
        if (list.size() >= kMaxMatchesPerString)
            full_[string] = true;
    }

    // Charges verification work; false once the file's budget is spent.
    bool Spend(size_t cost) {
        if (work_ < cost) {
            work_ = 0;
            return false;
        }
        work_ -= cost;
        return true;
    }

    void AddPatternMatch(uint32_t string, size_t start, size_t length) {
        if (full_[string])
            return;
        const StringDef& def = program_.strings[string];
        if (def.flags & kFullword) {
            bool wide = length >= 2 && data_[start + 1] == 0 && (def.flags & kWide);
            if (!IsFullword(data_, start, length, wide))
                return;
        }
        Add(string, start, length);
    }

    void Hit(uint32_t id, size_t end) {
        const AtomTarget& target = program_.targets[id];
        if (!target.pattern) {
            const LiteralForm& form = program_.forms[target.form];
            if (full_[form.string])
                return;
            size_t size = form.bytes.size();
            size_t atom = target.length;
            if (end < atom + target.position)
                return;
            size_t start = end - atom - target.position;
            if (start + size > data_.size() || !Spend(size))
                return;
            const auto* want = reinterpret_cast<const uint8_t*>(form.bytes.data());
            const uint8_t* have = data_.data() + start;
            if (form.nocase) {
                for (size_t i = 0; i < size; ++i)
                    if (Fold(want[i]) != Fold(have[i]))
                        return;
            } else if (std::memcmp(want, have, size) != 0) {
                return;
            }
            if (form.fullword && !IsFullword(data_, start, size, form.wide))
                return;
            Add(form.string, start, size);
            return;
        }
        uint32_t string = target.form;
        if (full_[string])
            return;
        const Pattern& pattern = *program_.strings[string].pattern;
        size_t atom = target.length;
        if (end < atom + target.position)
            return;
        size_t at = end - atom - target.position;
        if (!Spend(kPatternVerifyCost))
            return;
        pattern.MatchesAround(data_, target.atom, at,
                              [&](size_t start, size_t length) { AddPatternMatch(string, start, length); });
    }

    // ---- conditions --------------------------------------------------------------------------
    const PeFile* Pe() {
        if (!peRead_) {
            peRead_ = true;
            pe_ = ReadPe(data_);
        }
        return pe_ ? &*pe_ : nullptr;
    }

    uint32_t StringOf(const Expr& expr) const {
        return expr.value < 0 ? static_cast<uint32_t>(current_) : static_cast<uint32_t>(expr.value);
    }

    bool Quantify(const Expr& expr, uint64_t count, uint64_t total, Value& out) {
        switch (Quantifier(expr.aux)) {
            case Quantifier::All:
                out = Value::Bool(count == total);
                return true;
            case Quantifier::Any:
                out = Value::Bool(count >= 1);
                return true;
            case Quantifier::None:
                out = Value::Bool(count == 0);
                return true;
            case Quantifier::Count:
            case Quantifier::Percent: {
                Value n = Eval(*expr.kids[0]);
                if (n.kind != Value::Integer) {
                    out = Value{};
                    return false;
                }
                if (Quantifier(expr.aux) == Quantifier::Count)
                    out = Value::Bool(n.integer <= 0 || count >= uint64_t(n.integer));
                else
                    out = Value::Bool(n.integer <= 0 || count * 100 >= uint64_t(n.integer) * total);
                return true;
            }
        }
        return false;
    }

    Value Eval(const Expr& e) {
        switch (e.op) {
            case Op::Int:
                return Value::Int(e.value);
            case Op::Text:
                return Value::Str(e.text);
            case Op::Filesize:
                return Value::Int(static_cast<int64_t>(data_.size()));
            case Op::Match:
                return Value::Bool(!matches_[StringOf(e)].empty());
            case Op::MatchAt: {
                Value at = Eval(*e.kids[0]);
                if (at.kind != Value::Integer)
                    return {};
                for (const Match& m : matches_[StringOf(e)])
                    if (int64_t(m.offset) == at.integer)
                        return Value::Bool(true);
                return Value::Bool(false);
            }
            case Op::MatchIn:
            case Op::CountIn: {
                Value lo = Eval(*e.kids[0]), hi = Eval(*e.kids[1]);
                if (lo.kind != Value::Integer || hi.kind != Value::Integer)
                    return {};
                int64_t count = 0;
                for (const Match& m : matches_[StringOf(e)])
                    if (int64_t(m.offset) >= lo.integer && int64_t(m.offset) <= hi.integer)
                        ++count;
                return e.op == Op::MatchIn ? Value::Bool(count > 0) : Value::Int(count);
            }
            case Op::Count:
                return Value::Int(static_cast<int64_t>(matches_[StringOf(e)].size()));
            case Op::Offset:
            case Op::Length: {
                Value index = Eval(*e.kids[0]);
                const auto& list = matches_[StringOf(e)];
                if (index.kind != Value::Integer || index.integer < 1 || uint64_t(index.integer) > list.size())
                    return {};
                const Match& m = list[size_t(index.integer - 1)];
                return Value::Int(int64_t(e.op == Op::Offset ? m.offset : m.length));
            }
            case Op::Not: {
                Value v = Eval(*e.kids[0]);
                return v.Defined() ? Value::Bool(!v.True()) : Value{};
            }
            case Op::Defined:
                return Value::Bool(Eval(*e.kids[0]).Defined());
            case Op::Neg:
            case Op::BitNot: {
                Value v = Eval(*e.kids[0]);
                if (v.kind != Value::Integer)
                    return {};
                auto u = static_cast<uint64_t>(v.integer);
                return Value::Int(static_cast<int64_t>(e.op == Op::Neg ? 0 - u : ~u));
            }
            case Op::And:
                return Value::Bool(Eval(*e.kids[0]).True() && Eval(*e.kids[1]).True());
            case Op::Or:
                return Value::Bool(Eval(*e.kids[0]).True() || Eval(*e.kids[1]).True());
            case Op::Lt:
            case Op::Le:
            case Op::Gt:
            case Op::Ge:
            case Op::Eq:
            case Op::Ne:
                return Compare(e.op, Eval(*e.kids[0]), Eval(*e.kids[1]));
            case Op::Add:
            case Op::Sub:
            case Op::Mul:
            case Op::Div:
            case Op::Mod:
            case Op::BitAnd:
            case Op::BitOr:
            case Op::BitXor:
            case Op::Shl:
            case Op::Shr:
                return Arithmetic(e.op, Eval(*e.kids[0]), Eval(*e.kids[1]));
            case Op::Contains:
            case Op::IContains:
            case Op::StartsWith:
            case Op::IStartsWith:
            case Op::EndsWith:
            case Op::IEndsWith:
            case Op::IEquals:
                return TextTest(e.op, Eval(*e.kids[0]), Eval(*e.kids[1]));
            case Op::Matches: {
                Value v = Eval(*e.kids[0]);
                if (v.kind != Value::String)
                    return {};
                return Value::Bool(e.regex->Search(v.text));
            }
            case Op::ReadInt:
                return Read(ReadKind(e.value), Eval(*e.kids[0]));
            case Op::Of: {
                uint64_t count = 0;
                for (uint32_t index : e.set)
                    count += e.ofRules ? verdicts_[index] : !matches_[index].empty();
                Value out;
                Quantify(e, count, e.set.size(), out);
                return out;
            }
            case Op::ForOf: {
                int64_t outer = current_;
                uint64_t count = 0;
                for (uint32_t index : e.set) {
                    if (!SpendIteration())
                        break;
                    current_ = index;
                    count += Eval(*e.kids[1]).True();
                }
                current_ = outer;
                Value out;
                Quantify(e, count, e.set.size(), out);
                return out;
            }
            case Op::ForIn:
                return ForIn(e);
            case Op::RuleRef:
                return Value::Bool(verdicts_[size_t(e.value)] != 0);
            case Op::Var:
                return slots_[size_t(e.value)];
            case Op::PeValue:
                return PeValueOf(e);
            case Op::PeExports:
                return Exports(e);
            case Op::PeIsDll: {
                const PeFile* pe = Pe();
                return pe ? Value::Bool(pe->isDll) : Value{};
            }
        }
        return {};
    }

    bool SpendIteration() {
        if (budget_ == 0)
            return false;
        --budget_;
        return true;
    }

    Value ForIn(const Expr& e) {
        auto slot = size_t(e.value);
        uint64_t count = 0, total = 0;
        auto quantifier = Quantifier(e.aux);
        // all, any and none are decided by the first item that disagrees.
        auto decided = [&] {
            return (quantifier == Quantifier::All && count != total) ||
                   ((quantifier == Quantifier::Any || quantifier == Quantifier::None) && count > 0);
        };
        auto body = [&](Value v) {
            slots_[slot] = v;
            ++total;
            count += Eval(*e.kids[1]).True();
            return !decided();
        };
        switch (e.iterable) {
            case Iterable::Range: {
                Value lo = Eval(*e.kids[2]), hi = Eval(*e.kids[3]);
                if (lo.kind != Value::Integer || hi.kind != Value::Integer)
                    return {};
                for (int64_t i = lo.integer; i <= hi.integer; ++i) {
                    if (!SpendIteration())
                        return {};
                    if (!body(Value::Int(i)) || i == INT64_MAX)
                        break;
                }
                break;
            }
            case Iterable::List:
                for (size_t k = 2; k < e.kids.size(); ++k)
                    if (!body(Eval(*e.kids[k])))
                        break;
                break;
            case Iterable::PeSections:
            case Iterable::PeDataDirectories:
            case Iterable::PeExportDetails: {
                const PeFile* pe = Pe();
                if (!pe)
                    return {};
                size_t n = e.iterable == Iterable::PeSections          ? pe->sections.size()
                           : e.iterable == Iterable::PeDataDirectories ? pe->dataDirectories.size()
                                                                       : pe->exports.size();
                for (size_t i = 0; i < n; ++i) {
                    if (!SpendIteration())
                        return {};
                    if (!body(Value::Int(int64_t(i))))
                        break;
                }
                break;
            }
        }
        Value out;
        Quantify(e, count, total, out);
        return out;
    }

    static Value Compare(Op op, const Value& a, const Value& b) {
        int order;
        if (a.kind == Value::Integer && b.kind == Value::Integer)
            order = a.integer < b.integer ? -1 : a.integer > b.integer ? 1 : 0;
        else if (a.kind == Value::String && b.kind == Value::String)
            order = a.text.compare(b.text) < 0 ? -1 : a.text.compare(b.text) > 0 ? 1 : 0;
        else
            return {};
        switch (op) {
            case Op::Lt:
                return Value::Bool(order < 0);
            case Op::Le:
                return Value::Bool(order <= 0);
            case Op::Gt:
                return Value::Bool(order > 0);
            case Op::Ge:
                return Value::Bool(order >= 0);
            case Op::Eq:
                return Value::Bool(order == 0);
            default:
                return Value::Bool(order != 0);
        }
    }

    static Value Arithmetic(Op op, const Value& a, const Value& b) {
        if (a.kind != Value::Integer || b.kind != Value::Integer)
            return {};
        auto x = static_cast<uint64_t>(a.integer), y = static_cast<uint64_t>(b.integer);
        switch (op) {
            case Op::Add:
                return Value::Int(int64_t(x + y));
            case Op::Sub:
                return Value::Int(int64_t(x - y));
            case Op::Mul:
                return Value::Int(int64_t(x * y));
            case Op::Div:
            case Op::Mod:
                if (b.integer == 0 || (a.integer == INT64_MIN && b.integer == -1))
                    return {};
                return Value::Int(op == Op::Div ? a.integer / b.integer : a.integer % b.integer);
            case Op::BitAnd:
                return Value::Int(int64_t(x & y));
            case Op::BitOr:
                return Value::Int(int64_t(x | y));
            case Op::BitXor:
                return Value::Int(int64_t(x ^ y));
            case Op::Shl:
                if (b.integer < 0)
                    return {};
                return Value::Int(b.integer >= 64 ? 0 : int64_t(x << y));
            default:
                if (b.integer < 0)
                    return {};
                return Value::Int(b.integer >= 64 ? 0 : int64_t(x >> y));
        }
    }

    static bool EqualFolded(std::string_view a, std::string_view b) {
        if (a.size() != b.size())
            return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (Fold(uint8_t(a[i])) != Fold(uint8_t(b[i])))
                return false;
        return true;
    }

    static Value TextTest(Op op, const Value& a, const Value& b) {
        if (a.kind != Value::String || b.kind != Value::String)
            return {};
        std::string_view s = a.text, t = b.text;
        switch (op) {
            case Op::Contains:
                return Value::Bool(s.find(t) != std::string_view::npos);
            case Op::IContains:
                for (size_t i = 0; i + t.size() <= s.size(); ++i)
                    if (EqualFolded(s.substr(i, t.size()), t))
                        return Value::Bool(true);
                return Value::Bool(false);
            case Op::StartsWith:
                return Value::Bool(s.substr(0, t.size()) == t);
            case Op::IStartsWith:
                return Value::Bool(s.size() >= t.size() && EqualFolded(s.substr(0, t.size()), t));
            case Op::EndsWith:
                return Value::Bool(s.size() >= t.size() && s.substr(s.size() - t.size()) == t);
            case Op::IEndsWith:
                return Value::Bool(s.size() >= t.size() && EqualFolded(s.substr(s.size() - t.size()), t));
            default:
                return Value::Bool(EqualFolded(s, t));
        }
    }

    Value Read(ReadKind kind, const Value& at) const {
        if (at.kind != Value::Integer || at.integer < 0)
            return {};
        size_t width = (kind == kU8 || kind == kI8 || kind == kU8be || kind == kI8be)       ? 1
                       : (kind == kU16 || kind == kI16 || kind == kU16be || kind == kI16be) ? 2
                                                                                            : 4;
        auto offset = static_cast<uint64_t>(at.integer);
        if (offset > data_.size() || data_.size() - offset < width)
            return {};
        bool big =
            kind == kU16be || kind == kU32be || kind == kI16be || kind == kI32be || kind == kU8be || kind == kI8be;
        uint64_t v = 0;
        for (size_t i = 0; i < width; ++i) {
            uint8_t byte = data_[size_t(offset) + (big ? i : width - 1 - i)];
            v = (v << 8) | byte;
        }
        bool signedRead =
            kind == kI8 || kind == kI16 || kind == kI32 || kind == kI8be || kind == kI16be || kind == kI32be;
        if (signedRead) {
            uint64_t sign = uint64_t{1} << (width * 8 - 1);
            if (v & sign)
                return Value::Int(int64_t(v) - int64_t(sign << 1));
        }
        return Value::Int(int64_t(v));
    }

    Value PeValueOf(const Expr& e) {
        const PeFile* pe = Pe();
        if (!pe)
            return {};
        auto field = PeField(e.aux);
        switch (field) {
            case PeField::Machine:
                return Value::Int(pe->machine);
            case PeField::Characteristics:
                return Value::Int(pe->characteristics);
            case PeField::Subsystem:
                return Value::Int(pe->subsystem);
            case PeField::NumberOfSections:
                return Value::Int(pe->numberOfSections);
            case PeField::EntryPoint:
                return pe->entryPoint ? Value::Int(int64_t(*pe->entryPoint)) : Value{};
            case PeField::ImageBase:
                return Value::Int(int64_t(pe->imageBase));
            case PeField::Timestamp:
                return Value::Int(pe->timestamp);
            case PeField::NumberOfExports:
                return Value::Int(int64_t(pe->exports.size()));
            case PeField::DllName:
                return pe->dllName.empty() ? Value{} : Value::Str(pe->dllName);
            case PeField::Is64:
                return Value::Bool(pe->is64);
            case PeField::Is32:
                return Value::Bool(!pe->is64);
            default:
                break;
        }
        Value index = Eval(*e.kids[0]);
        if (index.kind != Value::Integer || index.integer < 0)
            return {};
        auto i = static_cast<uint64_t>(index.integer);
        switch (field) {
            case PeField::SectionName:
            case PeField::SectionVirtualAddress:
            case PeField::SectionVirtualSize:
            case PeField::SectionRawDataOffset:
            case PeField::SectionRawDataSize:
            case PeField::SectionCharacteristics: {
                if (i >= pe->sections.size())
                    return {};
                const PeSection& s = pe->sections[size_t(i)];
                switch (field) {
                    case PeField::SectionName:
                        return Value::Str(s.name);
                    case PeField::SectionVirtualAddress:
                        return Value::Int(s.virtualAddress);
                    case PeField::SectionVirtualSize:
                        return Value::Int(s.virtualSize);
                    case PeField::SectionRawDataOffset:
                        return Value::Int(s.rawDataOffset);
                    case PeField::SectionRawDataSize:
                        return Value::Int(s.rawDataSize);
                    default:
                        return Value::Int(s.characteristics);
                }
            }
            case PeField::DirectoryVirtualAddress:
            case PeField::DirectorySize:
                if (i >= pe->dataDirectories.size())
                    return {};
                return Value::Int(field == PeField::DirectorySize ? pe->dataDirectories[size_t(i)].size
                                                                  : pe->dataDirectories[size_t(i)].virtualAddress);
            default: {
                if (i >= pe->exports.size())
                    return {};
                const PeExport& x = pe->exports[size_t(i)];
                switch (field) {
                    case PeField::ExportName:
                        return x.hasName ? Value::Str(x.name) : Value{};
                    case PeField::ExportOrdinal:
                        return Value::Int(x.ordinal);
                    case PeField::ExportRva:
                        return x.forwardName.empty() ? Value::Int(x.rva) : Value{};
                    default:
                        return x.forwardName.empty() ? Value{} : Value::Str(x.forwardName);
                }
            }
        }
    }

    Value Exports(const Expr& e) {
        const PeFile* pe = Pe();
        if (!pe)
            return {};
        if (e.regex) {
            for (const PeExport& x : pe->exports)
                if (x.hasName && e.regex->Search(x.name))
                    return Value::Bool(true);
            return Value::Bool(false);
        }
        Value want = Eval(*e.kids[0]);
        if (want.kind == Value::Integer) {
            for (const PeExport& x : pe->exports)
                if (x.ordinal == want.integer)
                    return Value::Bool(true);
            return Value::Bool(false);
        }
        if (want.kind != Value::String)
            return {};
        for (const PeExport& x : pe->exports)
            if (x.hasName && EqualFolded(x.name, want.text))
                return Value::Bool(true);
        return Value::Bool(false);
    }

    const CompiledRules& program_;
    std::span<const uint8_t> data_;
    std::vector<std::vector<Match>> matches_;
    std::vector<bool> full_;
    std::vector<uint8_t> verdicts_;
    std::vector<Value> slots_;
    int64_t current_ = -1;
    uint64_t budget_ = kLoopBudget;
    size_t work_;
    size_t total_ = 0;
    bool peRead_ = false;
    std::optional<PeFile> pe_;
};

}  // namespace

std::vector<size_t> ScanRules(const CompiledRules& program, std::span<const uint8_t> data) {
    Scan scan(program, data);
    return scan.Run();
}

}  // namespace pellora::rules
