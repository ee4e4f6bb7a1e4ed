#include <gtest/gtest.h>

#include <array>

#include "core/database/item_parser.h"

namespace pellora {
namespace {

TEST(ParseItem, SplitsConsumesAndKeepsEdgePieces) {
    std::array<std::string, 4> out;
    std::string text = "a|b|c";
    EXPECT_TRUE(ParseItem(text, out, "|"));
    EXPECT_EQ(text, "");
    EXPECT_EQ(out, (std::array<std::string, 4>{"a", "b", "c", ""}));

    // A trailing separator gives no empty last piece; a leading one gives an empty first piece.
    std::array<std::string, 4> trailing{"x", "x", "x", "x"};
    std::string path = "path|x|y|";
    EXPECT_TRUE(ParseItem(path, trailing, "|"));
    EXPECT_EQ(trailing, (std::array<std::string, 4>{"path", "x", "y", "x"}));
    std::array<std::string, 2> leading;
    std::string lead = "|x";
    EXPECT_TRUE(ParseItem(lead, leading, "|"));
    EXPECT_EQ(leading, (std::array<std::string, 2>{"", "x"}));

    std::string exact = "aXbxc";
    EXPECT_TRUE(ParseItem(exact, out, "X"));
    EXPECT_EQ(out[1], "bxc");

    std::array<std::string, 2> untouched{"keep", "keep"};
    std::string empty;
    EXPECT_TRUE(ParseItem(empty, untouched, "|"));
    EXPECT_EQ(untouched[0], "keep");
}

TEST(ParseItem, NoRoomIsAnErrorAfterEarlierPieces) {
    std::array<std::string, 3> three;
    std::string four = "a|b|c|d";
    EXPECT_FALSE(ParseItem(four, three, "|"));
    EXPECT_EQ(three, (std::array<std::string, 3>{"a", "b", "c"}));
    EXPECT_EQ(four, "");

    std::string any = "a";
    EXPECT_FALSE(ParseItem(any, std::span<std::string>(), "|"));
    EXPECT_EQ(any, "");
}

TEST(ParseItem, EmptySeparatorAndSplittingInPlaceAreSafe) {
    // An empty separator matches everywhere without shortening the text; it must not loop.
    std::array<std::string, 2> out;
    std::string text = "abc";
    EXPECT_TRUE(ParseItem(text, out, ""));
    EXPECT_EQ(out[0], "abc");

    // The text may be an entry of the result itself.
    std::array<std::string, 3> fields{"x|y|z", "", ""};
    EXPECT_TRUE(ParseItem(fields[0], fields, "|"));
    EXPECT_EQ(fields, (std::array<std::string, 3>{"x", "y", "z"}));
    std::array<std::string, 3> late{"", "", "p|q"};
    EXPECT_TRUE(ParseItem(late[2], late, "|"));
    EXPECT_EQ(late, (std::array<std::string, 3>{"p", "q", ""}));
}

TEST(ParseFile, SplitsAtLastSeparator) {
    std::array<std::string, 2> out;
    EXPECT_TRUE(ParseFile("C:\\a\\b.txt", out, "\\"));
    EXPECT_EQ(out, (std::array<std::string, 2>{"b.txt", "C:\\a"}));
    EXPECT_TRUE(ParseFile("b.txt", out, "."));
    EXPECT_EQ(out, (std::array<std::string, 2>{"txt", "b"}));
    EXPECT_TRUE(ParseFile("archive.tar.gz", out, "."));
    EXPECT_EQ(out, (std::array<std::string, 2>{"gz", "archive.tar"}));
    EXPECT_TRUE(ParseFile("\\root", out, "\\"));
    EXPECT_EQ(out, (std::array<std::string, 2>{"root", ""}));
    EXPECT_TRUE(ParseFile("folder\\", out, "\\"));
    EXPECT_EQ(out, (std::array<std::string, 2>{"", "folder"}));
}

TEST(ParseFile, MissingSeparatorStoresFirstEntryThenFails) {
    std::array<std::string, 2> out{"old", "old"};
    EXPECT_FALSE(ParseFile("README", out, "."));
    EXPECT_EQ(out, (std::array<std::string, 2>{"README", "old"}));

    // Splitting one of the entries themselves.
    std::array<std::string, 2> self{"C:\\dir\\f.exe", ""};
    EXPECT_TRUE(ParseFile(self[0], self, "\\"));
    EXPECT_EQ(self, (std::array<std::string, 2>{"f.exe", "C:\\dir"}));
}

TEST(SignatureItem, LineKindsByPositionAndFirstCharacter) {
    EXPECT_EQ(ClassifyLine(1, "#looks like a comment"), LineKind::Version);
    EXPECT_EQ(ClassifyLine(2, "#c"), LineKind::Comment);
    EXPECT_EQ(ClassifyLine(3, "@r"), LineKind::Reserved);
    EXPECT_EQ(ClassifyLine(4, " #not first"), LineKind::Signature);
    EXPECT_EQ(ClassifyLine(5, ""), LineKind::Signature);

    EXPECT_EQ(KindOfLine("PATH|C:\\x.exe"), ItemKind::Path);
    EXPECT_EQ(KindOfLine("RegKey|k"), ItemKind::RegKey);
    EXPECT_EQ(KindOfLine("regsearch|x"), ItemKind::RegSearch);
    EXPECT_EQ(KindOfLine("pathological|x"), ItemKind::Path);  // four letters decide
    EXPECT_EQ(KindOfLine("pa"), ItemKind::Unknown);
    EXPECT_EQ(KindOfLine(""), ItemKind::Unknown);
    EXPECT_EQ(KindOfLine("exec|x"), ItemKind::Unknown);
}

TEST(SignatureItem, RecordIsEmptiedBeforeEverySplit) {
    SignatureItem item;
    SplitItem("PATH|C:\\x.exe|Adware|http://info", item);
    EXPECT_EQ(item.type(), "PATH");
    EXPECT_EQ(item.object(), "C:\\x.exe");
    EXPECT_EQ(item.category(), "Adware");
    EXPECT_EQ(item.comment(), "http://info");

    // The comment URL of the line before must not leak into a line without one.
    SplitItem("regval|HKEY_CURRENT_USER\\Software\\X,Run Me,More|Cat", item);
    EXPECT_EQ(item.object(), "HKEY_CURRENT_USER\\Software\\X,Run Me,More");
    EXPECT_EQ(item.comment(), "");

    SplitItem("path|C:\\y.exe|Cat|", item);
    EXPECT_EQ(item.comment(), "");
    SplitItem("folder|C:\\z|Cat|http://a|extra|more", item);
    EXPECT_EQ(item.comment(), "http://a");
    SplitItem("", item);
    EXPECT_EQ(item.fields, (std::array<std::string, 4>{}));
}

}  // namespace
}  // namespace pellora
