// The compiled form of a rule set, shared by the compiler (which builds it), the atom chooser
// and automaton (which index its strings) and the scanner (which runs it).
//
// A condition is a tree of Expr nodes whose depth the compiler bounds, so that evaluating it
// recursively is safe. Strings are numbered across the whole set; each rule owns a contiguous
// range of them. A text string is searched in one or more literal forms (its ascii and wide
// bytes, or its base64 encodings); hex strings and regular expressions are Pattern programs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/rules/automaton.h"
#include "core/rules/pattern.h"
#include "core/rules/rules.h"

namespace pellora::rules {

// Limits that keep hostile rule text bounded in time and memory.
inline constexpr size_t kMaxSourceLength = 32u << 20;    // bytes of one source
inline constexpr size_t kMaxRules = 100000;              // rules in one set
inline constexpr size_t kMaxStringsPerRule = 10000;      // strings in one rule
inline constexpr size_t kMaxStrings = 200000;            // strings in one set
inline constexpr size_t kMaxTextLength = 4096;           // bytes of one text string
inline constexpr size_t kMaxPatternLength = 65536;       // characters of one hex or regex body
inline constexpr size_t kMaxConditionDepth = 128;        // nesting of a condition
inline constexpr size_t kMaxConditionNodes = 100000;     // nodes of one condition
inline constexpr size_t kMaxLoopVariables = 16;          // nested loop variables in one condition
inline constexpr size_t kMaxMatchesPerString = 1000000;  // matches kept per string and file
inline constexpr size_t kMaxMatchesPerScan = 4000000;    // matches kept per file, all strings
// Verification work per file, in bytes compared (a pattern's verification counts as
// kPatternVerifyCost): kVerifyBytesPerByte per byte of the file plus kVerifyBytesBase. A hostile
// file that would need more (atoms hitting everywhere, each a near miss of a long string) is
// verified no further: its remaining hits are dropped.
inline constexpr size_t kVerifyBytesPerByte = 64;
inline constexpr size_t kVerifyBytesBase = size_t{64} << 20;
inline constexpr size_t kPatternVerifyCost = 256;

enum StringFlag : uint32_t {
    kAscii = 1u << 0,
    kWide = 1u << 1,
    kNocase = 1u << 2,
    kFullword = 1u << 3,
    kPrivate = 1u << 4,
    kBase64 = 1u << 5,
    kBase64Wide = 1u << 6,
};

struct StringDef {
    std::string id;  // without the leading `$`
    uint32_t flags = 0;
    std::optional<Pattern> pattern;  // hex strings and regular expressions
};

// One literal byte sequence a text string is searched as.
struct LiteralForm {
    std::string bytes;
    uint32_t string = 0;  // index into CompiledRules::strings
    bool nocase = false;
    bool wide = false;  // for fullword: neighbours are UTF-16 characters
    bool fullword = false;
};

enum class Op : uint8_t {
    Int,
    Text,
    Filesize,
    Match,
    MatchAt,
    MatchIn,
    Count,
    CountIn,
    Offset,
    Length,  // value: string index, -1 = loop's `$`
    Not,
    Neg,
    BitNot,
    Defined,
    And,
    Or,
    Lt,
    Le,
    Gt,
    Ge,
    Eq,
    Ne,
    Add,
    Sub,
    Mul,
    Div,
    Mod,
    BitAnd,
    BitOr,
    BitXor,
    Shl,
    Shr,
    Contains,
    IContains,
    StartsWith,
    IStartsWith,
    EndsWith,
    IEndsWith,
    IEquals,
    Matches,
    ReadInt,    // value: ReadKind
    Of,         // kids[0]: quantity (absent for all/any/none); value: Quantifier; strings or rules
    ForOf,      // kids[0]: quantity; kids[1]: body; strings
    ForIn,      // kids[0]: quantity; kids[1]: body; kids[2..]: range bounds or list; value: slot
    RuleRef,    // value: rule index
    Var,        // value: loop slot
    PeValue,    // value: PeField; kids[0]: index into an array when the field is an element's
    PeExports,  // kids[0]: name, ordinal, or regex
    PeIsDll,
};

enum class Quantifier : uint8_t { All, Any, None, Count, Percent };
enum class Iterable : uint8_t { Range, List, PeSections, PeDataDirectories, PeExportDetails };

enum ReadKind : uint8_t { kU8, kU16, kU32, kI8, kI16, kI32, kU16be, kU32be, kI16be, kI32be, kI8be, kU8be };

enum class PeField : uint8_t {
    Machine,
    Characteristics,
    Subsystem,
    NumberOfSections,
    EntryPoint,
    ImageBase,
    Timestamp,
    NumberOfExports,
    DllName,
    Is64,
    Is32,
    SectionName,
    SectionVirtualAddress,
    SectionVirtualSize,
    SectionRawDataOffset,
    SectionRawDataSize,
    SectionCharacteristics,
    DirectoryVirtualAddress,
    DirectorySize,
    ExportName,
    ExportOrdinal,
    ExportRva,
    ExportForwardName,
    Constant,
};

struct Expr {
    Op op = Op::Int;
    int64_t value = 0;
    uint8_t aux = 0;  // Quantifier or PeField
    Iterable iterable = Iterable::Range;
    std::string text;
    std::shared_ptr<const Pattern> regex;
    std::vector<uint32_t> set;  // string indexes (Of, ForOf) or rule indexes (Of over rules)
    bool ofRules = false;
    std::vector<std::unique_ptr<Expr>> kids;
};

struct CompiledRule {
    RuleInfo info;
    uint32_t firstString = 0, stringCount = 0;
    std::unique_ptr<Expr> condition;
    size_t loopSlots = 0;
    bool usesPe = false;
    bool needsMatch = false;  // the condition is false whenever none of the rule's strings matched
};

// A hit of one automaton atom stands for one of these.
struct AtomTarget {
    uint32_t form = 0;      // literal form index, or string index for a pattern
    uint32_t position = 0;  // offset of the searched window inside the form or the pattern's atom
    uint32_t atom = 0;      // for a pattern: which of its atoms
    uint16_t length = 0;    // of the searched window
    bool pattern = false;
};

struct CompiledRules {
    std::vector<CompiledRule> rules;
    std::vector<RuleInfo> infos;
    std::vector<StringDef> strings;
    std::vector<uint32_t> stringRule;  // the rule each string belongs to
    std::vector<LiteralForm> forms;
    std::vector<AtomTarget> targets;  // indexed by the automaton's pattern numbers
    std::vector<uint32_t> atomless;   // strings that have no atom: matched over the whole file
    Automaton automaton;
    bool usesPe = false;
    std::string digest;
    size_t length = 0;
};

}  // namespace pellora::rules
