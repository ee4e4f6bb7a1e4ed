// The PE reader: whatever the bytes, it reads nothing outside them (the sanitizers watch),
// keeps within its caps and gives an entry point inside the file.
#include <cstdint>

#include "core/rules/pe_file.h"
#include "fuzz/fuzz_check.h"

using namespace pellora::rules;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::optional<PeFile> pe = ReadPe(std::span<const uint8_t>(data, size));
    if (!pe)
        return 0;
    FUZZ_CHECK(pe->sections.size() <= kMaxPeSections && pe->sections.size() <= pe->numberOfSections);
    FUZZ_CHECK(pe->exports.size() <= kMaxPeExports && pe->exports.size() <= size / 4);
    FUZZ_CHECK(pe->dataDirectories.size() <= 16);
    FUZZ_CHECK(!pe->entryPoint || *pe->entryPoint < size);
    for (const PeExport& entry : pe->exports)
        FUZZ_CHECK(entry.name.size() <= kMaxPeNameLength && entry.forwardName.size() <= kMaxPeNameLength);
    return 0;
}
