// The content rules a reference database carries as rule items (core/database/database_format.h),
// compiled together: every set at once, each item a source named "<set>/<source file>" so that a
// refused rule is named by its set, file and line. The load keeps the result in
// AppState::contentRules for the scan; pellora-db check and pellora-cli rules list show it.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "core/database/database_format.h"
#include "core/state/app_state.h"

namespace pellora {

// The source of a refusal of a rule item that is not well formed (its line is the database's).
inline constexpr const char* kRuleItemsSource = "database";

// The rule items of the unlocked lines (version line first), in database order; a "rule" line
// that is no well-formed rule item is a refusal of its own (source kRuleItemsSource, its line).
std::vector<RuleItem> RuleItemsOf(std::span<const std::string> lines, std::vector<rules::Refusal>& malformed);

// Compiles the items (the refusals of malformed items go first into the result's list). Each
// refusal names "<set>/<source file>" and the line in that file.
ContentRules CompileRuleItems(std::span<const RuleItem> items, std::vector<rules::Refusal> malformed = {});
// RuleItemsOf, then CompileRuleItems.
ContentRules CompileDatabaseRules(std::span<const std::string> lines);

// True for the names of rule files: ending in ".yar" or ".yara" (any letter case).
bool IsRuleFileName(std::string_view name);

// "<source>:<line>: <rule>: <reason>" (the parts it has).
std::string RefusalText(const rules::Refusal& refusal);

}  // namespace pellora
