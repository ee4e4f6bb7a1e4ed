// The scanner: one file's bytes against a compiled rule set (see scanner.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/rules/program.h"

namespace pellora::rules {

// Indexes of the public rules whose condition holds on `data`, in rule order.
std::vector<size_t> ScanRules(const CompiledRules& program, std::span<const uint8_t> data);

}  // namespace pellora::rules
