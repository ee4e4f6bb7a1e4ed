#include "win32/file_system_win.h"

#include <gtest/gtest.h>

#include <winioctl.h>

#include <algorithm>

#include "external_test_support.h"
#include "win32/encoding_win.h"

namespace pellora::win32 {
namespace {

using pellora::testing::FileExists;
using pellora::testing::ScratchFolder;

std::vector<std::string> Names(const std::vector<FindEntry>& entries) {
    std::vector<std::string> names;
    for (const FindEntry& entry : entries)
        names.push_back(entry.name);
    std::sort(names.begin(), names.end());
    return names;
}

class FileSystemWinTest : public ::testing::Test {
  protected:
    ScratchFolder scratch{"files"};
    FileSystemWin files;
};

TEST_F(FileSystemWinTest, FindsEntriesWithAttributesAndSizesButNotTheDotEntries) {
    ASSERT_TRUE(files.WriteFileAtomic(scratch / "a.txt", "12345"));
    ASSERT_TRUE(files.WriteFileAtomic(scratch / "secret.txt", ""));
    ASSERT_TRUE(files.SetAttributes(scratch / "secret.txt", file_attr::kHidden));
    ASSERT_TRUE(files.CreateDirectory(scratch / "sub folder"));
    ASSERT_TRUE(files.WriteFileAtomic(scratch / "b.log", "x"));

    std::vector<FindEntry> all;
    ASSERT_TRUE(files.FindEntries(scratch / "*", all));
    EXPECT_EQ(Names(all), (std::vector<std::string>{"a.txt", "b.log", "secret.txt", "sub folder"}));
    for (const FindEntry& entry : all) {
        EXPECT_NE(entry.lastWriteTime, 0u) << entry.name;
        if (entry.name == "a.txt") {
            EXPECT_EQ(entry.size, 5u);
        } else if (entry.name == "secret.txt") {
            EXPECT_TRUE(entry.attributes & file_attr::kHidden);
        } else if (entry.name == "sub folder") {
            EXPECT_TRUE(entry.attributes & file_attr::kDirectory);
        }
    }

    std::vector<FindEntry> texts;
    ASSERT_TRUE(files.FindEntries(scratch / "*.txt", texts));
    EXPECT_EQ(Names(texts), (std::vector<std::string>{"a.txt", "secret.txt"}));

    std::vector<FindEntry> none;
    EXPECT_TRUE(files.FindEntries(scratch / "*.none", none));
    EXPECT_TRUE(none.empty());
    EXPECT_FALSE(files.FindEntries(scratch / "missing\\*", none));
    EXPECT_TRUE(none.empty());
}

TEST_F(FileSystemWinTest, ListingAFolderThroughItsHandleGivesWhatFindGivesAndItsFinalPath) {
    // The system folder holds more entries than one read of the folder returns.
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    for (const std::string& folder : {Narrow(system), scratch.path()}) {
        std::vector<FindEntry> found, listed;
        ASSERT_TRUE(files.FindEntries(folder + "\\*", found));
        std::optional<std::string> finalPath;
        ASSERT_TRUE(files.ListFolder(folder, listed, finalPath));
        EXPECT_EQ(Names(listed), Names(found)) << folder;
        ASSERT_TRUE(finalPath) << folder;
        EXPECT_EQ(finalPath, files.Identify(folder)->finalPath);
    }
    std::vector<FindEntry> none;
    std::optional<std::string> finalPath;
    EXPECT_FALSE(files.ListFolder(scratch / "missing", none, finalPath));
}

TEST_F(FileSystemWinTest, AtomicWriteReplacesAReadOnlyFileAndLeavesNothingBeside) {
    std::string target = scratch / "Settings.stg";
    ASSERT_TRUE(files.WriteFileAtomic(target, "old"));
    ASSERT_TRUE(files.SetAttributes(target, file_attr::kReadOnly));
    std::string bytes("new\r\nline\0with nul", 18);
    ASSERT_TRUE(files.WriteFileAtomic(target, bytes));
    EXPECT_EQ(files.ReadFile(target), bytes);
    std::vector<FindEntry> entries;
    ASSERT_TRUE(files.FindEntries(scratch / "*", entries));
    EXPECT_EQ(Names(entries), std::vector<std::string>{"Settings.stg"});
}

TEST_F(FileSystemWinTest, AFailedAtomicWriteKeepsTheOldStateAndNoTemporaryFile) {
    EXPECT_FALSE(files.WriteFileAtomic(scratch / "missing\\x.txt", "data"));
    ASSERT_TRUE(files.CreateDirectory(scratch / "folder"));
    EXPECT_FALSE(files.WriteFileAtomic(scratch / "folder", "data"));
    // A target in use without sharing cannot be replaced: the old content must survive.
    std::string busy = scratch / "busy.txt";
    ASSERT_TRUE(files.WriteFileAtomic(busy, "old"));
    HANDLE open = CreateFileW(Widen(busy).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(open, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(files.WriteFileAtomic(busy, "new"));
    CloseHandle(open);
    EXPECT_EQ(files.ReadFile(busy), "old");
    std::vector<FindEntry> entries;
    ASSERT_TRUE(files.FindEntries(scratch / "*", entries));
    EXPECT_EQ(Names(entries), (std::vector<std::string>{"busy.txt", "folder"}));
}

TEST_F(FileSystemWinTest, ReadsAppendsMovesAndDeletes) {
    std::string log = scratch / "DavEre.roz";
    EXPECT_FALSE(files.ReadFile(log).has_value());
    ASSERT_TRUE(files.AppendFile(log, "one\r\n"));
    ASSERT_TRUE(files.AppendFile(log, "two\r\n"));
    EXPECT_EQ(files.ReadFile(log), "one\r\ntwo\r\n");

    std::string moved = scratch / "moved.roz";
    ASSERT_TRUE(files.WriteFileAtomic(moved, "to be replaced"));
    ASSERT_TRUE(files.MoveFile(log, moved));
    EXPECT_FALSE(FileExists(log));
    EXPECT_EQ(files.ReadFile(moved), "one\r\ntwo\r\n");

    ASSERT_TRUE(files.CreateDirectory(scratch / "dir"));
    ASSERT_TRUE(files.WriteFileAtomic(scratch / "dir\\inside.txt", "x"));
    EXPECT_FALSE(files.RemoveDirectory(scratch / "dir"));  // not empty
    ASSERT_TRUE(files.SetAttributes(scratch / "dir\\inside.txt", file_attr::kReadOnly | file_attr::kHidden));
    EXPECT_FALSE(files.DeleteFile(scratch / "dir\\inside.txt"));
    ASSERT_TRUE(files.SetAttributes(scratch / "dir\\inside.txt", file_attr::kNormal));
    EXPECT_TRUE(files.DeleteFile(scratch / "dir\\inside.txt"));
    EXPECT_TRUE(files.RemoveDirectory(scratch / "dir"));
    EXPECT_FALSE(files.GetAttributes(scratch / "dir").has_value());
}

// A file longer than the limit is not read at all; one at the limit is read whole. And whether a
// file is there is Absent only when Windows says there is no such file.
TEST_F(FileSystemWinTest, ReadsUpToALimitAndProbesPresence) {
    ASSERT_TRUE(files.WriteFileAtomic(scratch / "four.txt", "1234"));
    EXPECT_EQ(files.ReadFileUpTo(scratch / "four.txt", 4), std::optional<std::string>("1234"));
    EXPECT_EQ(files.ReadFileUpTo(scratch / "four.txt", 3), std::nullopt);
    EXPECT_EQ(files.Probe(scratch / "four.txt"), Presence::Present);
    EXPECT_EQ(files.Probe(scratch / "gone.txt"), Presence::Absent);
    EXPECT_EQ(files.Probe(scratch / "no folder\\gone.txt"), Presence::Absent);
}

// Texts too long for one conversion call go in pieces, each cut between two characters.
TEST(EncodingWin, TextConvertedInPiecesKeepsEveryCharacter) {
    std::string text;
    for (int i = 0; i < 50; ++i)
        text += "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z";  // a, e acute, euro sign, an emoji, z
    const std::wstring whole = ToWide(CP_UTF8, text);
    ASSERT_FALSE(whole.empty());
    for (size_t piece : {1u, 2u, 3u, 5u, 7u}) {
        EXPECT_EQ(ToWide(CP_UTF8, text, piece), whole) << piece;
        EXPECT_EQ(FromWide(CP_UTF8, whole, piece), text) << piece;
    }
}

TEST_F(FileSystemWinTest, HandlesPathsLongerThanTheClassicLimit) {
    std::string path = scratch.path();
    for (int level = 0; path.size() < 300; ++level) {
        path += "\\level " + std::to_string(level) + std::string(20, 'x');
        ASSERT_TRUE(files.CreateDirectory(path)) << path.size();
    }
    std::string file = path + "\\deep.txt";
    ASSERT_TRUE(files.WriteFileAtomic(file, "deep"));
    EXPECT_EQ(files.ReadFile(file), "deep");
    std::vector<FindEntry> entries;
    ASSERT_TRUE(files.FindEntries(path + "\\*", entries));
    EXPECT_EQ(Names(entries), std::vector<std::string>{"deep.txt"});
    EXPECT_TRUE(files.DeleteFile(file));
    EXPECT_TRUE(files.RemoveDirectory(path));
}

// A junction made by hand: mingw's headers lack the reparse buffer of the driver kit.
bool MakeJunction(const std::string& link, const std::string& target) {
    if (!CreateDirectoryW(Widen(link).c_str(), nullptr))
        return false;
    HANDLE handle = CreateFileW(Widen(link).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    std::wstring substitute = L"\\??\\" + Widen(target);
    std::wstring print = Widen(target);
    std::string names = std::string(reinterpret_cast<const char*>(substitute.c_str()), (substitute.size() + 1) * 2) +
                        std::string(reinterpret_cast<const char*>(print.c_str()), (print.size() + 1) * 2);
    auto word = [](size_t v) { return std::string{static_cast<char>(v & 0xff), static_cast<char>(v >> 8)}; };
    std::string data =
        word(0) + word(substitute.size() * 2) + word((substitute.size() + 1) * 2) + word(print.size() * 2) + names;
    DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    std::string buffer = std::string(reinterpret_cast<const char*>(&tag), 4) + word(data.size()) + word(0) + data;
    DWORD returned = 0;
    BOOL made = DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()),
                                nullptr, 0, &returned, nullptr);
    CloseHandle(handle);
    if (!made)
        RemoveDirectoryW(Widen(link).c_str());
    return made;
}

bool IsLink(FileSystemWin& files, const std::string& path) {
    std::optional<uint32_t> attributes = files.GetAttributes(path);
    return attributes && (*attributes & file_attr::kReparsePoint);
}

TEST_F(FileSystemWinTest, RemovingALinkToAFolderLeavesItsTarget) {
    std::string target = scratch / "target";
    ASSERT_TRUE(files.CreateDirectory(target));
    ASSERT_TRUE(files.WriteFileAtomic(target + "\\keep.txt", "keep"));
    std::string link = scratch / "link";
    // Wine 8 reports success for symbolic links without making one, and refuses junctions.
    CreateSymbolicLinkW(Widen(link).c_str(), Widen(target).c_str(),
                        SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    if (!IsLink(files, link) && !(MakeJunction(link, target) && IsLink(files, link))) {
        GTEST_SKIP() << "this system cannot create a link to a folder";
    }
    EXPECT_TRUE(files.RemoveDirectory(link));
    EXPECT_FALSE(FileExists(link));
    EXPECT_EQ(files.ReadFile(target + "\\keep.txt"), "keep");
}

}  // namespace
}  // namespace pellora::win32
