// Shell links built byte by byte after the published layout:
//   header (76 bytes): HeaderSize 0x4C, the link class id, LinkFlags at 20, then attributes,
//     three times, size, icon index, show command, hot key and reserved fields;
//   [HasLinkTargetIDList] IDListSize (2 bytes) and the item ids;
//   [HasLinkInfo] LinkInfoSize, LinkInfoHeaderSize (0x1C, or 0x24 with Unicode offsets),
//     LinkInfoFlags (1: volume id and local base path), VolumeIDOffset, LocalBasePathOffset,
//     CommonNetworkRelativeLinkOffset, CommonPathSuffixOffset, [LocalBasePathOffsetUnicode,
//     CommonPathSuffixOffsetUnicode], then the volume id and the NUL-terminated strings;
//   the counted strings (2-byte count of characters) for each flag that is set, in the order
//     name, relative path, working folder, arguments, icon location;
//   extra data blocks (size, signature, data), ended by a 4-byte zero.
#include <gtest/gtest.h>

#include <cstdint>

#include "core/autostart/shortcut.h"
#include "core/util/utf16.h"

namespace pellora::autostart {
namespace {

constexpr uint32_t kHasIdList = 0x1, kHasLinkInfo = 0x2, kHasName = 0x4, kHasWorkingDir = 0x10, kHasArguments = 0x20,
                   kHasIconLocation = 0x40, kIsUnicode = 0x80, kHasExpString = 0x200;

void Put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

struct LinkSpec {
    bool unicode = true;
    bool idList = true;
    bool linkInfoUnicode = true;  // LinkInfo header of 0x24 bytes with UTF-16 paths
    std::string basePath = R"(C:\Program Files\)";
    std::string suffix = "Browser\\browser.exe";
    std::string name = "Browser";
    std::string workingDir = R"(C:\Program Files\Browser)";
    std::optional<std::string> arguments = std::string("--start http://evil.example/");
    std::string iconLocation = R"(C:\Program Files\Browser\browser.exe)";
    std::string environmentTarget;  // when set, an environment-variables block
    bool useEnvironmentTarget = false;
};

std::string Counted(const LinkSpec& spec, const std::string& text) {
    std::string out;
    const std::string bytes = spec.unicode ? Utf8ToUtf16Le(text) : text;
    Put16(out, static_cast<uint32_t>(spec.unicode ? bytes.size() / 2 : bytes.size()));
    return out + bytes;
}

std::string BuildLink(const LinkSpec& spec) {
    uint32_t flags = kHasLinkInfo | kHasName | kHasWorkingDir | kHasIconLocation;
    if (spec.unicode)
        flags |= kIsUnicode;
    if (spec.idList)
        flags |= kHasIdList;
    if (spec.arguments)
        flags |= kHasArguments;
    if (spec.useEnvironmentTarget)
        flags |= kHasExpString;
    std::string out;
    Put32(out, 0x4C);
    out += std::string("\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);
    Put32(out, flags);
    Put32(out, 0x20);              // file attributes
    out += std::string(24, '\0');  // creation, access and write times
    Put32(out, 1234);              // file size
    Put32(out, 0);                 // icon index
    Put32(out, 1);                 // show normal
    Put16(out, 0);                 // hot key
    out += std::string(10, '\0');  // reserved
    if (spec.idList) {
        Put16(out, 6);
        out += std::string("\x04\x00\xAB\xCD\x00\x00", 6);  // one 4-byte item, then the terminator
    }
    // LinkInfo.
    const uint32_t headerSize = spec.linkInfoUnicode ? 0x24 : 0x1C;
    std::string volume;
    Put32(volume, 0x10);  // VolumeIDSize
    Put32(volume, 3);     // fixed drive
    Put32(volume, 0x1234ABCD);
    Put32(volume, 0x10);  // label offset: empty label
    std::string strings = volume;
    const uint32_t baseAt = headerSize + static_cast<uint32_t>(strings.size());
    strings += spec.basePath + '\0';
    const uint32_t suffixAt = headerSize + static_cast<uint32_t>(strings.size());
    strings += spec.suffix + '\0';
    uint32_t baseUnicodeAt = 0, suffixUnicodeAt = 0;
    if (spec.linkInfoUnicode) {
        baseUnicodeAt = headerSize + static_cast<uint32_t>(strings.size());
        strings += Utf8ToUtf16Le(spec.basePath) + std::string(2, '\0');
        suffixUnicodeAt = headerSize + static_cast<uint32_t>(strings.size());
        strings += Utf8ToUtf16Le(spec.suffix) + std::string(2, '\0');
    }
    Put32(out, headerSize + static_cast<uint32_t>(strings.size()));
    Put32(out, headerSize);
    Put32(out, 1);  // VolumeIDAndLocalBasePath
    Put32(out, headerSize);
    Put32(out, baseAt);
    Put32(out, 0);
    Put32(out, suffixAt);
    if (spec.linkInfoUnicode) {
        Put32(out, baseUnicodeAt);
        Put32(out, suffixUnicodeAt);
    }
    out += strings;
    out += Counted(spec, spec.name);
    out += Counted(spec, spec.workingDir);
    if (spec.arguments)
        out += Counted(spec, *spec.arguments);
    out += Counted(spec, spec.iconLocation);
    if (!spec.environmentTarget.empty()) {
        Put32(out, 0x314);
        Put32(out, 0xA0000001);
        std::string ansi = spec.environmentTarget;
        ansi.resize(260, '\0');
        std::string wide = Utf8ToUtf16Le(spec.environmentTarget);
        wide.resize(520, '\0');
        out += ansi + wide;
    }
    Put32(out, 0);  // terminal block
    return out;
}

TEST(Shortcut, ReadsEveryPartOfUnicodeAndAnsiLinks) {
    LinkSpec spec;
    spec.basePath = R"(C:\Program Files\Bröwser)";
    spec.suffix = "br.exe";
    std::optional<Shortcut> unicode = ReadShortcut(BuildLink(spec));
    ASSERT_TRUE(unicode);
    EXPECT_TRUE(unicode->unicode);
    EXPECT_EQ(unicode->target, R"(C:\Program Files\Bröwser\br.exe)");
    EXPECT_EQ(unicode->arguments, "--start http://evil.example/");
    EXPECT_EQ(unicode->workingDirectory, spec.workingDir);
    EXPECT_EQ(unicode->iconLocation, spec.iconLocation);
    EXPECT_EQ(unicode->name, "Browser");

    // ANSI strings, an old 0x1C link-info header (ANSI paths only), no item ids, and an
    // environment target the link is marked to use.
    spec.unicode = false;
    spec.idList = false;
    spec.linkInfoUnicode = false;
    spec.basePath = "C:\\Old\\";
    spec.suffix = "x\xE9.exe";  // Latin-1 é
    spec.environmentTarget = R"(%ProgramFiles%\Vendor\v.exe)";
    spec.useEnvironmentTarget = true;
    std::optional<Shortcut> ansi = ReadShortcut(BuildLink(spec));
    ASSERT_TRUE(ansi);
    EXPECT_FALSE(ansi->unicode);
    EXPECT_EQ(ansi->linkInfoPath, "C:\\Old\\xé.exe");
    EXPECT_EQ(ansi->environmentTarget, spec.environmentTarget);
    EXPECT_EQ(ansi->target, spec.environmentTarget);
    // The converter of the system's code page is used for ANSI text.
    std::optional<Shortcut> converted =
        ReadShortcut(BuildLink(spec), [](std::string_view bytes) { return "[" + std::string(bytes) + "]"; });
    ASSERT_TRUE(converted);
    EXPECT_EQ(converted->arguments, "[--start http://evil.example/]");
}

TEST(Shortcut, HostileBytesAreRefusedNeverReadPastTheirEnd) {
    LinkSpec spec;
    spec.environmentTarget = R"(C:\e.exe)";
    const std::string link = BuildLink(spec);
    // Every cut of a valid link: refused while a part overruns; a cut extra block (the
    // environment block and the terminal block) is left out.
    const size_t stringsEnd = link.size() - 4 - 0x314;
    for (size_t length = 0; length < link.size(); ++length) {
        std::optional<Shortcut> cut = ReadShortcut(std::string_view(link).substr(0, length));
        EXPECT_EQ(cut.has_value(), length >= stringsEnd) << length;
        if (cut)
            EXPECT_EQ(cut->environmentTarget, length >= link.size() - 4 ? R"(C:\e.exe)" : "") << length;
    }
    EXPECT_FALSE(ReadShortcut("not a link at all"));
    // Sizes and offsets that point beyond the bytes, one field at a time.
    const size_t linkInfoAt = 0x4C + 2 + 6;
    for (size_t field : {size_t{0x4C}, linkInfoAt, linkInfoAt + 4, linkInfoAt + 16, linkInfoAt + 24, linkInfoAt + 28,
                         linkInfoAt + 32}) {
        for (uint32_t value : {0u, 1u, 0x7FFFu, 0xFFFFu, 0xFFFFFFFFu}) {
            std::string bad = link;
            for (int k = 0; k < (field == 0x4C ? 2 : 4); ++k)
                bad[field + k] = static_cast<char>((value >> (8 * k)) & 0xFF);
            std::optional<Shortcut> read = ReadShortcut(bad);
            if (read)
                EXPECT_LE(read->target.size(), bad.size()) << field;
        }
    }
    // A string count beyond the end, and link-info strings without their terminator.
    std::string longName = link;
    const size_t stringsAt = linkInfoAt + (static_cast<uint8_t>(link[linkInfoAt]) | link[linkInfoAt + 1] << 8);
    longName[stringsAt] = '\xFF';
    longName[stringsAt + 1] = '\x7F';
    EXPECT_FALSE(ReadShortcut(longName));
}

TEST(Shortcut, ReplaceArgumentsKeepsEveryOtherByte) {
    for (bool unicode : {true, false}) {
        LinkSpec spec;
        spec.unicode = unicode;
        spec.environmentTarget = R"(C:\e.exe)";
        const std::string before = BuildLink(spec);
        std::optional<std::string> after = ReplaceArguments(before, "--start");
        ASSERT_TRUE(after);
        spec.arguments = "--start";
        EXPECT_EQ(*after, BuildLink(spec)) << unicode;
        std::optional<Shortcut> read = ReadShortcut(*after);
        ASSERT_TRUE(read);
        EXPECT_EQ(read->arguments, "--start");
        EXPECT_EQ(read->iconLocation, spec.iconLocation);
        EXPECT_EQ(read->environmentTarget, R"(C:\e.exe)");

        // A link without arguments gets them, with its flag; nothing else moves.
        spec.arguments.reset();
        const std::string bare = BuildLink(spec);
        std::optional<std::string> added = ReplaceArguments(bare, "-x");
        ASSERT_TRUE(added);
        spec.arguments = "-x";
        EXPECT_EQ(*added, BuildLink(spec)) << unicode;
    }
    EXPECT_FALSE(ReplaceArguments("junk", "x"));
    EXPECT_FALSE(ReplaceArguments(BuildLink(LinkSpec{}), std::string(70000, 'a')));
}

}  // namespace
}  // namespace pellora::autostart
