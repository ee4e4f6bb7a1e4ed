#include <gtest/gtest.h>

#include "core/autostart/shortcut.h"
#include "unit/autostart/link_builder.h"

namespace pellora::autostart {
namespace {

using namespace test_links;

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
    std::optional<Shortcut> converted = ReadShortcut(BuildLink(spec), [](std::string_view bytes) {
        std::string text = "[";
        text.append(bytes);
        return text + ']';
    });
    ASSERT_TRUE(converted);
    EXPECT_EQ(converted->arguments, "[--start http://evil.example/]");

    // A link to a file on a share: the share's name and the suffix.
    LinkSpec network;
    network.linkInfoUnicode = false;
    network.shareName = R"(\\server\share)";
    network.suffix = R"(tools\run.exe)";
    std::optional<Shortcut> shared = ReadShortcut(BuildLink(network));
    ASSERT_TRUE(shared);
    EXPECT_EQ(shared->target, R"(\\server\share\tools\run.exe)");
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
        if (cut) {
            EXPECT_EQ(cut->environmentTarget, length >= link.size() - 4 ? R"(C:\e.exe)" : "") << length;
        }
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
            if (read) {
                EXPECT_LE(read->target.size(), bad.size()) << field;
            }
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
