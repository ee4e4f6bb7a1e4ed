#include <gtest/gtest.h>
#include <windows.h>

#include <map>

#include "core/removal/external_commands.h"
#include "external_test_support.h"
#include "win32/processes_win.h"

namespace pellora::win32 {
namespace {

using pellora::testing::FileExists;
using pellora::testing::ScratchFolder;

struct StoredValue {
    DWORD type = 0;
    std::string bytes;
    bool operator==(const StoredValue&) const = default;
};
using Values = std::map<std::wstring, StoredValue>;

std::string WindowsFolder() {
    wchar_t folder[MAX_PATH];
    UINT length = GetWindowsDirectoryW(folder, MAX_PATH);
    return Narrow(std::wstring_view(folder, length));
}

std::string Bytes(const void* data, size_t length) {
    return std::string(static_cast<const char*>(data), length);
}

void Write(HKEY key, const wchar_t* name, DWORD type, const std::string& bytes) {
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
}

std::string Wide(const std::wstring& text) {  // with the terminating NUL, as stored
    return Bytes(text.c_str(), (text.size() + 1) * sizeof(wchar_t));
}

Values ReadAll(const std::wstring& subkey) {
    Values values;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        BYTE data[1024];
        DWORD dataLength = sizeof data;
        DWORD type = 0;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &type, data, &dataLength) != ERROR_SUCCESS)
            break;
        values[std::wstring(name, nameLength)] = StoredValue{type, Bytes(data, dataLength)};
    }
    RegCloseKey(key);
    return values;
}

class RegeditTest : public ::testing::Test {
  protected:
    RegeditTest() {
        HKEY key;
        RegCreateKeyExW(HKEY_CURRENT_USER, (subkey + L"\\Sub Key").c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr);
        Write(key, L"", REG_SZ, Wide(L"default of the subkey"));
        RegCloseKey(key);
        RegOpenKeyExW(HKEY_CURRENT_USER, subkey.c_str(), 0, KEY_WRITE, &key);
        DWORD dword = 0x12345678;
        unsigned long long qword = 0x1122334455667788ull;
        Write(key, L"Display Name", REG_SZ, Wide(L"two words \u00e9t\u00e9"));
        Write(key, L"Path", REG_EXPAND_SZ, Wide(L"%SystemRoot%\\bad toolbar.dll"));
        Write(key, L"Count", REG_DWORD, Bytes(&dword, sizeof dword));
        Write(key, L"Big", REG_QWORD, Bytes(&qword, sizeof qword));
        Write(key, L"Blob", REG_BINARY, std::string("\x00\x01\x02\xff", 4));
        Write(key, L"List", REG_MULTI_SZ, Bytes(L"first\0second one\0", 18 * sizeof(wchar_t)));
        RegCloseKey(key);
    }
    ~RegeditTest() override { RegDeleteTreeW(HKEY_CURRENT_USER, root.c_str()); }

    std::wstring root = L"Software\\Pellora Tests " + std::to_wstring(GetCurrentProcessId());
    std::wstring subkey = root + L"\\Key With Blank";
    std::string keyPath = "HKEY_CURRENT_USER\\" + Narrow(subkey);
    ScratchFolder scratch{"regedit"};
    ProcessesWin processes;
};

TEST_F(RegeditTest, ExportThenImportRestoresAKeyWithABlankInItsName) {
    Values before = ReadAll(subkey);
    Values subBefore = ReadAll(subkey + L"\\Sub Key");
    ASSERT_EQ(before.size(), 6u);

    std::string file = scratch / "export file.reg";
    ASSERT_TRUE(ShellAndWait(processes, RegeditExportCommand(WindowsFolder(), file, keyPath), kHiddenWindow, kRegeditKeyWaitMs) == ShellRun::Finished);
    ASSERT_TRUE(FileExists(file));

    ASSERT_EQ(RegDeleteTreeW(HKEY_CURRENT_USER, subkey.c_str()), ERROR_SUCCESS);
    ASSERT_TRUE(ReadAll(subkey).empty());

    // "/c" is the classic import switch; the key must come back with every value as it was.
    ASSERT_TRUE(ShellAndWait(processes, RegeditImportCommand(WindowsFolder(), file), kHiddenWindow, kRegeditKeyWaitMs) == ShellRun::Finished);
    EXPECT_EQ(ReadAll(subkey), before);
    EXPECT_EQ(ReadAll(subkey + L"\\Sub Key"), subBefore);
}

TEST_F(RegeditTest, ExportOfAMissingKeyWritesNoFile) {
    std::string file = scratch / "missing.reg";
    ASSERT_TRUE(
        ShellAndWait(processes, RegeditExportCommand(WindowsFolder(), file, keyPath + "\\No Such Key"), kHiddenWindow, kRegeditKeyWaitMs) == ShellRun::Finished);
    EXPECT_FALSE(FileExists(file));
}

}  // namespace
}  // namespace pellora::win32
