// The listing tests as the rules state them, and each index checked against them on generated
// data: the indexes must find exactly the rows the row-by-row tests find, in the same order.
#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "core/scan/file_pattern_index.h"
#include "core/scan/ignore_index.h"
#include "core/scan/path_index.h"
#include "core/scan/reference_matching.h"
#include "core/scan/substring_matcher.h"

namespace pellora {
namespace {

TEST(FilePattern, FollowsTheRuleTable) {
    struct Case {
        const char* pattern;
        const char* path;
        bool match;
    };
    const Case cases[] = {
        {"setup.exe", "C:\\a\\setup.exe", true},
        {"setup.exe", "C:\\a\\Setup.exe", false},
        {"*.exe", "C:\\a\\tool.exe", true},
        {"a*b.exe", "C:\\x.exe", true},
        {"*.exe", "C:\\a\\tool.exe.bak", false},
        {"setup.*", "C:\\setup.msi", true},
        {"setup.*", "C:\\setup", false},
        {"setup.*", "C:\\setup.tar.gz", false},
        {"setup.tar.*", "C:\\setup.tar.gz", true},
        {"*.*", "C:\\setup.exe", false},
        {"a.ex*", "C:\\a.exe", true},
        {"a.ex*", "C:\\a.ex", true},
        {"a.ex*", "C:\\a.e", false},
        {"a.ex*", "C:\\b.exe", false},
        {"*.ex*", "C:\\b.exe", true},
        {"a.*xe", "C:\\a.exe", true},
        {"a.*xe", "C:\\a.xe", true},
        {"a.*xe", "C:\\a.e", false},
        {"*.*xe", "C:\\b.fxe", true},
        {"a.e*e", "C:\\a.e*q", true},
        {"a.e*e", "C:\\a.exe", false},
        {"txt", "C:\\.txt", true},
        {"txt", "C:\\a.txt", false},
        {"a.", "C:\\a.", true},
        {"noext", "C:\\dir\\noext", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FilePatternMatchesPath(c.pattern, c.path), c.match) << c.pattern << " vs " << c.path;
    }
}

TEST(ListingTests, PiecesAndFolders) {
    EXPECT_TRUE(ContainsPiece("me@EVIL.com.txt", "evil"));
    EXPECT_FALSE(ContainsPiece("anything", ""));
    // Case is ignored the way Windows compares names: every script, one unit for one unit.
    EXPECT_TRUE(ContainsPiece("me@ÉMILE-ads.txt", "émile"));
    EXPECT_TRUE(ContainsPiece("HKEY_CURRENT_USER\\Software\\Шпион", "шПИОН"));
    EXPECT_FALSE(ContainsPiece("strasse", "straße"));
    EXPECT_FALSE(ContainsPiece("Émile", "Emile"));
    EXPECT_TRUE(IsFolderOrBelow("C:\\Bad", "C:\\Bad"));
    EXPECT_TRUE(IsFolderOrBelow("C:\\Bad\\x", "C:\\Bad"));
    EXPECT_FALSE(IsFolderOrBelow("C:\\Badger\\x.txt", "C:\\Bad"));
    EXPECT_FALSE(IsFolderOrBelow("C:\\bad\\x", "C:\\Bad"));
    EXPECT_TRUE(IsFolderOrBelow("C:\\Bad\\x", "C:\\Bad\\"));
    EXPECT_FALSE(IsFolderOrBelow("C:\\Bad", "C:\\Bad\\"));
    EXPECT_FALSE(IsFolderOrBelow("C:\\x", ""));
}

TEST(IgnoreIndex, AnswersLikeAPlainSearchOfEveryLine) {
    EXPECT_FALSE(IgnoreIndex({}).Contains(""));
    EXPECT_TRUE(IgnoreIndex({""}).Contains(""));
    IgnoreIndex index({"path|C:\\Bad\\evil.exe|T", "regkey|HKEY_USERS\\x|R", std::string("odd\0line", 8)});
    EXPECT_TRUE(index.Contains("C:\\Bad\\evil.exe"));
    EXPECT_TRUE(index.Contains("exe|T"));
    EXPECT_FALSE(index.Contains("c:\\bad\\evil.exe"));
    EXPECT_FALSE(index.Contains("|Tregkey"));  // never across two lines
    EXPECT_TRUE(index.Contains(std::string("d\0l", 3)));
}

// Texts over a small alphabet, so that generated objects and rows often meet.
class Generator {
  public:
    explicit Generator(unsigned seed) : random_(seed) {}
    int Number(int below) { return std::uniform_int_distribution<int>(0, below - 1)(random_); }
    // Letters are single bytes, except the two-byte "é" and "É", whose cases must meet too.
    std::string Word(const char* letters, int maxLength) {
        std::string word;
        int length = Number(maxLength + 1);
        size_t count = std::char_traits<char>::length(letters);
        for (int i = 0; i < length; ++i) {
            char letter = letters[Number(static_cast<int>(count))];
            word += letter == 'e' ? "é" : letter == 'E' ? "É" : std::string(1, letter);
        }
        return word;
    }

  private:
    std::mt19937 random_;
};

TEST(Indexes, FindWhatTheRowByRowTestsFind) {
    for (unsigned seed = 1; seed <= 20; ++seed) {
        Generator g(seed);
        std::vector<std::string> rows;
        for (int i = 0; i < 400; ++i)
            rows.push_back("C:" + g.Word("\\\\aAbeE.*", 9) + "\\" + g.Word("aAbxeE.*", 6));
        std::vector<std::string> objects;
        for (int i = 0; i < 150; ++i)
            objects.push_back(i % 3 ? g.Word("aAbxeE.*", 6) : rows[g.Number(400)].substr(0, g.Number(12)));

        FilePatternIndex files;
        SubstringMatcher pieces;
        PathIndex paths;
        std::vector<uint32_t> exactIds, folderIds;
        for (const std::string& object : objects) {
            files.Add(object);
            pieces.Add(object);
            exactIds.push_back(paths.AddExact(object));
            folderIds.push_back(paths.AddFolder(object));
        }
        ASSERT_TRUE(pieces.Build());
        std::vector<std::vector<uint32_t>> fileFinds(objects.size()), pieceFinds(objects.size());
        for (uint32_t r = 0; r < rows.size(); ++r) {
            files.Match(rows[r], [&](uint32_t id) { fileFinds[id].push_back(r); });
            pieces.FindIn(rows[r], [&](uint32_t id) { pieceFinds[id].push_back(r); });
            paths.Match(r, rows[r]);
        }
        for (size_t id = 0; id < objects.size(); ++id) {
            const std::string& object = objects[id];
            std::vector<uint32_t> fileRows, pieceRows;
            std::optional<uint32_t> exact, folder;
            for (uint32_t r = 0; r < rows.size(); ++r) {
                if (FilePatternMatchesPath(object, rows[r]))
                    fileRows.push_back(r);
                if (ContainsPiece(rows[r], object))
                    pieceRows.push_back(r);
                if (!exact && rows[r] == object)
                    exact = r;
                if (!folder && IsFolderOrBelow(rows[r], object))
                    folder = r;
            }
            EXPECT_EQ(fileFinds[id], fileRows) << "seed " << seed << " pattern " << object;
            EXPECT_EQ(pieceFinds[id], pieceRows) << "seed " << seed << " piece " << object;
            EXPECT_EQ(paths.FirstExact(exactIds[id]), exact) << "seed " << seed << " path " << object;
            EXPECT_EQ(paths.FirstInFolder(folderIds[id]), folder) << "seed " << seed << " folder " << object;
        }

        IgnoreIndex ignore(std::vector<std::string>(rows.begin(), rows.begin() + 60));
        for (const std::string& object : objects) {
            bool plain = false;
            for (int i = 0; i < 60; ++i)
                plain = plain || rows[i].find(object) != std::string::npos;
            EXPECT_EQ(ignore.Contains(object), plain) << "seed " << seed << " object " << object;
        }
    }
}

}  // namespace
}  // namespace pellora
