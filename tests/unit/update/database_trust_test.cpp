// What makes bytes a database Pellora may use: the serial line, the trusted keys of the Keys
// folder, and the check that a download unlocks to a database.
#include "database_update_fixture.h"

namespace pellora {
namespace {

using namespace update_testing;

TEST(UpdateChecks, ReadsTheSerialLineAfterTheVersionLine) {
    EXPECT_EQ(SerialOfLine("@serial 42"), 42u);
    EXPECT_EQ(SerialOfLine("@serial\t 18446744073709551 "), 18446744073709551u);
    EXPECT_EQ(SerialOfLine("@serial 00099999999999999999"), std::nullopt);  // 19 digits at most
    EXPECT_EQ(SerialOfLine("@serial 9999999999999999999"), 9999999999999999999u);
    EXPECT_EQ(SerialOfLine("file|a.exe|Cat|"), 0u);
    EXPECT_EQ(SerialOfLine("@other 5"), 0u);
    EXPECT_EQ(SerialOfLine("@serial"), std::nullopt);
    EXPECT_EQ(SerialOfLine("@serial5"), std::nullopt);
    EXPECT_EQ(SerialOfLine("@serial -5"), std::nullopt);
    EXPECT_EQ(SerialOfLine("@serial 5 6"), std::nullopt);
    EXPECT_EQ(DatabaseSerial(MakeDatabase(300, "Version 7", 31)), 31u);
    EXPECT_EQ(DatabaseSerial(MakeDatabase(300, "Version 7", std::nullopt)), 0u);
    EXPECT_EQ(DatabaseSerial(""), 0u);
    // Only line 2 counts: a serial line further down is a reserved line like any other.
    EXPECT_EQ(DatabaseSerial(*LockText("V", kDatabaseKey) + "\n" + *LockText("# c", kDatabaseKey) + "\n" +
                             *LockText("@serial 9", kDatabaseKey) + "\n"),
              0u);
    EXPECT_EQ(DatabaseSerial(*LockText("V", kDatabaseKey) + "\n" + *LockText("@serial 9", kDatabaseKey)), 9u);
}

class ShortNameMatching : public fakes::FakeFileSystem {
  public:
    bool FindEntries(const std::string& pattern, std::vector<FindEntry>& out) override {
        if (!EndsWith(pattern, "\\*.pem"))
            return FakeFileSystem::FindEntries(pattern, out);
        std::vector<FindEntry> all;
        if (!FakeFileSystem::FindEntries(pattern.substr(0, pattern.size() - 5) + "*", all))
            return false;
        for (const FindEntry& entry : all) {
            const std::string lower = ToLowerAscii(entry.name);
            // The short name's extension is the first three characters after the last dot.
            const size_t dot = lower.rfind('.');
            if (dot != std::string::npos && lower.compare(dot, 4, ".pem") == 0)
                out.push_back(entry);
        }
        return true;
    }
};

TEST(UpdateChecks, TrustsOnlyKeysWhoseLongNameEndsInPem) {
    ShortNameMatching files;
    files.AddFile("C:\\Pellora\\Keys\\current.PEM", fakes::PublicKeyPem(Key('c')));
    files.AddFile("C:\\Pellora\\Keys\\old.pem_retired", fakes::PublicKeyPem(Key('o')));
    files.AddFile("C:\\Pellora\\Keys\\old.pemx", fakes::PublicKeyPem(Key('x')));
    files.AddFolder("C:\\Pellora\\Keys\\folder.pem");
    std::vector<FindEntry> found;
    ASSERT_TRUE(files.FindEntries("C:\\Pellora\\Keys\\*.pem", found));
    ASSERT_EQ(found.size(), 4u);  // what Windows hands back for the pattern
    const std::vector<TrustedKey> keys = LoadTrustedKeys(files, "C:\\Pellora\\Keys");
    ASSERT_EQ(keys.size(), 1u);
    EXPECT_EQ(keys[0].name, "current.PEM");
    EXPECT_EQ(keys[0].publicKey, Key('c'));
}

TEST(UpdateChecks, KnowsADatabaseWhenItUnlocksOne) {
    std::string version;
    EXPECT_TRUE(UnlocksToDatabase(MakeDatabase(300, "Version 7"), &version));
    EXPECT_EQ(version, "Version 7");
    auto lock = [](const std::string& plain) {
        std::string out;
        for (const std::string& line : SplitTextLines(plain, false))
            out += *LockText(line, kDatabaseKey) + "\r\n";
        return out;
    };
    EXPECT_FALSE(UnlocksToDatabase(lock("Version 7\r\n# only a comment\r\n")));
    EXPECT_FALSE(UnlocksToDatabase(lock("\r\nfile|a.exe|Cat|\r\n")));
    EXPECT_FALSE(UnlocksToDatabase(lock("Version 7\r\nfile|a.exe||\r\n")));
    EXPECT_FALSE(UnlocksToDatabase(lock("Version 7\r\nwhat|a.exe|Cat|\r\n")));
    EXPECT_TRUE(UnlocksToDatabase(lock("Version 7\r\nregkey|HKEY_CURRENT_USER\\Software\\X|Cat|\r\n")));
    EXPECT_FALSE(UnlocksToDatabase(""));
    EXPECT_EQ(FormatGrouped(0, ","), "");
    EXPECT_EQ(FormatGrouped(999, ","), "999");
    EXPECT_EQ(FormatGrouped(1000, "\xC2\xA0"),
              "1\xC2\xA0"
              "000");
    EXPECT_EQ(FormatGrouped(12345678, ","), "12,345,678");
}

}  // namespace
}  // namespace pellora
