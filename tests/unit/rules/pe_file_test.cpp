// The PE reader: a hand-built image with every field the rules read, hostile variants of it and
// of real DLLs (truncated at every header boundary, counts at their maximum, addresses outside
// the file), and Wine's own DLLs read the same as the reference tool's `pe` module reads them.
#include "core/rules/pe_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

using namespace pellora::rules;

namespace {

void Put16(std::vector<uint8_t>& image, size_t at, uint16_t value) {
    image[at] = static_cast<uint8_t>(value);
    image[at + 1] = static_cast<uint8_t>(value >> 8);
}

void Put32(std::vector<uint8_t>& image, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        image[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

void PutText(std::vector<uint8_t>& image, size_t at, const std::string& text) {
    std::memcpy(image.data() + at, text.c_str(), text.size() + 1);
}

// Offsets of the hand-built image's parts.
constexpr size_t kPe = 0x80, kOptional = kPe + 24, kSections = kOptional + 240;
constexpr size_t kExportDir = 0x400;  // file offset of the export directory (rva 0x1000)

// A 64-bit DLL: two sections, .text (rva 0x1000, file 0x400) holding the export directory and
// .data (rva 0x2000, no raw data); exports "Alpha" (ordinal 5), a nameless ordinal 6 and
// "Gamma", a forwarder to "OTHER.Beta" (ordinal 7); entry point rva 0x1100.
std::vector<uint8_t> BuildDll() {
    std::vector<uint8_t> image(0x600, 0);
    Put16(image, 0, 0x5A4D);
    Put32(image, 0x3C, kPe);
    Put32(image, kPe, 0x4550);
    Put16(image, kPe + 4, 0x8664);      // machine
    Put16(image, kPe + 6, 2);           // sections
    Put32(image, kPe + 8, 0x5F000000);  // time stamp
    Put16(image, kPe + 20, 240);        // optional header length
    Put16(image, kPe + 22, 0x2022);     // characteristics: DLL, executable, large address aware
    Put16(image, kOptional, 0x20B);
    Put32(image, kOptional + 16, 0x1100);  // entry point
    Put32(image, kOptional + 24, 0x80000000);
    Put16(image, kOptional + 68, 2);        // subsystem: GUI
    Put32(image, kOptional + 108, 16);      // data directories
    Put32(image, kOptional + 112, 0x1000);  // export directory
    Put32(image, kOptional + 116, 0x100);
    const std::pair<const char*, std::array<uint32_t, 5>> sections[] = {
        {".text", {0x180, 0x1000, 0x200, 0x400, 0x60000020}},
        {".data", {0x1000, 0x2000, 0, 0, 0xC0000040}},
    };
    for (size_t i = 0; i < 2; ++i) {
        const size_t at = kSections + 40 * i;
        std::memcpy(image.data() + at, sections[i].first, std::strlen(sections[i].first));
        const auto& [virtualSize, virtualAddress, rawSize, rawOffset, characteristics] = sections[i].second;
        Put32(image, at + 8, virtualSize);
        Put32(image, at + 12, virtualAddress);
        Put32(image, at + 16, rawSize);
        Put32(image, at + 20, rawOffset);
        Put32(image, at + 36, characteristics);
    }
    // Export directory at rva 0x1000: name, base 5, 3 functions, 2 names.
    Put32(image, kExportDir + 12, 0x10A0);
    Put32(image, kExportDir + 16, 5);
    Put32(image, kExportDir + 20, 3);
    Put32(image, kExportDir + 24, 2);
    Put32(image, kExportDir + 28, 0x1040);  // functions
    Put32(image, kExportDir + 32, 0x1050);  // names
    Put32(image, kExportDir + 36, 0x1060);  // name ordinals
    Put32(image, kExportDir + 0x40, 0x1100);
    Put32(image, kExportDir + 0x44, 0x1110);
    Put32(image, kExportDir + 0x48, 0x1080);  // inside the directory: a forwarder
    Put32(image, kExportDir + 0x50, 0x1070);
    Put32(image, kExportDir + 0x54, 0x1078);
    Put16(image, kExportDir + 0x60, 0);
    Put16(image, kExportDir + 0x62, 2);
    PutText(image, kExportDir + 0x70, "Alpha");
    PutText(image, kExportDir + 0x78, "Gamma");
    PutText(image, kExportDir + 0x80, "OTHER.Beta");
    PutText(image, kExportDir + 0xA0, "sample.dll");
    return image;
}

std::optional<PeFile> Read(const std::vector<uint8_t>& image) {
    return ReadPe(std::span<const uint8_t>(image.data(), image.size()));
}

// What must hold for any input: within the caps, and nothing read from outside (ASan).
void CheckBounded(const std::vector<uint8_t>& image) {
    const std::optional<PeFile> pe = Read(image);
    if (!pe)
        return;
    EXPECT_LE(pe->sections.size(), kMaxPeSections);
    EXPECT_LE(pe->exports.size(), kMaxPeExports);
    EXPECT_LE(pe->dataDirectories.size(), 16u);
    if (pe->entryPoint)
        EXPECT_LT(*pe->entryPoint, image.size());
    for (const PeExport& entry : pe->exports) {
        EXPECT_LE(entry.name.size(), kMaxPeNameLength);
        EXPECT_LE(entry.forwardName.size(), kMaxPeNameLength);
    }
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

TEST(PeFile, ReadsEveryFieldTheRulesUse) {
    const std::optional<PeFile> pe = Read(BuildDll());
    ASSERT_TRUE(pe);
    EXPECT_EQ(pe->machine, 0x8664);
    EXPECT_EQ(pe->characteristics, 0x2022);
    EXPECT_TRUE(pe->isDll);
    EXPECT_TRUE(pe->is64);
    EXPECT_EQ(pe->subsystem, 2);
    EXPECT_EQ(pe->timestamp, 0x5F000000u);
    EXPECT_EQ(pe->imageBase, 0x80000000u);
    EXPECT_EQ(pe->numberOfSections, 2u);
    ASSERT_EQ(pe->sections.size(), 2u);
    EXPECT_EQ(pe->sections[0].name, ".text");
    EXPECT_EQ(pe->sections[1].name, ".data");
    EXPECT_EQ(pe->sections[1].characteristics, 0xC0000040u);
    EXPECT_EQ(pe->entryPoint, std::optional<uint64_t>(0x500));  // rva 0x1100 in .text at file 0x400
    ASSERT_EQ(pe->dataDirectories.size(), 16u);
    EXPECT_EQ(pe->dataDirectories[0].virtualAddress, 0x1000u);
    EXPECT_EQ(pe->dllName, "sample.dll");
    ASSERT_EQ(pe->exports.size(), 3u);
    EXPECT_EQ(pe->exports[0].name, "Alpha");
    EXPECT_EQ(pe->exports[0].ordinal, 5u);
    EXPECT_EQ(pe->exports[0].rva, 0x1100u);
    EXPECT_FALSE(pe->exports[1].hasName);
    EXPECT_EQ(pe->exports[1].ordinal, 6u);
    EXPECT_EQ(pe->exports[2].name, "Gamma");
    EXPECT_EQ(pe->exports[2].forwardName, "OTHER.Beta");
    EXPECT_TRUE(pe->exports[0].forwardName.empty());
}

TEST(PeFile, NotPeIsNothing) {
    EXPECT_FALSE(ReadPe({}));
    std::vector<uint8_t> image = BuildDll();
    image[1] = 'Y';
    EXPECT_FALSE(Read(image));
    image = BuildDll();
    Put32(image, kPe, 0x4551);
    EXPECT_FALSE(Read(image));
    image = BuildDll();
    Put32(image, 0x3C, 0xFFFFFFFC);
    EXPECT_FALSE(Read(image));
}

TEST(PeFile, LyingHeadersAreCutToTheFileAndTheCaps) {
    const std::vector<uint8_t> good = BuildDll();
    // Truncated at every byte of the headers and the export data.
    for (size_t length = 0; length <= good.size(); ++length)
        CheckBounded(std::vector<uint8_t>(good.begin(), good.begin() + length));
    // Without the export table's bytes there are no exports, but the headers still read.
    const std::optional<PeFile> cut = Read(std::vector<uint8_t>(good.begin(), good.begin() + kExportDir + 20));
    ASSERT_TRUE(cut);
    EXPECT_TRUE(cut->exports.empty());
    EXPECT_EQ(cut->sections.size(), 2u);

    struct Lie {
        size_t at;
        uint32_t value;
        bool wide;
    };
    const Lie lies[] = {
        {kPe + 6, 0xFFFF, false},               // sections
        {kPe + 20, 0xFFFF, false},              // optional header length
        {kOptional + 108, 0xFFFFFFFF, true},    // data directories
        {kOptional + 112, 0xFFFFFFF0, true},    // export directory outside everything
        {kOptional + 116, 0xFFFFFFFF, true},    // export directory size
        {kOptional + 16, 0x7FFFFFFF, true},     // entry point
        {kExportDir + 20, 0xFFFFFFFF, true},    // functions
        {kExportDir + 24, 0xFFFFFFFF, true},    // names
        {kExportDir + 28, 0xFFFFFFFC, true},    // function table
        {kExportDir + 32, 0x000011FC, true},    // name table at the section's last bytes
        {kExportDir + 0x50, 0xFFFFFFFF, true},  // a name outside
        {kSections + 20, 0xFFFFFFF0, true},     // .text's raw data outside the file
        {kSections + 16, 0xFFFFFFFF, true},     // .text's raw size
    };
    for (const Lie& lie : lies) {
        std::vector<uint8_t> image = good;
        lie.wide ? Put32(image, lie.at, lie.value) : Put16(image, lie.at, static_cast<uint16_t>(lie.value));
        CheckBounded(image);
    }
    std::vector<uint8_t> image = good;
    Put32(image, kExportDir + 20, 0xFFFFFFFF);
    Put32(image, kSections + 16, 0xFFFFFFFF);
    Put32(image, kSections + 8, 0xFFFFFFFF);
    const std::optional<PeFile> many = Read(image);
    ASSERT_TRUE(many);
    EXPECT_LE(many->exports.size(), image.size() / 4);
    // An entry point no section maps and past the headers has no offset.
    image = good;
    Put32(image, kOptional + 16, 0x9000);
    EXPECT_FALSE(Read(image)->entryPoint);
    // An export name that runs to the end of the file ends there.
    image = good;
    std::memset(image.data() + kExportDir + 0x70, 'A', image.size() - kExportDir - 0x70);
    EXPECT_EQ(Read(image)->exports[0].name.size(),
              std::min<size_t>(image.size() - kExportDir - 0x70, kMaxPeNameLength));
}

// Wine's own DLLs and programs, when the build knows where they are: every header boundary of
// a real image cut, and the fields the rules read compared with the reference tool's module.
TEST(PeFile, RealImagesReadAsTheReferenceToolReadsThem) {
#ifndef PELLORA_WINE_DLL_DIR
    GTEST_SKIP() << "no folder of Wine's DLLs configured";
#else
    const std::filesystem::path folder(PELLORA_WINE_DLL_DIR);
    if (!std::filesystem::exists(folder / "kernel32.dll"))
        GTEST_SKIP() << "Wine's DLLs are not installed";
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<std::filesystem::path> sample{folder / "kernel32.dll", folder / "ntdll.dll"};
    for (size_t i = 0; i < files.size(); i += 50)
        sample.push_back(files[i]);

    const std::vector<uint8_t> kernel32 = ReadFile(folder / "kernel32.dll");
    const std::optional<PeFile> k = ReadPe(kernel32);
    ASSERT_TRUE(k);
    EXPECT_TRUE(k->isDll);
    EXPECT_GT(k->exports.size(), 500u);
    EXPECT_TRUE(
        std::any_of(k->exports.begin(), k->exports.end(), [](const PeExport& e) { return !e.forwardName.empty(); }));
    // Cut at every header and table boundary of a real image.
    std::set<size_t> cuts;
    const uint32_t peOffset = kernel32[0x3C] | kernel32[0x3D] << 8;
    for (size_t at = 0; at < peOffset + 24 + 240 + 40 * k->sections.size() + 8; ++at)
        cuts.insert(at);
    for (const PeSection& s : k->sections)
        cuts.insert({s.rawDataOffset, s.rawDataOffset + 1, s.rawDataOffset + s.rawDataSize / 2});
    for (size_t at = 0; at < kernel32.size(); at += kernel32.size() / 50 + 1)
        cuts.insert(at);
    for (size_t cut : cuts) {
        if (cut <= kernel32.size())
            CheckBounded(std::vector<uint8_t>(kernel32.begin(), kernel32.begin() + cut));
    }

    if (std::system("yara --version > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "the reference tool is not installed";
    const std::filesystem::path work =
        std::filesystem::temp_directory_path() / ("pellora-pe-oracle-" + std::to_string(std::rand()));
    std::filesystem::create_directories(work);
    for (const std::filesystem::path& file : sample) {
        const std::optional<PeFile> pe = ReadPe(ReadFile(file));
        ASSERT_TRUE(pe) << file;
        // One rule per fact, so a disagreement names itself.
        std::vector<std::string> facts{
            "pe.machine == " + std::to_string(pe->machine),
            "pe.characteristics == " + std::to_string(pe->characteristics),
            "pe.number_of_sections == " + std::to_string(pe->numberOfSections),
            pe->isDll ? "pe.is_dll()" : "not pe.is_dll()",
            "pe.number_of_exports == " + std::to_string(pe->exports.size()),
            "pe.subsystem == " + std::to_string(pe->subsystem),
            "pe.timestamp == " + std::to_string(pe->timestamp),
        };
        if (pe->entryPoint)
            facts.push_back("pe.entry_point == " + std::to_string(*pe->entryPoint));
        for (size_t i = 0; i < pe->sections.size(); ++i) {
            const PeSection& s = pe->sections[i];
            facts.push_back("pe.sections[" + std::to_string(i) + "].name == \"" + s.name + "\" and pe.sections[" +
                            std::to_string(i) + "].virtual_address == " + std::to_string(s.virtualAddress) +
                            " and pe.sections[" + std::to_string(i) +
                            "].raw_data_size == " + std::to_string(s.rawDataSize) + " and pe.sections[" +
                            std::to_string(i) + "].characteristics == " + std::to_string(s.characteristics));
        }
        for (size_t i = 0; i < pe->dataDirectories.size(); ++i) {
            facts.push_back("pe.data_directories[" + std::to_string(i) + "].virtual_address == " +
                            std::to_string(pe->dataDirectories[i].virtualAddress) + " and pe.data_directories[" +
                            std::to_string(i) + "].size == " + std::to_string(pe->dataDirectories[i].size));
        }
        for (size_t i = 0; i < pe->exports.size(); i += std::max<size_t>(1, pe->exports.size() / 20)) {
            const PeExport& e = pe->exports[i];
            std::string fact = "pe.export_details[" + std::to_string(i) + "].ordinal == " + std::to_string(e.ordinal);
            if (e.hasName)
                fact += " and pe.exports(\"" + e.name + "\") and pe.export_details[" + std::to_string(i) +
                        "].name == \"" + e.name + "\"";
            if (!e.forwardName.empty())
                fact += " and pe.export_details[" + std::to_string(i) + "].forward_name == \"" + e.forwardName + "\"";
            facts.push_back(fact);
        }
        std::ofstream rules(work / "facts.yar");
        rules << "import \"pe\"\n";
        for (size_t i = 0; i < facts.size(); ++i)
            rules << "rule fact" << i << " { condition: " << facts[i] << " }\n";
        rules.close();
        const std::string command = "yara " + (work / "facts.yar").string() + " " + file.string() + " > " +
                                    (work / "out.txt").string() + " 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << file;
        std::set<std::string> held;
        std::ifstream out(work / "out.txt");
        for (std::string line; std::getline(out, line);)
            held.insert(line.substr(0, line.find(' ')));
        for (size_t i = 0; i < facts.size(); ++i)
            EXPECT_TRUE(held.count("fact" + std::to_string(i))) << file.filename() << ": " << facts[i];
    }
    std::filesystem::remove_all(work);
#endif
}
