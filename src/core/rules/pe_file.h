// A bounds-checked reader of the PE headers, section table and export directory, for the
// rule language's `pe` module.
//
// Every read goes through one checked accessor, so a truncated or lying file yields what could
// be read: a header field past the end is left zero, a name is cut at the end of the file, an
// export table pointing outside the file is no exports. Counts the file states are capped
// (kMaxPeSections sections, kMaxPeExports exports, kMaxPeNameLength bytes per name, 16 data
// directories) and no chain is followed, so the work is bounded by those caps, never by the
// file's claims. Nothing when the data has no DOS header, no PE signature or no file header.
//
// Fields as the language's `pe` module gives them: `number_of_sections` is the header's count
// (the section list holds those within the caps and the file), `entry_point` is the file
// offset of the entry point (no value when the address maps to no byte of the file), an export
// whose address lies inside the export directory is a forwarder ("KERNELBASE.Sleep").
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pellora::rules {

inline constexpr size_t kMaxPeSections = 96;
inline constexpr size_t kMaxPeExports = 65536;
inline constexpr size_t kMaxPeNameLength = 1024;

struct PeSection {
    std::string name;
    uint32_t virtualAddress = 0, virtualSize = 0, rawDataOffset = 0, rawDataSize = 0, characteristics = 0;
};

struct PeExport {
    std::string name;
    uint32_t ordinal = 0;
    uint32_t rva = 0;
    std::string forwardName;
    bool hasName = false;
};

struct PeDataDirectory {
    uint32_t virtualAddress = 0, size = 0;
};

struct PeFile {
    uint16_t machine = 0, characteristics = 0, subsystem = 0;
    uint32_t numberOfSections = 0;
    std::optional<uint64_t> entryPoint;  // file offset of the entry point
    uint64_t imageBase = 0;
    bool isDll = false;
    bool is64 = false;
    uint32_t timestamp = 0;
    std::vector<PeSection> sections;
    std::vector<PeExport> exports;
    std::vector<PeDataDirectory> dataDirectories;
    std::string dllName;
};

// Nothing when `data` is not a PE file; never reads outside `data`.
[[nodiscard]] std::optional<PeFile> ReadPe(std::span<const uint8_t> data);

}  // namespace pellora::rules
