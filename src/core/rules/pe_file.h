// A bounds-checked reader of the PE headers, section table and export directory, for the
// rule language's `pe` module. It never reads outside the data it is given, caps every count a
// file states (sections, exports, names) and follows no chain that could loop, so a truncated or
// lying file yields what could be read, or nothing when the file is not PE at all.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace pellora::rules {

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
