// The compiler.
//
// Rule text becomes a CompiledRules program in one pass per file: a recursive-descent parser
// reads each rule (its modifiers, name, tags, meta, strings and condition) straight into the
// program, resolving every name as it goes: string identifiers to the set's string numbers,
// rule names to earlier rules, `pe.…` to the module's fields, loop variables to slots. Nothing is
// kept of a rule that fails: the parser throws a Failure inside the rule, the rule's strings and
// forms are rolled back, one Refusal names the file, line and reason, and parsing resumes at the
// next line that starts a rule. Limits on lengths, counts and nesting (program.h) make hostile
// text fail the same way, in time and memory proportional to the text.
//
// Each text string becomes its literal forms (ascii bytes, UTF-16 bytes, base64 encodings) and
// each form gets one atom (atoms.cpp); hex strings and regular expressions are compiled by the
// pattern engine, which offers their atoms. All atoms of all rules go into one automaton at the
// end. Worked example:
//
//     import "pe"
//     rule Demo : stealer {
//         meta: description = "Demo stealer"
//         strings: $a = "Passwords" wide nocase
//                  $b = { 4D 5A ?? 00 }
//         condition: pe.is_dll() and #a > 1 and $b at 0
//     }
//
// gives one rule (family "Demo stealer", tag "stealer"), string 0 with the form
// `P\0a\0s\0s\0…` (nocase, wide) whose atom is chosen among its windows of four bytes, string 1
// as a hex pattern whose atom the pattern engine picks (`4D 5A`), and the condition tree
// And(And(PeIsDll, Gt(Count 0, Int 1)), MatchAt(1, Int 0)).
#include "core/rules/compiler.h"

#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>

#include "core/rules/atoms.h"
#include "core/rules/lexer.h"
#include "core/util/hex.h"
#include "core/util/sha256.h"

namespace pellora::rules {
namespace {

constexpr size_t kMaxAutomatonStates = 4u << 20;
constexpr size_t kDenseStates = 16384;

struct Failure {
    size_t line = 0;
    std::string reason;
};

std::string Widen(std::string_view bytes) {
    std::string wide;
    wide.reserve(bytes.size() * 2);
    for (char c : bytes) {
        wide += c;
        wide += '\0';
    }
    return wide;
}

// The base64 forms of `plain` at the three alignments it can have inside encoded text, without
// the characters that depend on the bytes around it.
std::vector<std::string> Base64Forms(std::string_view plain, std::string_view alphabet) {
    std::vector<std::string> forms;
    for (size_t shift = 0; shift < 3; ++shift) {
        std::string input(shift, '\0');
        input += plain;
        std::string encoded;
        size_t i = 0;
        for (; i + 3 <= input.size(); i += 3) {
            uint32_t v = (uint8_t(input[i]) << 16) | (uint8_t(input[i + 1]) << 8) | uint8_t(input[i + 2]);
            for (int k = 3; k >= 0; --k)
                encoded += alphabet[(v >> (6 * k)) & 63];
        }
        size_t rest = input.size() - i;
        if (rest > 0) {
            uint32_t v = uint8_t(input[i]) << 16;
            if (rest == 2)
                v |= uint8_t(input[i + 1]) << 8;
            encoded += alphabet[(v >> 18) & 63];
            encoded += alphabet[(v >> 12) & 63];
            if (rest == 2)
                encoded += alphabet[(v >> 6) & 63];
        }
        // Only the characters whose six bits all come from `plain`.
        size_t lead = (8 * shift + 5) / 6;
        size_t end = 8 * input.size() / 6;
        size_t trail = encoded.size() - std::min(end, encoded.size());
        if (encoded.size() > lead + trail)
            forms.push_back(encoded.substr(lead, encoded.size() - lead - trail));
    }
    return forms;
}

struct PendingAtom {
    std::string bytes;
    bool nocase = false;
    AtomTarget target;
};

// What compiling a set shares across its files.
struct Context {
    CompiledRules* program = nullptr;
    std::unordered_map<std::string, uint32_t> ruleIndex;
    std::set<std::string> refusedRules;
    std::vector<PendingAtom> atoms;
    std::vector<Refusal>* refusals = nullptr;
};

bool IsKeyword(const std::string& word) {
    static const std::set<std::string> kKeywords = {
        "all",      "and",     "any",       "ascii",      "at",       "base64",      "base64wide", "condition",
        "contains", "defined", "endswith",  "entrypoint", "false",    "filesize",    "for",        "fullword",
        "global",   "import",  "icontains", "iendswith",  "iequals",  "in",          "include",    "int16",
        "int16be",  "int32",   "int32be",   "int8",       "int8be",   "istartswith", "matches",    "meta",
        "none",     "nocase",  "not",       "of",         "or",       "private",     "rule",       "startswith",
        "strings",  "them",    "true",      "uint16",     "uint16be", "uint32",      "uint32be",   "uint8",
        "uint8be",  "wide",    "xor"};
    return kKeywords.count(word) != 0;
}

// Whether `expr` is false (or undefined) whenever no string of its rule matched, so that the
// scanner can skip the rule on such a file. Conservative: false when unsure.
bool NeedsMatch(const Expr& expr) {
    switch (expr.op) {
        case Op::Match:
        case Op::MatchAt:
        case Op::MatchIn:
            return true;
        case Op::And:
            return NeedsMatch(*expr.kids[0]) || NeedsMatch(*expr.kids[1]);
        case Op::Or:
            return NeedsMatch(*expr.kids[0]) && NeedsMatch(*expr.kids[1]);
        case Op::Of: {
            if (expr.ofRules || expr.set.empty())
                return false;
            auto quantifier = Quantifier(expr.aux);
            if (quantifier == Quantifier::Any || quantifier == Quantifier::All)
                return true;
            const Expr* quantity = expr.kids[0].get();
            return (quantifier == Quantifier::Count || quantifier == Quantifier::Percent) && quantity &&
                   quantity->op == Op::Int && quantity->value >= 1;
        }
        default:
            return false;
    }
}

std::unique_ptr<Expr> MakeExpr(Op op, int64_t value = 0) {
    auto expr = std::make_unique<Expr>();
    expr->op = op;
    expr->value = value;
    return expr;
}

class Parser {
    enum class VarKind { Int, Section, Directory, Export };

  public:
    Parser(const Source& source, Context& context) : source_(source), context_(context), lexer_(source.text) {}

    void ParseFile(std::vector<RuleSpan>* spans) {
        Advance();
        while (cur_.kind != Tok::End) {
            if (IsWord("import")) {
                size_t line = cur_.line;
                Advance();
                if (cur_.kind != Tok::Text) {
                    Refuse(line, "", "import expects a module name in quotes");
                    Resync(line);
                    continue;
                }
                imports_.push_back(cur_.text);
                if (cur_.text != "pe")
                    Refuse(line, "", "the module \"" + cur_.text + "\" is not supported");
                Advance();
            } else if (IsWord("include")) {
                size_t line = cur_.line;
                Refuse(line, "", "include is not supported: give every file to the compiler");
                Advance();
                if (cur_.kind == Tok::Text)
                    Advance();
            } else if (IsWord("rule") || IsWord("private") || IsWord("global")) {
                ParseRuleGuarded(spans);
            } else {
                size_t line = cur_.line;
                Refuse(line, "", cur_.kind == Tok::Error ? cur_.text : "expected a rule, found \"" + cur_.text + "\"");
                Resync(line);
            }
        }
    }

    const std::vector<std::string>& Imports() const { return imports_; }

  private:
    // ---- tokens ------------------------------------------------------------------------------
    void Advance() {
        cur_ = lexer_.Next();
        if (cur_.kind == Tok::Error && program() != nullptr)
            throw Failure{cur_.line, cur_.text};
    }
    CompiledRules* program() { return inRule_ ? context_.program : nullptr; }
    bool IsWord(std::string_view word) const { return cur_.kind == Tok::Ident && cur_.text == word; }
    bool IsPunct(std::string_view punct) const { return cur_.kind == Tok::Punct && cur_.text == punct; }
    [[noreturn]] void Fail(std::string reason) const { throw Failure{cur_.line, std::move(reason)}; }
    std::string Describe() const {
        switch (cur_.kind) {
            case Tok::End:
                return "the end of the file";
            case Tok::Text:
                return "a text string";
            case Tok::Int:
                return "a number";
            default:
                return "\"" + cur_.text + "\"";
        }
    }
    void Expect(std::string_view punct) {
        if (!IsPunct(punct))
            Fail("expected \"" + std::string(punct) + "\", found " + Describe());
        Advance();
    }
    void ExpectWord(std::string_view word) {
        if (!IsWord(word))
            Fail("expected \"" + std::string(word) + "\", found " + Describe());
        Advance();
    }
    std::string ExpectName() {
        if (cur_.kind != Tok::Ident || IsKeyword(cur_.text))
            Fail("expected a name, found " + Describe());
        std::string name = cur_.text;
        Advance();
        return name;
    }

    void Refuse(size_t line, std::string rule, std::string reason) {
        context_.refusals->push_back(Refusal{source_.name, line, std::move(rule), std::move(reason)});
    }

    // Continues at the next token that starts a rule or an import: the first such word that
    // starts a line after `afterLine`, or that follows a `}` (rules written on one line). Tokens,
    // not lines, are skipped, so that a rule inside a comment is never taken for one.
    void Resync(size_t afterLine) {
        inRule_ = false;
        std::string_view text = source_.text;
        auto startsLine = [&](size_t pos) {
            while (pos > 0 && (text[pos - 1] == ' ' || text[pos - 1] == '\t'))
                --pos;
            return pos == 0 || text[pos - 1] == '\n';
        };
        bool afterClose = false;
        bool first = true;
        while (cur_.kind != Tok::End) {
            bool starts = cur_.kind == Tok::Ident && (cur_.text == "rule" || cur_.text == "private" ||
                                                      cur_.text == "global" || cur_.text == "import");
            if (starts && ((cur_.line > afterLine && startsLine(cur_.begin)) || (afterClose && !first)))
                return;
            afterClose = cur_.kind == Tok::Punct && cur_.text == "}";
            first = false;
            cur_ = lexer_.Next();
        }
    }

    // ---- rules -------------------------------------------------------------------------------
    void ParseRuleGuarded(std::vector<RuleSpan>* spans) {
        CompiledRules& program = *context_.program;
        size_t begin = cur_.begin, line = cur_.line;
        size_t stringsBefore = program.strings.size(), formsBefore = program.forms.size();
        size_t atomsBefore = context_.atoms.size(), atomlessBefore = program.atomless.size();
        ruleName_.clear();
        inRule_ = true;
        try {
            ParseRule();
            inRule_ = false;
            if (spans)
                spans->push_back(RuleSpan{ruleName_, line, begin, lexer_.Position()});
            Advance();
        } catch (const Failure& failure) {
            inRule_ = false;
            program.strings.resize(stringsBefore);
            program.stringRule.resize(stringsBefore);
            program.forms.resize(formsBefore);
            context_.atoms.resize(atomsBefore);
            program.atomless.resize(atomlessBefore);
            if (!ruleName_.empty())
                context_.refusedRules.insert(ruleName_);
            Refuse(failure.line, ruleName_, failure.reason);
            Resync(line);
            if (spans)
                spans->push_back(RuleSpan{ruleName_, line, begin, std::min(cur_.begin, source_.text.size())});
        }
    }

    void ParseRule() {
        CompiledRules& program = *context_.program;
        CompiledRule rule;
        while (IsWord("private") || IsWord("global")) {
            if (IsWord("global"))
                Fail("global rules are not supported");
            rule.info.isPrivate = true;
            Advance();
        }
        ExpectWord("rule");
        if (cur_.kind == Tok::Ident && !IsKeyword(cur_.text))
            ruleName_ = cur_.text;
        std::string name = ExpectName();
        if (context_.ruleIndex.count(name) || context_.refusedRules.count(name))
            Fail("a rule named " + name + " already exists");
        if (program.rules.size() >= kMaxRules)
            Fail("too many rules");
        rule.info.name = name;
        rule.info.source = source_.name;
        if (IsPunct(":")) {
            Advance();
            while (cur_.kind == Tok::Ident && !IsKeyword(cur_.text))
                rule.info.tags.push_back(ExpectName());
            if (rule.info.tags.empty())
                Fail("expected tags after \":\"");
        }
        Expect("{");
        if (IsWord("meta")) {
            Advance();
            Expect(":");
            while (cur_.kind == Tok::Ident && !IsWord("strings") && !IsWord("condition"))
                ParseMeta(rule.info);
        }
        rule.firstString = static_cast<uint32_t>(program.strings.size());
        strings_.clear();
        if (IsWord("strings")) {
            Advance();
            Expect(":");
            while (cur_.kind == Tok::StringId)
                ParseString();
            if (strings_.empty())
                Fail("a strings section without strings");
        }
        rule.stringCount = static_cast<uint32_t>(program.strings.size() - rule.firstString);
        firstString_ = rule.firstString;
        ExpectWord("condition");
        Expect(":");
        nodes_ = 0;
        slots_.clear();
        maxSlots_ = 0;
        usesPe_ = false;
        rule.condition = ParseExpression(0);
        if (!IsPunct("}"))
            Fail("expected \"}\" at the end of the condition, found " + Describe());
        rule.loopSlots = maxSlots_;
        rule.needsMatch = NeedsMatch(*rule.condition);
        rule.usesPe = usesPe_;
        program.usesPe = program.usesPe || usesPe_;
        if (rule.info.family.empty())
            rule.info.family = rule.info.name;
        context_.ruleIndex[name] = static_cast<uint32_t>(program.rules.size());
        program.infos.push_back(rule.info);
        program.rules.push_back(std::move(rule));
    }

    void ParseMeta(RuleInfo& info) {
        std::string key = cur_.text;
        Advance();
        Expect("=");
        if (cur_.kind == Tok::Text) {
            std::string value = DecodeText(cur_.text);
            if (key == "description" && info.family.empty())
                info.family = value;
            Advance();
        } else if (IsPunct("-")) {
            Advance();
            if (cur_.kind != Tok::Int)
                Fail("expected a number after \"-\"");
            Advance();
        } else if (cur_.kind == Tok::Int || IsWord("true") || IsWord("false")) {
            Advance();
        } else {
            Fail("a meta value must be text, a number, true or false");
        }
    }

    std::string DecodeText(std::string_view raw) const {
        std::string out;
        for (size_t i = 0; i < raw.size(); ++i) {
            char c = raw[i];
            if (c != '\\') {
                out += c;
                continue;
            }
            if (++i >= raw.size())
                Fail("a text string ends in a backslash");
            switch (raw[i]) {
                case '"':
                case '\\':
                    out += raw[i];
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'x': {
                    int hi = i + 1 < raw.size() ? HexDigitValue(raw[i + 1]) : -1;
                    int lo = i + 2 < raw.size() ? HexDigitValue(raw[i + 2]) : -1;
                    if (hi < 0 || lo < 0)
                        Fail("\\x needs two hex digits");
                    out += static_cast<char>(hi * 16 + lo);
                    i += 2;
                    break;
                }
                default:
                    Fail(std::string("unknown escape \\") + raw[i]);
            }
        }
        return out;
    }

    // ---- strings -----------------------------------------------------------------------------
    enum class Kind { Text, Hex, Regex };

    void ParseString() {
        CompiledRules& program = *context_.program;
        std::string id = cur_.text;
        if (id.empty() || id.back() == '*')
            Fail("a string needs a name");
        if (strings_.count(id))
            Fail("the string $" + id + " is defined twice");
        if (strings_.size() >= kMaxStringsPerRule)
            Fail("too many strings in one rule");
        if (program.strings.size() >= kMaxStrings)
            Fail("too many strings in the rule set");
        Advance();
        if (!IsPunct("="))
            Fail("expected \"=\" after $" + id);
        Kind kind;
        std::string body, regexFlags;
        size_t line = cur_.line;
        Token next = lexer_.Next();
        if (next.kind == Tok::Text) {
            kind = Kind::Text;
            if (next.text.size() > kMaxTextLength * 4)
                throw Failure{line, "the text string $" + id + " is too long"};
            body = DecodeText(next.text);
            if (body.empty())
                throw Failure{line, "the text string $" + id + " is empty"};
            if (body.size() > kMaxTextLength)
                throw Failure{line, "the text string $" + id + " is too long"};
        } else if (next.kind == Tok::Punct && next.text == "{") {
            kind = Kind::Hex;
            if (!lexer_.ReadHex(body))
                throw Failure{line, "the hex string $" + id + " is not closed by \"}\""};
        } else if (next.kind == Tok::Punct && next.text == "/") {
            kind = Kind::Regex;
            if (!lexer_.ReadRegex(body, regexFlags))
                throw Failure{line, "the regular expression $" + id + " is not closed by \"/\""};
        } else {
            throw Failure{line, "expected a text string, hex string or regular expression for $" + id};
        }
        if (body.size() > kMaxPatternLength)
            throw Failure{line, "the string $" + id + " is too long"};
        Advance();
        uint32_t flags = 0;
        std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        static const std::map<std::string, uint32_t> kModifiers = {
            {"ascii", kAscii},     {"wide", kWide},     {"nocase", kNocase},        {"fullword", kFullword},
            {"private", kPrivate}, {"base64", kBase64}, {"base64wide", kBase64Wide}};
        while (cur_.kind == Tok::Ident) {
            if (IsWord("xor"))
                Fail("the xor modifier is not supported");
            auto it = kModifiers.find(cur_.text);
            if (it == kModifiers.end())
                break;
            flags |= it->second;
            Advance();
            if ((it->second & (kBase64 | kBase64Wide)) && IsPunct("(")) {
                Advance();
                if (cur_.kind != Tok::Text)
                    Fail("a base64 alphabet must be a text string");
                alphabet = DecodeText(cur_.text);
                if (alphabet.size() != 64)
                    Fail("a base64 alphabet must have 64 characters");
                Advance();
                Expect(")");
            }
        }
        if (kind == Kind::Hex && (flags & ~kPrivate))
            Fail("a hex string takes no modifier but private");
        if (kind == Kind::Regex && (flags & (kBase64 | kBase64Wide)))
            Fail("a regular expression cannot be base64");
        if ((flags & (kBase64 | kBase64Wide)) && (flags & (kNocase | kFullword)))
            Fail("base64 cannot be combined with nocase or fullword");

        auto index = static_cast<uint32_t>(program.strings.size());
        StringDef def;
        def.id = id;
        def.flags = flags;
        if (kind == Kind::Text) {
            AddTextForms(index, body, flags, alphabet);
        } else {
            std::variant<Pattern, PatternError> compiled =
                kind == Kind::Hex ? Pattern::CompileHex(body)
                                  : Pattern::CompileRegex(
                                        body, RegexFlags{(flags & kNocase) || regexFlags.find('i') != std::string::npos,
                                                         regexFlags.find('s') != std::string::npos,
                                                         (flags & kWide) != 0, (flags & kAscii) || !(flags & kWide)});
            if (auto* error = std::get_if<PatternError>(&compiled))
                throw Failure{line, "$" + id + ": " + error->reason + " (at character " +
                                        std::to_string(error->column + 1) + ")"};
            def.pattern = std::move(std::get<Pattern>(compiled));
            const auto& atoms = def.pattern->Atoms();
            if (atoms.empty()) {
                program.atomless.push_back(index);
            } else {
                for (size_t a = 0; a < atoms.size(); ++a) {
                    AtomWindow window = ChooseAtom(atoms[a].bytes, atoms[a].nocase);
                    PendingAtom pending;
                    pending.bytes = atoms[a].bytes.substr(window.offset, window.length);
                    pending.nocase = atoms[a].nocase;
                    pending.target = AtomTarget{index, static_cast<uint32_t>(window.offset), static_cast<uint32_t>(a),
                                                static_cast<uint16_t>(window.length), true};
                    context_.atoms.push_back(std::move(pending));
                }
            }
        }
        strings_[id] = index;
        program.strings.push_back(std::move(def));
        program.stringRule.push_back(static_cast<uint32_t>(program.rules.size()));
    }

    void AddTextForms(uint32_t index, const std::string& text, uint32_t flags, const std::string& alphabet) {
        CompiledRules& program = *context_.program;
        std::vector<std::pair<std::string, bool>> forms;  // bytes, wide
        bool ascii = (flags & kAscii) || !(flags & kWide);
        if (flags & (kBase64 | kBase64Wide)) {
            std::vector<std::string> plains;
            if (ascii)
                plains.push_back(text);
            if (flags & kWide)
                plains.push_back(Widen(text));
            for (const std::string& plain : plains) {
                for (std::string& encoded : Base64Forms(plain, alphabet)) {
                    if (flags & kBase64)
                        forms.emplace_back(encoded, false);
                    if (flags & kBase64Wide)
                        forms.emplace_back(Widen(encoded), false);
                }
            }
            if (forms.empty())
                Fail("the text string is too short for base64");
        } else {
            if (ascii)
                forms.emplace_back(text, false);
            if (flags & kWide)
                forms.emplace_back(Widen(text), true);
        }
        bool nocase = (flags & kNocase) != 0;
        for (auto& [bytes, wide] : forms) {
            auto form = static_cast<uint32_t>(program.forms.size());
            AtomWindow window = ChooseAtom(bytes, nocase);
            PendingAtom pending;
            pending.bytes = bytes.substr(window.offset, window.length);
            pending.nocase = nocase;
            pending.target =
                AtomTarget{form, static_cast<uint32_t>(window.offset), 0, static_cast<uint16_t>(window.length), false};
            context_.atoms.push_back(std::move(pending));
            program.forms.push_back(LiteralForm{std::move(bytes), index, nocase, wide, (flags & kFullword) != 0});
        }
    }

    // ---- conditions --------------------------------------------------------------------------
    std::unique_ptr<Expr> Node(Op op, int64_t value = 0) {
        if (++nodes_ > kMaxConditionNodes)
            Fail("the condition is too large");
        return MakeExpr(op, value);
    }
    std::unique_ptr<Expr> Unary(Op op, std::unique_ptr<Expr> kid) {
        auto expr = Node(op);
        expr->kids.push_back(std::move(kid));
        return expr;
    }
    std::unique_ptr<Expr> Binary(Op op, std::unique_ptr<Expr> left, std::unique_ptr<Expr> right) {
        auto expr = Node(op);
        expr->kids.push_back(std::move(left));
        expr->kids.push_back(std::move(right));
        return expr;
    }
    void Deeper(size_t depth) const {
        if (depth > kMaxConditionDepth)
            Fail("the condition is nested too deeply");
    }

    std::unique_ptr<Expr> ParseExpression(size_t depth) {
        Deeper(depth);
        auto left = ParseAnd(depth + 1);
        while (IsWord("or"))
            Advance(), left = Binary(Op::Or, std::move(left), ParseAnd(depth + 1));
        return left;
    }
    std::unique_ptr<Expr> ParseAnd(size_t depth) {
        auto left = ParseNot(depth);
        while (IsWord("and"))
            Advance(), left = Binary(Op::And, std::move(left), ParseNot(depth));
        return left;
    }
    std::unique_ptr<Expr> ParseNot(size_t depth) {
        Deeper(depth);
        if (IsWord("not") || IsWord("defined")) {
            Op op = IsWord("not") ? Op::Not : Op::Defined;
            Advance();
            return Unary(op, ParseNot(depth + 1));
        }
        return ParseEquality(depth);
    }
    std::unique_ptr<Expr> ParseEquality(size_t depth) {
        static const std::map<std::string, Op> kOps = {{"==", Op::Eq},
                                                       {"!=", Op::Ne},
                                                       {"contains", Op::Contains},
                                                       {"icontains", Op::IContains},
                                                       {"startswith", Op::StartsWith},
                                                       {"istartswith", Op::IStartsWith},
                                                       {"endswith", Op::EndsWith},
                                                       {"iendswith", Op::IEndsWith},
                                                       {"iequals", Op::IEquals},
                                                       {"matches", Op::Matches}};
        return ParseLevel(depth, kOps, [&](size_t d) { return ParseRelation(d); });
    }
    std::unique_ptr<Expr> ParseRelation(size_t depth) {
        static const std::map<std::string, Op> kOps = {{"<", Op::Lt}, {"<=", Op::Le}, {">", Op::Gt}, {">=", Op::Ge}};
        return ParseLevel(depth, kOps, [&](size_t d) { return ParseBitOr(d); });
    }
    // One level of left-associative binary operators; `matches` takes a regular expression.
    template <class Next>
    std::unique_ptr<Expr> ParseLevel(size_t depth, const std::map<std::string, Op>& ops, Next next) {
        auto left = next(depth);
        for (;;) {
            if (cur_.kind != Tok::Punct && cur_.kind != Tok::Ident)
                return left;
            auto it = ops.find(cur_.text);
            if (it == ops.end())
                return left;
            Advance();
            if (it->second == Op::Matches) {
                auto expr = Node(Op::Matches);
                expr->kids.push_back(std::move(left));
                expr->regex = ParseRegexLiteral();
                left = std::move(expr);
            } else {
                left = Binary(it->second, std::move(left), next(depth));
            }
        }
    }
    std::unique_ptr<Expr> ParseBitOr(size_t depth) {
        static const std::map<std::string, Op> kOps = {{"|", Op::BitOr}};
        return ParseLevel(depth, kOps, [&](size_t d) { return ParseBitXor(d); });
    }
    std::unique_ptr<Expr> ParseBitXor(size_t depth) {
        static const std::map<std::string, Op> kOps = {{"^", Op::BitXor}};
        return ParseLevel(depth, kOps, [&](size_t d) { return ParseBitAnd(d); });
    }
    std::unique_ptr<Expr> ParseBitAnd(size_t depth) {
        static const std::map<std::string, Op> kOps = {{"&", Op::BitAnd}};
        return ParseLevel(depth, kOps, [&](size_t d) { return ParseShift(d); });
    }
    std::unique_ptr<Expr> ParseShift(size_t depth) {
        static const std::map<std::string, Op> kOps = {{"<<", Op::Shl}, {">>", Op::Shr}};
        return ParseLevel(depth, kOps, [&](size_t d) { return ParseAdditive(d); });
    }
    std::unique_ptr<Expr> ParseAdditive(size_t depth) {
        static const std::map<std::string, Op> kOps = {{"+", Op::Add}, {"-", Op::Sub}};
        return ParseLevel(depth, kOps, [&](size_t d) { return ParseMultiplicative(d); });
    }
    std::unique_ptr<Expr> ParseMultiplicative(size_t depth) {
        static const std::map<std::string, Op> kOps = {{"*", Op::Mul}, {"\\", Op::Div}, {"%", Op::Mod}};
        return ParseLevel(depth, kOps, [&](size_t d) { return ParseUnary(d); });
    }
    std::unique_ptr<Expr> ParseUnary(size_t depth) {
        Deeper(depth);
        if (IsPunct("-") || IsPunct("~")) {
            Op op = IsPunct("-") ? Op::Neg : Op::BitNot;
            Advance();
            return Unary(op, ParseUnary(depth + 1));
        }
        return ParsePrimary(depth + 1);
    }

    std::shared_ptr<const Pattern> ParseRegexLiteral() {
        if (!IsPunct("/"))
            Fail("expected a regular expression, found " + Describe());
        std::string body, flags;
        if (!lexer_.ReadRegex(body, flags))
            Fail("the regular expression is not closed by \"/\"");
        if (body.size() > kMaxPatternLength)
            Fail("the regular expression is too long");
        auto compiled = Pattern::CompileRegex(
            body, RegexFlags{flags.find('i') != std::string::npos, flags.find('s') != std::string::npos, false, true});
        if (auto* error = std::get_if<PatternError>(&compiled))
            Fail(error->reason + " (at character " + std::to_string(error->column + 1) + ")");
        Advance();
        return std::make_shared<const Pattern>(std::move(std::get<Pattern>(compiled)));
    }

    // `$a`, `$a*`, `$*` or `$` inside a for..of body.
    int64_t ResolveString(const std::string& id) {
        if (id.empty()) {
            if (!inForOf_)
                Fail("$ outside a for..of loop");
            return -1;
        }
        auto it = strings_.find(id);
        if (it == strings_.end())
            Fail("unknown string $" + id);
        return it->second;
    }

    std::vector<uint32_t> ParseStringSet() {
        std::vector<uint32_t> set;
        auto addMatching = [&](const std::string& pattern) {
            if (!pattern.empty() && pattern.back() == '*') {
                std::string prefix = pattern.substr(0, pattern.size() - 1);
                size_t before = set.size();
                for (auto& [id, index] : strings_)
                    if (id.compare(0, prefix.size(), prefix) == 0)
                        set.push_back(index);
                if (set.size() == before)
                    Fail("no string matches $" + pattern);
            } else {
                set.push_back(static_cast<uint32_t>(ResolveString(pattern)));
            }
        };
        if (IsWord("them")) {
            Advance();
            if (strings_.empty())
                Fail("\"them\" in a rule without strings");
            for (auto& [id, index] : strings_)
                set.push_back(index);
        } else {
            Expect("(");
            for (;;) {
                if (cur_.kind != Tok::StringId || cur_.text.empty())
                    Fail("expected a string in the set, found " + Describe());
                addMatching(cur_.text);
                Advance();
                if (IsPunct(")"))
                    break;
                Expect(",");
            }
            Advance();
        }
        std::sort(set.begin(), set.end());
        set.erase(std::unique(set.begin(), set.end()), set.end());
        return set;
    }

    // The quantity before `of` or after `for`: all, any, none, N or N%. `number` is the N a
    // primary expression already read.
    void ParseQuantifier(Expr& expr, std::unique_ptr<Expr> number, size_t depth) {
        if (number == nullptr) {
            if (IsWord("all") || IsWord("any") || IsWord("none")) {
                expr.aux = uint8_t(IsWord("all")   ? Quantifier::All
                                   : IsWord("any") ? Quantifier::Any
                                                   : Quantifier::None);
                Advance();
                expr.kids.push_back(nullptr);
                return;
            }
            if (cur_.kind == Tok::Int) {
                number = Node(Op::Int, cur_.number);
                Advance();
            } else if (IsPunct("(")) {
                Advance();
                number = ParseExpression(depth + 1);
                Expect(")");
            } else {
                Fail("expected all, any, none or a number, found " + Describe());
            }
        }
        expr.aux = uint8_t(Quantifier::Count);
        if (IsPunct("%")) {
            Advance();
            expr.aux = uint8_t(Quantifier::Percent);
        }
        expr.kids.push_back(std::move(number));
    }

    // Whether the tokens ahead are `% of` (a percentage) rather than the modulo operator.
    bool PercentOfAhead() {
        if (!IsPunct("%"))
            return false;
        Token save = cur_;
        size_t pos = lexer_.Position(), line = lexer_.Line();
        cur_ = lexer_.Next();
        bool of = IsWord("of");
        lexer_.Seek(pos, line);
        cur_ = save;
        return of;
    }

    std::unique_ptr<Expr> ParseOf(std::unique_ptr<Expr> number, size_t depth) {
        auto expr = Node(Op::Of);
        expr->aux = uint8_t(Quantifier::Count);
        ParseQuantifier(*expr, std::move(number), depth);
        ExpectWord("of");
        if (IsPunct("(")) {
            // A set of rules, or of strings.
            Token save = cur_;
            size_t pos = lexer_.Position(), line = lexer_.Line();
            cur_ = lexer_.Next();
            bool rules = cur_.kind == Tok::Ident;
            lexer_.Seek(pos, line);
            cur_ = save;
            if (rules) {
                expr->ofRules = true;
                Advance();
                for (;;) {
                    if (cur_.kind != Tok::Ident)
                        Fail("expected a rule name in the set, found " + Describe());
                    std::string name = cur_.text;
                    bool wildcard = false;
                    Advance();
                    if (IsPunct("*")) {
                        wildcard = true;
                        Advance();
                    }
                    size_t before = expr->set.size();
                    for (auto& [ruleName, index] : context_.ruleIndex)
                        if (wildcard ? ruleName.compare(0, name.size(), name) == 0 : ruleName == name)
                            expr->set.push_back(index);
                    if (expr->set.size() == before)
                        Fail(context_.refusedRules.count(name) ? "refers to the refused rule " + name
                                                               : "unknown rule " + name);
                    if (IsPunct(")"))
                        break;
                    Expect(",");
                }
                Advance();
                std::sort(expr->set.begin(), expr->set.end());
                expr->set.erase(std::unique(expr->set.begin(), expr->set.end()), expr->set.end());
                return expr;
            }
        }
        expr->set = ParseStringSet();
        if (IsWord("in") || IsWord("at"))
            Fail("\"of\" with \"" + cur_.text + "\" is not supported");
        return expr;
    }

    std::unique_ptr<Expr> ParseFor(size_t depth) {
        Advance();  // for
        auto expr = Node(Op::ForOf);
        expr->aux = uint8_t(Quantifier::Count);
        ParseQuantifier(*expr, nullptr, depth);
        if (IsWord("of")) {
            Advance();
            expr->set = ParseStringSet();
            Expect(":");
            Expect("(");
            bool outer = inForOf_;
            inForOf_ = true;
            expr->kids.push_back(ParseExpression(depth + 1));
            inForOf_ = outer;
            Expect(")");
            return expr;
        }
        expr->op = Op::ForIn;
        std::vector<std::string> names{ExpectName()};
        while (IsPunct(",")) {
            Advance();
            names.push_back(ExpectName());
        }
        ExpectWord("in");
        if (names.size() != 1)
            Fail("a for loop over more than one variable is not supported");
        for (auto& [name, slot] : slots_)
            if (name == names[0])
                Fail("the loop variable " + name + " hides another");
        if (slots_.size() >= kMaxLoopVariables)
            Fail("too many nested loops");
        std::vector<std::unique_ptr<Expr>> iterable;
        VarKind kind = VarKind::Int;
        if (IsPunct("(")) {
            Advance();
            iterable.push_back(ParseExpression(depth + 1));
            if (IsPunct("..")) {
                Advance();
                iterable.push_back(ParseExpression(depth + 1));
                expr->iterable = Iterable::Range;
            } else {
                expr->iterable = Iterable::List;
                while (IsPunct(",")) {
                    Advance();
                    iterable.push_back(ParseExpression(depth + 1));
                }
            }
            Expect(")");
        } else if (IsWord("pe")) {
            RequirePe();
            Advance();
            Expect(".");
            std::string field = cur_.kind == Tok::Ident ? cur_.text : "";
            Advance();
            if (field == "sections")
                kind = VarKind::Section, expr->iterable = Iterable::PeSections;
            else if (field == "data_directories")
                kind = VarKind::Directory, expr->iterable = Iterable::PeDataDirectories;
            else if (field == "export_details")
                kind = VarKind::Export, expr->iterable = Iterable::PeExportDetails;
            else
                Fail("a loop over pe." + field + " is not supported");
        } else {
            Fail("expected a range, a list or an array after \"in\", found " + Describe());
        }
        Expect(":");
        Expect("(");
        auto slot = static_cast<uint32_t>(slots_.size());
        slots_.push_back({names[0], kind});
        maxSlots_ = std::max(maxSlots_, slots_.size());
        expr->kids.push_back(ParseExpression(depth + 1));
        slots_.pop_back();
        Expect(")");
        for (auto& item : iterable)
            expr->kids.push_back(std::move(item));
        expr->value = slot;
        return expr;
    }

    void RequirePe() {
        if (std::find(imports_.begin(), imports_.end(), "pe") == imports_.end())
            Fail("pe is used without import \"pe\"");
        usesPe_ = true;
    }

    std::unique_ptr<Expr> PeValue(PeField field, std::unique_ptr<Expr> index = nullptr) {
        auto expr = Node(Op::PeValue);
        expr->aux = uint8_t(field);
        if (index)
            expr->kids.push_back(std::move(index));
        return expr;
    }

    std::unique_ptr<Expr> ParseElementField(VarKind kind, std::unique_ptr<Expr> index) {
        Expect(".");
        std::string field = cur_.kind == Tok::Ident ? cur_.text : "";
        Advance();
        static const std::map<std::string, PeField> kSection = {{"name", PeField::SectionName},
                                                                {"virtual_address", PeField::SectionVirtualAddress},
                                                                {"virtual_size", PeField::SectionVirtualSize},
                                                                {"raw_data_offset", PeField::SectionRawDataOffset},
                                                                {"raw_data_size", PeField::SectionRawDataSize},
                                                                {"characteristics", PeField::SectionCharacteristics}};
        static const std::map<std::string, PeField> kDirectory = {{"virtual_address", PeField::DirectoryVirtualAddress},
                                                                  {"size", PeField::DirectorySize}};
        static const std::map<std::string, PeField> kExport = {{"name", PeField::ExportName},
                                                               {"ordinal", PeField::ExportOrdinal},
                                                               {"rva", PeField::ExportRva},
                                                               {"forward_name", PeField::ExportForwardName}};
        const auto& table = kind == VarKind::Section ? kSection : kind == VarKind::Directory ? kDirectory : kExport;
        auto it = table.find(field);
        if (it == table.end())
            Fail("the field " + field + " is not supported");
        return PeValue(it->second, std::move(index));
    }

    std::unique_ptr<Expr> ParsePe(size_t depth) {
        RequirePe();
        Advance();
        Expect(".");
        if (cur_.kind != Tok::Ident)
            Fail("expected a name after \"pe.\"");
        std::string name = cur_.text;
        Advance();
        static const std::map<std::string, PeField> kScalars = {
            {"machine", PeField::Machine},        {"characteristics", PeField::Characteristics},
            {"subsystem", PeField::Subsystem},    {"number_of_sections", PeField::NumberOfSections},
            {"entry_point", PeField::EntryPoint}, {"image_base", PeField::ImageBase},
            {"timestamp", PeField::Timestamp},    {"number_of_exports", PeField::NumberOfExports},
            {"dll_name", PeField::DllName}};
        static const std::map<std::string, int64_t> kConstants = {{"MACHINE_I386", 0x14c},
                                                                  {"MACHINE_AMD64", 0x8664},
                                                                  {"MACHINE_ARM64", 0xaa64},
                                                                  {"MACHINE_ARM", 0x1c0},
                                                                  {"MACHINE_ARMNT", 0x1c4},
                                                                  {"MACHINE_IA64", 0x200},
                                                                  {"RELOCS_STRIPPED", 0x1},
                                                                  {"EXECUTABLE_IMAGE", 0x2},
                                                                  {"LINE_NUMS_STRIPPED", 0x4},
                                                                  {"LOCAL_SYMS_STRIPPED", 0x8},
                                                                  {"LARGE_ADDRESS_AWARE", 0x20},
                                                                  {"MACHINE_32BIT", 0x100},
                                                                  {"DEBUG_STRIPPED", 0x200},
                                                                  {"SYSTEM", 0x1000},
                                                                  {"DLL", 0x2000},
                                                                  {"SUBSYSTEM_NATIVE", 1},
                                                                  {"SUBSYSTEM_WINDOWS_GUI", 2},
                                                                  {"SUBSYSTEM_WINDOWS_CUI", 3},
                                                                  {"IMAGE_DIRECTORY_ENTRY_EXPORT", 0},
                                                                  {"IMAGE_DIRECTORY_ENTRY_IMPORT", 1},
                                                                  {"IMAGE_DIRECTORY_ENTRY_RESOURCE", 2},
                                                                  {"IMAGE_DIRECTORY_ENTRY_SECURITY", 4},
                                                                  {"IMAGE_DIRECTORY_ENTRY_BASERELOC", 5},
                                                                  {"IMAGE_DIRECTORY_ENTRY_DEBUG", 6},
                                                                  {"IMAGE_DIRECTORY_ENTRY_TLS", 9},
                                                                  {"IMAGE_DIRECTORY_ENTRY_IAT", 12},
                                                                  {"IMAGE_DIRECTORY_ENTRY_COM_DESCRIPTOR", 14},
                                                                  {"SECTION_CNT_CODE", 0x20},
                                                                  {"SECTION_CNT_INITIALIZED_DATA", 0x40},
                                                                  {"SECTION_MEM_EXECUTE", 0x20000000},
                                                                  {"SECTION_MEM_READ", 0x40000000},
                                                                  {"SECTION_MEM_WRITE", int64_t(0x80000000)}};
        if (auto it = kScalars.find(name); it != kScalars.end())
            return PeValue(it->second);
        if (auto it = kConstants.find(name); it != kConstants.end()) {
            auto expr = Node(Op::Int, it->second);
            return expr;
        }
        if (name == "is_dll" || name == "is_32bit" || name == "is_64bit") {
            Expect("(");
            Expect(")");
            if (name == "is_dll")
                return Node(Op::PeIsDll);
            return PeValue(name == "is_64bit" ? PeField::Is64 : PeField::Is32);
        }
        if (name == "exports") {
            Expect("(");
            auto expr = Node(Op::PeExports);
            if (IsPunct("/"))
                expr->regex = ParseRegexLiteral();
            else
                expr->kids.push_back(ParseExpression(depth + 1));
            Expect(")");
            return expr;
        }
        VarKind kind = name == "sections"           ? VarKind::Section
                       : name == "data_directories" ? VarKind::Directory
                       : name == "export_details"   ? VarKind::Export
                                                    : VarKind::Int;
        if (kind != VarKind::Int) {
            Expect("[");
            auto index = ParseExpression(depth + 1);
            Expect("]");
            return ParseElementField(kind, std::move(index));
        }
        Fail("pe." + name + " is not supported");
    }

    std::unique_ptr<Expr> ParseRange(size_t depth, Expr& into) {
        Expect("(");
        into.kids.push_back(ParseExpression(depth + 1));
        Expect("..");
        into.kids.push_back(ParseExpression(depth + 1));
        Expect(")");
        return nullptr;
    }

    std::unique_ptr<Expr> ParsePrimary(size_t depth) {
        Deeper(depth);
        switch (cur_.kind) {
            case Tok::Int: {
                auto number = Node(Op::Int, cur_.number);
                Advance();
                if (IsWord("of") || PercentOfAhead())
                    return ParseOf(std::move(number), depth);
                return number;
            }
            case Tok::Text: {
                auto text = Node(Op::Text);
                text->text = DecodeText(cur_.text);
                Advance();
                return text;
            }
            case Tok::StringId: {
                if (!cur_.text.empty() && cur_.text.back() == '*')
                    Fail("a wildcard string $" + cur_.text + " outside a set");
                auto expr = Node(Op::Match, ResolveString(cur_.text));
                Advance();
                if (IsWord("at")) {
                    Advance();
                    expr->op = Op::MatchAt;
                    expr->kids.push_back(ParseAdditive(depth + 1));
                } else if (IsWord("in")) {
                    Advance();
                    expr->op = Op::MatchIn;
                    ParseRange(depth, *expr);
                }
                return expr;
            }
            case Tok::Count: {
                auto expr = Node(Op::Count, ResolveString(cur_.text));
                Advance();
                if (IsWord("in")) {
                    Advance();
                    expr->op = Op::CountIn;
                    ParseRange(depth, *expr);
                }
                return expr;
            }
            case Tok::Offset:
            case Tok::Length: {
                auto expr = Node(cur_.kind == Tok::Offset ? Op::Offset : Op::Length, ResolveString(cur_.text));
                Advance();
                if (IsPunct("[")) {
                    Advance();
                    expr->kids.push_back(ParseExpression(depth + 1));
                    Expect("]");
                } else {
                    expr->kids.push_back(Node(Op::Int, 1));
                }
                return expr;
            }
            case Tok::Punct:
                if (IsPunct("(")) {
                    Advance();
                    auto inner = ParseExpression(depth + 1);
                    Expect(")");
                    if (IsWord("of"))
                        return ParseOf(std::move(inner), depth);
                    return inner;
                }
                if (IsPunct("/"))
                    Fail("a regular expression must follow \"matches\"");
                Fail("unexpected " + Describe());
            case Tok::Ident:
                break;
            default:
                Fail("unexpected " + Describe());
        }
        const std::string word = cur_.text;
        if (word == "true" || word == "false") {
            Advance();
            return Node(Op::Int, word == "true" ? 1 : 0);
        }
        if (word == "filesize") {
            Advance();
            return Node(Op::Filesize);
        }
        if (word == "entrypoint")
            Fail("entrypoint is not supported; use pe.entry_point");
        if (word == "all" || word == "any" || word == "none")
            return ParseOf(nullptr, depth);
        if (word == "for")
            return ParseFor(depth);
        if (word == "them")
            Fail("\"them\" without \"of\"");
        static const std::map<std::string, ReadKind> kReads = {
            {"uint8", kU8},       {"uint16", kU16},  {"uint32", kU32},    {"int8", kI8},
            {"int16", kI16},      {"int32", kI32},   {"uint8be", kU8be},  {"uint16be", kU16be},
            {"uint32be", kU32be}, {"int8be", kI8be}, {"int16be", kI16be}, {"int32be", kI32be}};
        if (auto it = kReads.find(word); it != kReads.end()) {
            Advance();
            Expect("(");
            auto expr = Node(Op::ReadInt, it->second);
            expr->kids.push_back(ParseExpression(depth + 1));
            Expect(")");
            return expr;
        }
        if (word == "pe" && std::find(imports_.begin(), imports_.end(), "pe") != imports_.end())
            return ParsePe(depth);
        for (size_t s = slots_.size(); s-- > 0;) {
            if (slots_[s].first != word)
                continue;
            Advance();
            auto var = Node(Op::Var, static_cast<int64_t>(s));
            if (slots_[s].second == VarKind::Int)
                return var;
            return ParseElementField(slots_[s].second, std::move(var));
        }
        if (IsKeyword(word))
            Fail("unexpected \"" + word + "\"");
        Advance();
        if (auto it = context_.ruleIndex.find(word); it != context_.ruleIndex.end())
            return Node(Op::RuleRef, it->second);
        if (context_.refusedRules.count(word))
            Fail("refers to the refused rule " + word);
        if (word == "pe")
            Fail("pe is used without import \"pe\"");
        Fail("unknown identifier " + word);
    }

    const Source& source_;
    Context& context_;
    Lexer lexer_;
    Token cur_;
    bool inRule_ = false;
    std::vector<std::string> imports_;
    std::string ruleName_;
    std::map<std::string, uint32_t> strings_;
    uint32_t firstString_ = 0;
    size_t nodes_ = 0;
    std::vector<std::pair<std::string, VarKind>> slots_;
    size_t maxSlots_ = 0;
    bool usesPe_ = false;
    bool inForOf_ = false;
};

}  // namespace

std::unique_ptr<CompiledRules> CompileSources(std::span<const Source> sources, std::vector<Refusal>& refusals) {
    auto program = std::make_unique<CompiledRules>();
    Context context;
    context.program = program.get();
    context.refusals = &refusals;
    Sha256 digest;
    for (const Source& source : sources) {
        digest.Update(std::to_string(source.name.size()) + ":" + source.name + std::to_string(source.text.size()) +
                      ":");
        digest.Update(source.text);
        if (source.text.size() > kMaxSourceLength) {
            refusals.push_back(Refusal{source.name, 0, "", "the file is too large"});
            continue;
        }
        Parser parser(source, context);
        parser.ParseFile(nullptr);
    }
    program->digest = digest.FinishHex();

    program->targets.reserve(context.atoms.size());
    for (PendingAtom& atom : context.atoms) {
        program->automaton.Add(atom.bytes, atom.nocase, static_cast<uint32_t>(program->targets.size()));
        program->targets.push_back(atom.target);
    }
    if (!program->automaton.Build(kMaxAutomatonStates, kDenseStates)) {
        refusals.push_back(Refusal{"", 0, "", "the rules' strings are too many to search together"});
        return std::make_unique<CompiledRules>();
    }
    size_t length = program->automaton.Length() + program->targets.size() * (sizeof(AtomTarget) + 4);
    for (const LiteralForm& form : program->forms)
        length += sizeof(LiteralForm) + form.bytes.size();
    for (const StringDef& def : program->strings)
        length += sizeof(StringDef) + def.id.size() + (def.pattern ? def.pattern->ProgramSize() * 16 : 0);
    length += program->rules.size() * sizeof(CompiledRule);
    program->length = length;
    return program;
}

std::vector<RuleSpan> FindRules(std::string_view text, std::vector<std::string>& imports) {
    CompiledRules scratch;
    std::vector<Refusal> refusals;
    Context context;
    context.program = &scratch;
    context.refusals = &refusals;
    Source source{"", std::string(text)};
    Parser parser(source, context);
    std::vector<RuleSpan> spans;
    parser.ParseFile(&spans);
    imports = parser.Imports();
    return spans;
}

}  // namespace pellora::rules
