#include <gtest/gtest.h>

#include "core/database/folder_variables.h"
#include "core/database/item_parser.h"

namespace pellora {
namespace {

TEST(ParseItem, SplitsAndConsumesText) {
    std::string text = "a|b|c";
    std::array<std::string, 4> out;
    EXPECT_TRUE(ParseItem(text, out, "|"));
    EXPECT_EQ(text, "");
    EXPECT_EQ(out[0], "a");
    EXPECT_EQ(out[1], "b");
    EXPECT_EQ(out[2], "c");
    EXPECT_EQ(out[3], "");
}

TEST(ParseItem, EdgesOfSeparators) {
    std::array<std::string, 4> out;
    std::string trailing = "path|x|y|";
    EXPECT_TRUE(ParseItem(trailing, out, "|"));
    EXPECT_EQ(out[2], "y");
    EXPECT_EQ(out[3], "");

    std::array<std::string, 2> leading;
    std::string lead = "|x";
    EXPECT_TRUE(ParseItem(lead, leading, "|"));
    EXPECT_EQ(leading[0], "");
    EXPECT_EQ(leading[1], "x");

    std::array<std::string, 3> three;
    std::string four = "a|b|c|d";
    EXPECT_FALSE(ParseItem(four, three, "|"));
    EXPECT_EQ(three[2], "c");
    EXPECT_EQ(four, "");
}

TEST(ParseFile, SplitsAtLastSeparator) {
    std::array<std::string, 2> out;
    EXPECT_TRUE(ParseFile("C:\\a\\b.txt", out, "\\"));
    EXPECT_EQ(out[0], "b.txt");
    EXPECT_EQ(out[1], "C:\\a");
    EXPECT_TRUE(ParseFile("archive.tar.gz", out, "."));
    EXPECT_EQ(out[0], "gz");
    EXPECT_EQ(out[1], "archive.tar");
    std::array<std::string, 2> none;
    EXPECT_FALSE(ParseFile("README", none, "."));
    EXPECT_EQ(none[0], "README");
    EXPECT_EQ(none[1], "");
}

TEST(SignatureItem, KindsAndFieldsAreReset) {
    SignatureItem item;
    SplitItem("PATH|C:\\x.exe|Adware|http://info", item);
    EXPECT_EQ(KindOfLine("PATH|C:\\x.exe"), ItemKind::Path);
    EXPECT_EQ(item.type(), "PATH");
    EXPECT_EQ(item.comment(), "http://info");
    SplitItem("regval|HKEY_CURRENT_USER\\Software\\X,Run Me,More|Cat", item);
    EXPECT_EQ(item.comment(), "");
    EXPECT_EQ(item.object(), "HKEY_CURRENT_USER\\Software\\X,Run Me,More");
    EXPECT_EQ(KindOfLine("regsearch|x"), ItemKind::RegSearch);
    EXPECT_EQ(KindOfLine("pa"), ItemKind::Unknown);
    EXPECT_EQ(ClassifyLine(1, "path|x"), LineKind::Version);
    EXPECT_EQ(ClassifyLine(2, "#c"), LineKind::Comment);
    EXPECT_EQ(ClassifyLine(3, "@r"), LineKind::Reserved);
}

TEST(FolderVariables, ReplacedInAnyCaseUnknownKept) {
    SpecialFolders f;
    f.windowsDir = "C:\\WINDOWS";
    f.tempDir = "C:\\TEMP";
    std::string object = "%windir%\\a;%TEMPDIR%\\b;%Fonts%\\c";
    ReplaceVariableFolders(object, f);
    EXPECT_EQ(object, "C:\\WINDOWS\\a;C:\\TEMP\\b;%Fonts%\\c");
}

}  // namespace
}  // namespace pellora
