// Content rules: Pellora's engine for the YARA rule language.
//
// A RuleSet is compiled once from rule text and then scans any number of files' bytes, from any
// number of threads. Compilation never throws and never gives up on a whole set for one bad
// rule: a rule that uses something the engine does not support, or that is malformed or
// hostile (too deep, too large, too many strings), is refused with its source, line and reason,
// and every other rule is kept. The stages (compiler, atom choice, automaton, scanner, the
// pattern engine and the pe module) live in their own files beside this one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace pellora::rules {

// One rule file's text; name (e.g. "elastic/Windows_Trojan_X.yar") is used in refusals.
struct Source {
    std::string name;
    std::string text;
};

struct Refusal {
    std::string source;
    size_t line = 0;
    std::string rule;  // empty when the fault is outside any rule (an import, a stray token)
    std::string reason;
};

struct RuleInfo {
    std::string name;
    std::string family;  // the rule's meta `description`, else its name
    std::vector<std::string> tags;
    bool isPrivate = false;
    std::string source;
};

// One rule's whole text with the imports its file declares prepended.
struct RuleText {
    std::string name;
    size_t line = 0;
    std::string text;
};

struct CompiledRules;  // the compiled program (compiler.h)

class RuleSet {
  public:
    RuleSet();  // empty: matches nothing
    ~RuleSet();
    RuleSet(const RuleSet&) = delete;
    RuleSet& operator=(const RuleSet&) = delete;

    // Compiles the sources together (rules may reference earlier rules of any source). A rule
    // that fails is refused (one Refusal each), the others kept. Never throws; hostile input is
    // refused in bounded time and memory.
    static std::shared_ptr<const RuleSet> Compile(std::span<const Source> sources, std::vector<Refusal>& refusals);

    const std::vector<RuleInfo>& Rules() const;
    // Hex SHA-256 over what was compiled.
    std::string Digest() const;
    // Bytes the compiled form takes.
    size_t CompiledLength() const;
    // Indexes into Rules() of the public rules matching one file's bytes, in rule order.
    // Thread-safe.
    std::vector<size_t> Scan(std::span<const uint8_t> data) const;
    // The rules of one .yar file's text, each with its file's imports prepended, for storing one
    // rule per database item.
    static std::vector<RuleText> SplitRules(std::string_view fileText);

  private:
    std::unique_ptr<CompiledRules> compiled_;
};

}  // namespace pellora::rules
