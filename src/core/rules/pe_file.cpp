// The PE reader; see pe_file.h. Layout (all little-endian):
//   0x00 "MZ" ... 0x3C e_lfanew -> "PE\0\0", then the file header (20 bytes: machine, number of
//   sections, time stamp, .., size of the optional header, characteristics), then the optional
//   header (magic 0x10B for 32-bit or 0x20B for 64-bit images, whose fields after the entry
//   point shift by the wider image base), then the section table (40 bytes a section).
// The export directory (data directory 0) gives the ordinal base, the function address table,
// the name pointer table and the name ordinal table; names point to NUL-terminated strings.
#include "core/rules/pe_file.h"

#include <algorithm>

namespace pellora::rules {

namespace {

constexpr uint16_t kFileDll = 0x2000;
constexpr size_t kFileHeaderLength = 20;
constexpr size_t kSectionHeaderLength = 40;
constexpr size_t kMaxDataDirectories = 16;

class Reader {
  public:
    explicit Reader(std::span<const uint8_t> data) : data_(data) {}

    bool Has(uint64_t offset, uint64_t length) const {
        return offset <= data_.size() && length <= data_.size() - offset;
    }

    template <typename T>
    std::optional<T> Read(uint64_t offset) const {
        if (!Has(offset, sizeof(T)))
            return std::nullopt;
        T value = 0;
        for (size_t i = 0; i < sizeof(T); ++i)
            value |= static_cast<T>(static_cast<T>(data_[offset + i]) << (8 * i));
        return value;
    }

    template <typename T>
    T ReadOr0(uint64_t offset) const {
        return Read<T>(offset).value_or(0);
    }

    // A NUL-terminated string, cut at the cap or the end of the data.
    std::string String(uint64_t offset, size_t cap) const {
        std::string out;
        for (uint64_t at = offset; at < data_.size() && out.size() < cap && data_[at] != 0; ++at)
            out += static_cast<char>(data_[at]);
        return out;
    }

  private:
    std::span<const uint8_t> data_;
};

// The file offset of a relative virtual address: inside a section's raw data, or inside the
// headers, which are loaded as they are in the file.
std::optional<uint64_t> RvaToOffset(const PeFile& pe, uint32_t rva, size_t fileSize) {
    uint32_t lowestSection = UINT32_MAX;
    for (const PeSection& section : pe.sections) {
        lowestSection = std::min(lowestSection, section.virtualAddress);
        const uint64_t extent = std::max(section.virtualSize, section.rawDataSize);
        if (rva >= section.virtualAddress && rva - section.virtualAddress < extent) {
            const uint64_t delta = rva - section.virtualAddress;
            if (delta >= section.rawDataSize)
                return std::nullopt;  // in memory only (uninitialised data)
            const uint64_t offset = uint64_t{section.rawDataOffset} + delta;
            return offset < fileSize ? std::optional<uint64_t>(offset) : std::nullopt;
        }
    }
    if (rva < lowestSection && rva < fileSize)
        return rva;
    return std::nullopt;
}

void ReadExports(const Reader& reader, PeFile& pe, size_t fileSize) {
    if (pe.dataDirectories.empty() || pe.dataDirectories[0].virtualAddress == 0)
        return;
    const PeDataDirectory directory = pe.dataDirectories[0];
    const std::optional<uint64_t> at = RvaToOffset(pe, directory.virtualAddress, fileSize);
    if (!at || !reader.Has(*at, 40))
        return;
    const uint32_t nameRva = reader.ReadOr0<uint32_t>(*at + 12);
    const uint32_t base = reader.ReadOr0<uint32_t>(*at + 16);
    const uint32_t functionCount = reader.ReadOr0<uint32_t>(*at + 20);
    const uint32_t nameCount = reader.ReadOr0<uint32_t>(*at + 24);
    const uint32_t functionsRva = reader.ReadOr0<uint32_t>(*at + 28);
    const uint32_t namesRva = reader.ReadOr0<uint32_t>(*at + 32);
    const uint32_t ordinalsRva = reader.ReadOr0<uint32_t>(*at + 36);
    if (std::optional<uint64_t> name = RvaToOffset(pe, nameRva, fileSize))
        pe.dllName = reader.String(*name, kMaxPeNameLength);

    const std::optional<uint64_t> functions = RvaToOffset(pe, functionsRva, fileSize);
    if (!functions)
        return;
    // The table must lie in the file: a count it cannot hold is a lie, cut to what is there.
    const size_t functionsInFile = (fileSize - std::min<uint64_t>(*functions, fileSize)) / 4;
    const size_t count = std::min<size_t>({functionCount, functionsInFile, kMaxPeExports});
    pe.exports.resize(count);
    for (size_t i = 0; i < count; ++i) {
        PeExport& entry = pe.exports[i];
        entry.ordinal = base + static_cast<uint32_t>(i);
        entry.rva = reader.ReadOr0<uint32_t>(*functions + 4 * i);
        if (entry.rva >= directory.virtualAddress && entry.rva - directory.virtualAddress < directory.size) {
            if (std::optional<uint64_t> forward = RvaToOffset(pe, entry.rva, fileSize))
                entry.forwardName = reader.String(*forward, kMaxPeNameLength);
        }
    }
    const std::optional<uint64_t> names = RvaToOffset(pe, namesRva, fileSize);
    const std::optional<uint64_t> ordinals = RvaToOffset(pe, ordinalsRva, fileSize);
    if (!names || !ordinals)
        return;
    const size_t namesToRead = std::min<size_t>(nameCount, kMaxPeExports);
    for (size_t j = 0; j < namesToRead; ++j) {
        const std::optional<uint32_t> pointer = reader.Read<uint32_t>(*names + 4 * j);
        const std::optional<uint16_t> index = reader.Read<uint16_t>(*ordinals + 2 * j);
        if (!pointer || !index)
            break;
        if (*index >= pe.exports.size() || pe.exports[*index].hasName)
            continue;
        if (std::optional<uint64_t> name = RvaToOffset(pe, *pointer, fileSize)) {
            pe.exports[*index].name = reader.String(*name, kMaxPeNameLength);
            pe.exports[*index].hasName = true;
        }
    }
    // Slots of the address table that hold nothing and have no name are no exports.
    std::erase_if(pe.exports, [](const PeExport& entry) { return entry.rva == 0 && !entry.hasName; });
}

}  // namespace

std::optional<PeFile> ReadPe(std::span<const uint8_t> data) {
    const Reader reader(data);
    if (reader.ReadOr0<uint16_t>(0) != 0x5A4D)  // "MZ"
        return std::nullopt;
    const std::optional<uint32_t> peOffset = reader.Read<uint32_t>(0x3C);
    if (!peOffset || reader.ReadOr0<uint32_t>(*peOffset) != 0x00004550 ||  // "PE\0\0"
        !reader.Has(uint64_t{*peOffset} + 4, kFileHeaderLength))
        return std::nullopt;
    PeFile pe;
    const uint64_t fileHeader = uint64_t{*peOffset} + 4;
    pe.machine = reader.ReadOr0<uint16_t>(fileHeader);
    pe.numberOfSections = reader.ReadOr0<uint16_t>(fileHeader + 2);
    pe.timestamp = reader.ReadOr0<uint32_t>(fileHeader + 4);
    const uint16_t optionalLength = reader.ReadOr0<uint16_t>(fileHeader + 16);
    pe.characteristics = reader.ReadOr0<uint16_t>(fileHeader + 18);
    pe.isDll = (pe.characteristics & kFileDll) != 0;

    const uint64_t optional = fileHeader + kFileHeaderLength;
    const uint16_t magic = reader.ReadOr0<uint16_t>(optional);
    pe.is64 = magic == 0x20B;
    const uint32_t entryRva = reader.ReadOr0<uint32_t>(optional + 16);
    pe.imageBase = pe.is64 ? reader.ReadOr0<uint64_t>(optional + 24) : reader.ReadOr0<uint32_t>(optional + 28);
    pe.subsystem = reader.ReadOr0<uint16_t>(optional + 68);
    const uint64_t directoriesAt = optional + (pe.is64 ? 112 : 96);
    const uint32_t directoryCount = reader.ReadOr0<uint32_t>(optional + (pe.is64 ? 108 : 92));
    // Directories count only inside the optional header the file header declares.
    const uint64_t optionalEnd = optional + optionalLength;
    for (uint32_t i = 0; i < std::min<uint32_t>(directoryCount, kMaxDataDirectories); ++i) {
        const uint64_t at = directoriesAt + 8 * uint64_t{i};
        if (at + 8 > optionalEnd || !reader.Has(at, 8))
            break;
        pe.dataDirectories.push_back({reader.ReadOr0<uint32_t>(at), reader.ReadOr0<uint32_t>(at + 4)});
    }

    const uint64_t sectionTable = optionalEnd;
    const size_t sectionCount = std::min<size_t>(pe.numberOfSections, kMaxPeSections);
    for (size_t i = 0; i < sectionCount; ++i) {
        const uint64_t at = sectionTable + kSectionHeaderLength * i;
        if (!reader.Has(at, kSectionHeaderLength))
            break;
        PeSection section;
        for (size_t c = 0; c < 8; ++c) {
            const uint8_t byte = reader.ReadOr0<uint8_t>(at + c);
            if (byte == 0)
                break;
            section.name += static_cast<char>(byte);
        }
        section.virtualSize = reader.ReadOr0<uint32_t>(at + 8);
        section.virtualAddress = reader.ReadOr0<uint32_t>(at + 12);
        section.rawDataSize = reader.ReadOr0<uint32_t>(at + 16);
        section.rawDataOffset = reader.ReadOr0<uint32_t>(at + 20);
        section.characteristics = reader.ReadOr0<uint32_t>(at + 36);
        pe.sections.push_back(std::move(section));
    }

    if (optionalLength >= 20)
        pe.entryPoint = RvaToOffset(pe, entryRva, data.size());
    ReadExports(reader, pe, data.size());
    return pe;
}

}  // namespace pellora::rules
