// The startup inventory's dialog in-process over the fakes: it opens from the status panel,
// builds the inventory with its progress, lists flagged entries first, puts a checked entry on
// the ignore list once and hands checked Run values to the results panel for the removal run.
#include "gui_fixture.h"

#include "core/inventory/inventory.h"
#include "gui/dialog_inventory.h"

namespace pellora::gui::testing {
namespace {

constexpr const char* kUserRun = R"(HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run)";

class InventoryDialogTest : public MainWindowTest {
  protected:
    InventoryDialogTest() {
        state.appFolder = R"(C:\Pellora)";
        fake.files.AddFolder(R"(C:\Pellora)");
        fake.files.AddFile(R"(C:\Program Files\Vendor\vendor.exe)", "MZ");
        trust.Sign(R"(C:\Program Files\Vendor\vendor.exe)", TrustStatus::Signed, "Vendor Ltd");
        fake.registry.AddString(kUserRun, "Vendor", R"("C:\Program Files\Vendor\vendor.exe")");
        fake.files.AddFile(R"(C:\Users\Public\tool\tool.exe)", "MZ");
        fake.files.accessEntries[R"(C:\Users\Public\tool)"] = {{true, "S-1-1-0", 0x1f01ff, false}};
        fake.registry.AddString(kUserRun, "Tool", R"(C:\Users\Public\tool\tool.exe)");
    }
    ~InventoryDialogTest() override { DialogBase::onShown = nullptr; }

    // Serves the dialog's messages until its inventory is listed (a minute at most).
    static bool WaitForEntries(InventoryDialog& dialog) {
        const ULONGLONG deadline = GetTickCount64() + 60000;
        while (GetTickCount64() < deadline) {
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
                if (!IsDialogMessageW(dialog.hwnd(), &message)) {
                    TranslateMessage(&message);
                    DispatchMessageW(&message);
                }
            }
            if (!dialog.building() && !dialog.entries().empty())
                return true;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        }
        return false;
    }
};

TEST_F(InventoryDialogTest, ListsFlaggedFirstIgnoresOnceAndStagesRunValuesForRemoval) {
    const int shown = OpenDialog(Panel::Status, kIdCmdInventory, [&](DialogBase& base) {
        auto& dialog = dynamic_cast<InventoryDialog&>(base);
        ASSERT_TRUE(WaitForEntries(dialog));
        const auto& entries = dialog.entries();
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(entries[0].name, "Tool");
        EXPECT_EQ(entries[0].flags, inventory::flag::kUnsigned | inventory::flag::kUserWritable);
        EXPECT_EQ(entries[1].signer, "Vendor Ltd");
        HWND list = dialog.Control(kIdLstInventory);
        EXPECT_EQ(ListView_GetItemCount(list), 2);
        wchar_t text[64] = {};
        ListView_GetItemText(list, 0, 4, text, 64);
        EXPECT_STREQ(text, L"unsigned, user-writable");
        EXPECT_TRUE(IsWindowEnabled(dialog.Control(kIdCmdInventoryRemove)));
        Screenshot("inventory-dialog", dialog.hwnd());

        dialog.checks()[0] = true;
        SendMessageW(dialog.hwnd(), WM_COMMAND, MAKEWPARAM(kIdCmdInventoryIgnore, BN_CLICKED),
                     reinterpret_cast<LPARAM>(dialog.Control(kIdCmdInventoryIgnore)));
        ASSERT_EQ(state.lstIgnoreListFile.size(), 1u);
        EXPECT_EQ(state.lstIgnoreListFile[0].rfind("autostart|", 0), 0u);
        EXPECT_TRUE(dialog.entries()[0].flags & inventory::flag::kIgnored);
        dialog.checks()[0] = true;
        SendMessageW(dialog.hwnd(), WM_COMMAND, MAKEWPARAM(kIdCmdInventoryIgnore, BN_CLICKED),
                     reinterpret_cast<LPARAM>(dialog.Control(kIdCmdInventoryIgnore)));
        EXPECT_EQ(state.lstIgnoreListFile.size(), 1u);

        dialog.checks().assign(dialog.entries().size(), true);
        SendMessageW(dialog.hwnd(), WM_COMMAND, MAKEWPARAM(kIdCmdInventoryRemove, BN_CLICKED),
                     reinterpret_cast<LPARAM>(dialog.Control(kIdCmdInventoryRemove)));
    });
    EXPECT_EQ(shown, 1);
    Settle();
    ASSERT_EQ(state.lstScanResult.size(), 2u);
    EXPECT_EQ(state.lstScanResult[0].type, "regval");
    EXPECT_EQ(state.lstScanResult[0].object, std::string(kUserRun) + ",Tool");
    EXPECT_TRUE(state.lstScanResult[0].checked);
    EXPECT_TRUE(IsShown(Panel::ScanResult));
    EXPECT_EQ(ListCount(Panel::ScanResult), 2u);
}

}  // namespace
}  // namespace pellora::gui::testing
