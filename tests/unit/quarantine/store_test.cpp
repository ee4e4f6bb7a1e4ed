#include <gtest/gtest.h>

#include "core/database/item_parser.h"
#include "core/quarantine/record_format.h"
#include "quarantine_fixture.h"

namespace pellora::testing {
namespace {

TEST(SizeText, UnitBoundariesAndRounding) {
    EXPECT_EQ(SizeText(0), "0 bytes");
    EXPECT_EQ(SizeText(1023), "1023 bytes");
    EXPECT_EQ(SizeText(1024), "1 KB");
    EXPECT_EQ(SizeText(1536), "1.5 KB");
    EXPECT_EQ(SizeText(1088), "1.063 KB");  // 1.0625 rounds half up
    EXPECT_EQ(SizeText(1048575), "1023.999 KB");
    EXPECT_EQ(SizeText(1048576), "1 MB");
    EXPECT_EQ(SizeText(1073741823), "1024 MB");
    EXPECT_EQ(SizeText(1073741824), "1 GB");
    // Sizes beyond a signed 32-bit total keep their value.
    EXPECT_EQ(SizeText(2147483648ull), "2 GB");
    EXPECT_EQ(SizeText(5ull * 1073741824 + 536870912), "5.5 GB");
    EXPECT_EQ(SizeText(1536, ","), "1,5 KB");
}

TEST(QuarantineRecordText, ExtraBarsCutTheSourceLocation) {
    QuarantineRecord extra = ParseRecord("path|10000.qit|C:\\a|b|c");
    EXPECT_EQ(extra.type, "path");
    EXPECT_EQ(extra.storedItem, "10000.qit");
    EXPECT_EQ(extra.source, "C:\\a");
    EXPECT_EQ(ParseRecord("regval").storedItem, "");
}

TEST(QuarantineRecordText, TheSourceFolderIsAFourthFieldThatOlderReadersDrop) {
    FileIdentity folder{"C:\\Users\\Bob\\Stuff", 0xCAFE0001u, 0x12, 0xFFFFFFFFFFFFFFFFull, 0};
    QuarantineRecord record{"file", "10000.qit", "C:\\Users\\Bob\\Stuff\\a.dll", FormatFolderIdentity(folder)};
    std::string text = FormatRecord(record);
    EXPECT_EQ(text,
              "file|10000.qit|C:\\Users\\Bob\\Stuff\\a.dll|CAFE0001:0000000000000012FFFFFFFFFFFFFFFF:"
              "C:\\Users\\Bob\\Stuff");
    std::optional<FileIdentity> back = ParseFolderIdentity(ParseRecord(text).parentIdentity);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->finalPath, folder.finalPath);
    EXPECT_EQ(back->volumeSerial, folder.volumeSerial);
    EXPECT_EQ(back->fileIdHigh, folder.fileIdHigh);
    EXPECT_EQ(back->fileIdLow, folder.fileIdLow);
    // A reader of three fields keeps the source whole.
    std::array<std::string, 3> three;
    EXPECT_FALSE(ParseItem(text, three, "|"));
    EXPECT_EQ(three[2], record.source);
    for (const char* bad :
         {"", "CAFE0001:0000000000000012FFFFFFFFFFFFFFFF:", "CAFE0001-0000000000000012FFFFFFFFFFFFFFFF:C:\\",
          "CAFE000G:0000000000000012FFFFFFFFFFFFFFFF:C:\\", "CAFE0001:12:C:\\"}) {
        EXPECT_FALSE(ParseFolderIdentity(bad)) << bad;
    }
}

TEST(QuarantineRecordText, StoredItemsStayInsideThePackage) {
    EXPECT_TRUE(IsSafeStoredItem("10000.qit", false));
    EXPECT_TRUE(IsSafeStoredItem("Bad", true));
    EXPECT_TRUE(IsSafeStoredItem("10000\\Bad", true));
    EXPECT_FALSE(IsSafeStoredItem("10000\\Bad", false));
    for (const std::string& bad :
         {std::string(), std::string(".."), std::string("..\\..\\Windows"), std::string("C:\\Windows"),
          std::string("\\Windows"), std::string("a\\.."), std::string("a\\b\\c"), std::string("x/y"),
          std::string("a\\"), std::string("...\\x"), std::string(". .\\x"), std::string("a\\.. "),
          std::string("..\0x", 4), std::string("x\0\\..", 5), std::string("a\tb"), std::string("a|b")}) {
        EXPECT_FALSE(IsSafeStoredItem(bad, true)) << bad;
    }
    EXPECT_TRUE(IsRecordName("10000.QNF"));
    EXPECT_FALSE(IsRecordName("10000.qnfx"));
    EXPECT_FALSE(IsRecordName(".qnf"));
}

TEST(SavedValue, ClassicFormsStayAsTheyWere) {
    EXPECT_EQ(EncodeSavedValue({kRegSz, "a|b"}), "String|a|b");
    EXPECT_EQ(EncodeSavedValue({kRegDword, std::string("\xFF\xFF\xFF\xFF", 4)}), "DWORD|-1");
    EXPECT_EQ(DecodeSavedValue("String|C:\\a|b")->data, "C:\\a|b");
    EXPECT_EQ(DecodeSavedValue("DWORD|-1")->data, std::string("\xFF\xFF\xFF\xFF", 4));
}

TEST(SavedValue, EveryTypeComesBackWithItsBytes) {
    const RegValue values[] = {
        {kRegSz, ""},
        {kRegSz, std::string("a\0b", 3)},
        {kRegExpandSz, "%SystemRoot%\\x.dll"},
        {kRegMultiSz, std::string("one\0two\0", 8)},
        {kRegBinary, std::string("\x00\x01\xFE\xFF", 4)},
        {kRegQword, std::string("\x01\x02\x03\x04\x05\x06\x07\x88", 8)},
        {kRegDword, std::string("\x01\x02", 2)},
        {kRegNone, "raw"},
    };
    for (const RegValue& value : values) {
        std::string saved = EncodeSavedValue(value);
        auto back = DecodeSavedValue(saved);
        ASSERT_TRUE(back) << saved;
        EXPECT_EQ(back->type, value.type) << saved;
        EXPECT_EQ(back->data, value.data) << saved;
    }
    EXPECT_EQ(EncodeSavedValue({kRegQword, std::string("\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF", 8)}),
              "QWORD|18446744073709551615");
    EXPECT_EQ(EncodeSavedValue({kRegBinary, "\x01\xAB"}), "Binary|01AB");
}

TEST(SavedValue, DamagedTextsAreRefused) {
    for (const char* bad : {"", "String", "DWORD|", "DWORD|12x", "DWORD|4294967296", "DWORD|+-1", "Binary|0",
                            "Binary|zz", "QWORD|-1", "Hex(x)|00", "Number|5"}) {
        EXPECT_FALSE(DecodeSavedValue(bad)) << bad;
    }
}

TEST_F(QuarantineTest, NumbersStartAt10000AndSkipRecordsAlreadyThere) {
    ASSERT_TRUE(quarantine.store().EnsureCurrentPackage());
    EXPECT_EQ(quarantine.store().AllocateNumber(), 10000);
    // The counter stays on the number until its record exists.
    EXPECT_EQ(quarantine.store().AllocateNumber(), 10000);
    p.files.AddFile(InPackage("10000.qnf"), "x");
    p.files.AddFile(InPackage("10001.qnf"), "x");
    p.files.AddFolder(InPackage("10002"));  // a folder copy's place
    p.files.AddFile(InPackage("10003.qit"), "orphan payload");
    EXPECT_EQ(quarantine.store().AllocateNumber(), 10003);

    // A new scan: new package, counter back at 10000.
    state.scanStamp = "7-12-2026-10-0-0";
    state.quarantineCounter = kFirstQuarantineNumber;
    ASSERT_TRUE(quarantine.store().EnsureCurrentPackage());
    EXPECT_EQ(quarantine.store().AllocateNumber(), 10000);

    state.quarantineCounter = INT16_MAX;
    p.files.AddFile("C:\\Pellora\\Quarantine\\7-12-2026-10-0-0\\32767.qnf", "x");
    EXPECT_FALSE(quarantine.store().AllocateNumber());
}

TEST_F(QuarantineTest, NoPackageBeforeTheFirstScan) {
    state.scanStamp.clear();
    EXPECT_FALSE(quarantine.store().EnsureCurrentPackage());
    AddRow("file", "C:\\x.exe");
    p.files.AddFile("C:\\x.exe", "MZ");
    EXPECT_FALSE(quarantine.QuarantineResultRow(state.lstScanResult[0]));
    EXPECT_TRUE(p.files.Tree("C:\\Pellora\\Quarantine").empty());
}

TEST_F(QuarantineTest, LinesAreWrittenAndReadByteExact) {
    ASSERT_TRUE(quarantine.store().EnsureCurrentPackage());
    QuarantineStore& store = quarantine.store();
    ASSERT_TRUE(store.SaveLineToFile("10000.qnf", "path|10000.qit|C:\\a very long path\\file.exe"));
    ASSERT_TRUE(store.SaveLineToFile("10000.qnf", "file|10000.qit|C:\\Caf\xC3\xA9.exe"));
    // ANSI bytes, no terminator, nothing left of the longer text.
    EXPECT_EQ(p.files.Content(InPackage("10000.qnf")), "file|10000.qit|C:\\Caf\xE9.exe");
    std::string back = "unchanged";
    ASSERT_TRUE(store.LoadLineFromFile("6-12-2026-9-5-7\\10000.qnf", back));
    EXPECT_EQ(back, "file|10000.qit|C:\\Caf\xC3\xA9.exe");

    // A name the code page cannot hold goes as UTF-8 behind a byte-order mark and comes back.
    const std::string cyrillic = "file|10001.qit|C:\\\xD0\x96.exe";
    ASSERT_TRUE(store.SaveLineToFile("10001.qnf", cyrillic));
    EXPECT_EQ(p.files.Content(InPackage("10001.qnf")), "\xEF\xBB\xBF" + cyrillic);
    ASSERT_TRUE(store.LoadLineFromFile("6-12-2026-9-5-7\\10001.qnf", back));
    EXPECT_EQ(back, cyrillic);

    // A missing file leaves the text alone and is not created.
    EXPECT_FALSE(store.LoadLineFromFile("6-12-2026-9-5-7\\10009.qit", back));
    EXPECT_EQ(back, cyrillic);
    // A record longer than any record can be is not read (and a value may be longer).
    p.files.AddFile(InPackage("10002.qnf"), "path|10002.qit|C:\\" + std::string(kMaxRecordLength, 'x'));
    EXPECT_FALSE(store.LoadLineFromFile("6-12-2026-9-5-7\\10002.qnf", back));
    EXPECT_EQ(back, cyrillic);
    EXPECT_TRUE(store.LoadLineFromFile("6-12-2026-9-5-7\\10002.qnf", back, kMaxStoredValueLength));
    EXPECT_FALSE(p.files.Exists(InPackage("10009.qit")));
    EXPECT_EQ(store.TempExportFile(), "C:\\Pellora\\Registry Exports\\Temp.reg");
}

}  // namespace
}  // namespace pellora::testing
