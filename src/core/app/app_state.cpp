#include "core/app/app_state.h"

#include "core/util/text.h"

namespace pellora {

const std::string& Line(const std::vector<std::string>& list, size_t index) {
    static const std::string kEmpty;
    return index < list.size() ? list[index] : kEmpty;
}

void SetLine(std::vector<std::string>& list, size_t index, std::string value) {
    if (list.size() <= index) list.resize(index + 1);
    list[index] = std::move(value);
}

void AddOneToLine(std::vector<std::string>& list, size_t index) {
    SetLine(list, index, std::to_string(LeadingInteger(Line(list, index)) + 1));
}

}  // namespace pellora
