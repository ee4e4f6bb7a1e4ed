// The compiler: rule text to the program the scanner runs (see compiler.cpp).
#pragma once

#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "core/rules/program.h"
#include "core/rules/rules.h"

namespace pellora::rules {

// Parses and compiles every source; rules that fail are refused one by one.
std::unique_ptr<CompiledRules> CompileSources(std::span<const Source> sources, std::vector<Refusal>& refusals);

// Where each rule of one file's text starts and ends (for SplitRules), and its imports.
struct RuleSpan {
    std::string name;
    size_t line = 0;
    size_t begin = 0, end = 0;
};
std::vector<RuleSpan> FindRules(std::string_view text, std::vector<std::string>& imports);

}  // namespace pellora::rules
