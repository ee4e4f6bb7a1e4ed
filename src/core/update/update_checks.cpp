#include "core/update/update_checks.h"

namespace pellora {

std::string FormatGrouped(int64_t value, std::string_view separator) {
    if (value == 0)
        return "";
    const bool negative = value < 0;
    std::string digits = std::to_string(value);
    if (negative)
        digits.erase(0, 1);
    std::string out;
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0)
            out += separator;
        out += digits[i];
    }
    return negative ? "-" + out : out;
}

std::string BytesReadCaption(int64_t bytesRead, int32_t fileSize, std::string_view separator) {
    std::string caption = "Curently downloaded : " + FormatGrouped(bytesRead, separator) + " bytes";
    if (fileSize > 0)
        caption += " of " + FormatGrouped(fileSize, separator) + " bytes";
    return caption;
}

}  // namespace pellora
