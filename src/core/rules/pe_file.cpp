#include "core/rules/pe_file.h"

namespace pellora::rules {

std::optional<PeFile> ReadPe(std::span<const uint8_t>) {
    return std::nullopt;
}

}  // namespace pellora::rules
