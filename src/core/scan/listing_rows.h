// Row access shared by the two shapes of listing: lstCache is a list of texts, lstHDDItems and
// lstRegScan are compact string tables.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/state/string_table.h"

namespace pellora {

inline size_t RowCount(const StringTable& table) {
    return table.Count();
}
inline size_t RowCount(const std::vector<std::string>& list) {
    return list.size();
}

}  // namespace pellora
