// The texts of the update panel as pure functions: the grouped byte counts of lblBytesRead.
// What the update judges a download by lives with the database (core/database/database_trust.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "core/database/database_trust.h"

namespace pellora {

// `value` in the form "#,###,###": digits grouped by thousands with `separator`, nothing for 0.
std::string FormatGrouped(int64_t value, std::string_view separator);
// The caption of lblBytesRead for a progress report.
std::string BytesReadCaption(int64_t bytesRead, int32_t fileSize, std::string_view separator);

}  // namespace pellora
