// The event log renders Pellora's events from the message table in the executables: every id
// the core reports is in both Pellora.exe and pellora-cli.exe, and FormatMessageW puts each of
// its inserts in place (what Event Viewer and event forwarding do with the source's file).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/ports/event_log.h"

namespace pellora {
namespace {

// The staged application folder beside this test program's build folder.
std::wstring AppFile(const wchar_t* name) {
    wchar_t self[MAX_PATH * 4];
    DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
    std::wstring path(self, length);
    return path.substr(0, path.rfind(L'\\')) + L"\\app\\" + name;
}

std::wstring Render(HMODULE module, uint32_t id, const std::vector<std::wstring>& inserts) {
    std::vector<DWORD_PTR> arguments;
    for (const std::wstring& insert : inserts)
        arguments.push_back(reinterpret_cast<DWORD_PTR>(insert.c_str()));
    wchar_t* text = nullptr;
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_ARGUMENT_ARRAY,
                       module, id, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), reinterpret_cast<LPWSTR>(&text), 0,
                       reinterpret_cast<va_list*>(arguments.data()));
    if (length == 0)
        return L"";
    std::wstring rendered(text, length);
    LocalFree(text);
    return rendered;
}

TEST(EventMessagesTest, EveryEventRendersWithItsInsertsFromBothExecutables) {
    const struct {
        uint32_t id;
        size_t inserts;
    } events[] = {
        {event_id::kScanFinished, 3},     {event_id::kObjectRemoved, 2},
        {event_id::kObjectNotRemoved, 2}, {event_id::kObjectQuarantined, 2},
        {event_id::kUpdateInstalled, 3},  {event_id::kUpdateRefused, 2},
        {event_id::kProtectionOn, 1},     {event_id::kProtectionOff, 1},
        {event_id::kFolderWritable, 1},   {event_id::kDatabaseSignatureFailed, 1},
        {event_id::kDatabaseDamaged, 1},
    };
    for (const wchar_t* program : {L"Pellora.exe", L"pellora-cli.exe"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(program, program + wcslen(program))));
        HMODULE module = LoadLibraryExW(AppFile(program).c_str(), nullptr,
                                        LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr) << GetLastError();
        for (const auto& event : events) {
            SCOPED_TRACE(event.id);
            std::vector<std::wstring> inserts;
            for (size_t i = 1; i <= event.inserts; ++i)
                inserts.push_back(L"<insert " + std::to_wstring(i) + L" \x0416>");
            const std::wstring text = Render(module, event.id, inserts);
            ASSERT_FALSE(text.empty()) << "no message " << event.id << ": " << GetLastError();
            EXPECT_EQ(text.rfind(L"Pellora ", 0), 0u);
            for (const std::wstring& insert : inserts)
                EXPECT_NE(text.find(insert), std::wstring::npos) << std::string(text.begin(), text.end());
            EXPECT_EQ(text.find(L'%'), std::wstring::npos) << "an insert left unfilled";
        }
        EXPECT_EQ(Render(module, event_id::kScanFinished, {L"custom", L"31000", L"2"}),
                  L"Pellora finished a scan. Mode: custom. Database objects compared: 31000. Objects found: 2.\r\n");
        // An id the core does not report has no text.
        EXPECT_EQ(Render(module, 999, {}), L"");
        FreeLibrary(module);
    }
}

}  // namespace
}  // namespace pellora
