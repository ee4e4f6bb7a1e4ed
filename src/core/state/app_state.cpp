#include "core/state/app_state.h"

#include <limits>

#include "core/util/text.h"

namespace pellora {

bool IsFileRowType(std::string_view type) {
    const std::string kind = ToLowerAscii(type);
    return kind == "path" || kind == "file" || kind == "content";
}

const std::string& Line(const std::vector<std::string>& list, size_t index) {
    static const std::string kEmpty;
    return index < list.size() ? list[index] : kEmpty;
}

void SetLine(std::vector<std::string>& list, size_t index, std::string value) {
    if (list.size() <= index) list.resize(index + 1);
    list[index] = std::move(value);
}

void AddOneToLine(std::vector<std::string>& list, size_t index) {
    // A damaged line may already hold the largest figure; it stays there instead of overflowing.
    int64_t value = LeadingInteger(Line(list, index));
    SetLine(list, index, std::to_string(value < std::numeric_limits<int64_t>::max() ? value + 1 : value));
}

}  // namespace pellora
