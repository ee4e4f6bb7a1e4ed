// The five option dialogs in-process: each opens from its command with its title and lines, OK
// stores and Cancel discards, the up-down limits, the number check that keeps the dialog open,
// and the folder dialog's keys, drives and duplicates. A test acts inside the dialog's modal
// loop through DialogBase::onShown.
#include "gui_fixture.h"

#include "core/settings/settings_editor.h"
#include "core/util/text.h"
#include "gui/dialog_add_dir.h"
#include "gui/dialog_custom_scan.h"
#include "gui/dialog_home_page.h"
#include "gui/dialog_number.h"

namespace pellora::gui::testing {
namespace {

using Lines = std::vector<std::string>;

class DialogTest : public MainWindowTest {
  protected:
    DialogTest() {
        state.lstSettingsFile = {"0", "0", "0", "1", "0", "0", "http://home.example/", "My Browser", "30", "0", "10"};
        state.lstCustomScanSettings = {"0", "1", "1", "0", "0", "0", "1"};
    }
    ~DialogTest() override { DialogBase::onShown = nullptr; }
    int Open(Panel panel, int id, const std::function<void(DialogBase&)>& inside) {
        return OpenDialog(panel, id, inside);
    }
};

// Serves the messages of a dialog as its own modal loop would (keyboard through the dialog
// manager).
void PumpDialog(HWND dialog) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (IsDialogMessageW(dialog, &message))
            continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void PressKey(HWND dialog, HWND control, WPARAM key) {
    SetFocus(control);
    PostMessageW(control, WM_KEYDOWN, key, 1);
    PostMessageW(control, WM_KEYUP, key, 0xC0000001);
    PumpDialog(dialog);
}

void SetText(HWND control, const wchar_t* text) {
    SetWindowTextW(control, text);
}

std::wstring TitleOf(DialogBase& dialog) {
    return GetText(dialog.hwnd());
}

void PressOk(DialogBase& dialog) {
    SendMessageW(dialog.hwnd(), WM_COMMAND, IDOK, 0);
}

TEST_F(DialogTest, EveryDialogOpensFromItsCommandWithItsTitleAndLines) {
    EXPECT_EQ(Open(Panel::Settings, kIdCmdHomepageProtectSett,
                   [&](DialogBase& d) {
                       EXPECT_EQ(TitleOf(d), L"Home Page Protector Info");
                       EXPECT_EQ(GetText(d.Control(HomePageDialog::kIdTxtIEHomePage)), L"http://home.example/");
                       EXPECT_EQ(GetText(d.Control(HomePageDialog::kIdTxtIETitle)), L"My Browser");
                   }),
              1);
    EXPECT_EQ(Open(Panel::Settings, kIdCmdActiveProtectionSett,
                   [&](DialogBase& d) {
                       EXPECT_EQ(TitleOf(d), L"Active Protection Info");
                       EXPECT_EQ(GetText(d.Control(NumberDialog::kIdTxtInterval)), L"30");
                   }),
              1);
    EXPECT_EQ(Open(Panel::Settings, kIdCmdAdvancedRegBackup,
                   [&](DialogBase& d) {
                       EXPECT_EQ(TitleOf(d), L"Registry Backup Options");
                       EXPECT_EQ(GetText(d.Control(NumberDialog::kIdTxtInterval)), L"10");
                   }),
              1);
    EXPECT_EQ(Open(Panel::ScanPrep, kIdCmdCustomizeScan,
                   [&](DialogBase& d) {
                       EXPECT_EQ(TitleOf(d), L"Custom Scan Settings");
                       for (int i = 0; i < 7; ++i) {
                           const bool on = state.lstCustomScanSettings[i] == "1";
                           EXPECT_EQ(SendMessageW(d.Control(CustomScanDialog::kIdChkCustomScanSettings0 + i),
                                                  BM_GETCHECK, 0, 0),
                                     on ? BST_CHECKED : BST_UNCHECKED);
                       }
                       // A file from before the contents line has none: the box reads as on.
                       EXPECT_EQ(SendMessageW(d.Control(CustomScanDialog::kIdChkCustomScanSettings0 + 7),
                                              BM_GETCHECK, 0, 0),
                                 BST_CHECKED);
                   }),
              1);
    state.lstSelectedFolders = {"C:\\windows", "C:\\users"};
    EXPECT_EQ(Open(Panel::ScanPrep, kIdCmdSelectDrvFolderScan,
                   [&](DialogBase& d) {
                       EXPECT_EQ(TitleOf(d), L"Custom Drive/Folder Select");
                       HWND list = d.Control(AddDirDialog::kIdLstSelectedFolders);
                       ASSERT_EQ(SendMessageW(list, LB_GETCOUNT, 0, 0), 2);
                       wchar_t first[MAX_PATH] = {};
                       SendMessageW(list, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(first));
                       EXPECT_STREQ(first, L"C:\\users");  // sorted
                       EXPECT_EQ(static_cast<AddDirDialog&>(d).MarkedFolder(), L"C:\\");
                   }),
              1);
    // Cancel (all of the above) stored nothing.
    EXPECT_EQ(state.lstSettingsFile[6], "http://home.example/");
    EXPECT_EQ(state.lstSelectedFolders, (Lines{"C:\\windows", "C:\\users"}));
}

TEST_F(DialogTest, HomePageOkStoresTheFieldsAsTypedAndCancelDiscards) {
    Open(Panel::Settings, kIdCmdHomepageProtectSett, [&](DialogBase& d) {
        SetText(d.Control(HomePageDialog::kIdTxtIEHomePage), L"http://typed.example/");
        SendMessageW(d.Control(IDCANCEL), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(state.lstSettingsFile[6], "http://home.example/");
    Open(Panel::Settings, kIdCmdHomepageProtectSett, [&](DialogBase& d) {
        SendMessageW(d.Control(HomePageDialog::kIdCmdUseBlank), BM_CLICK, 0, 0);
        EXPECT_EQ(GetText(d.Control(HomePageDialog::kIdTxtIEHomePage)), L"about:blank");
        EXPECT_EQ(GetText(d.Control(HomePageDialog::kIdTxtIETitle)), L"Microsoft Internet Explorer");
        SetText(d.Control(HomePageDialog::kIdTxtIETitle), L" Any title ");
        SendMessageW(d.Control(IDOK), BM_CLICK, 0, 0);
        EXPECT_FALSE(IsWindow(d.hwnd()) && IsWindowVisible(d.hwnd()));
    });
    EXPECT_EQ(state.lstSettingsFile[6], "about:blank");
    EXPECT_EQ(state.lstSettingsFile[7], " Any title ");
}

TEST_F(DialogTest, UpDownStopsAtItsLimitsAndTextThenUpGivesOne) {
    struct Case {
        int command;
        const wchar_t* start;
        bool up;
        const wchar_t* afterThree;
    };
    const Case cases[] = {
        {kIdCmdAdvancedRegBackup, L"98", true, L"99"},
        {kIdCmdAdvancedRegBackup, L"1", false, L"0"},
        {kIdCmdActiveProtectionSett, L"89999", true, L"90000"},
        {kIdCmdActiveProtectionSett, L"2", false, L"0"},
    };
    for (const Case& c : cases) {
        Open(Panel::Settings, c.command, [&](DialogBase& d) {
            auto& dialog = static_cast<NumberDialog&>(d);
            HWND field = d.Control(NumberDialog::kIdTxtInterval);
            SetText(field, c.start);
            for (int i = 0; i < 3; ++i)
                dialog.Step(c.up);
            EXPECT_EQ(GetText(field), c.afterThree) << c.start;
        });
    }
    // The real control: the arrow key in the field goes through the up-down's notification.
    Open(Panel::Settings, kIdCmdAdvancedRegBackup, [&](DialogBase& d) {
        HWND field = d.Control(NumberDialog::kIdTxtInterval);
        SetText(field, L"text");
        PressKey(d.hwnd(), field, VK_UP);
        EXPECT_EQ(GetText(field), L"1");
        PressKey(d.hwnd(), field, VK_DOWN);
        EXPECT_EQ(GetText(field), L"0");
    });
    EXPECT_EQ(state.lstSettingsFile[10], "10");
}

TEST_F(DialogTest, NumberOkRefusesAnythingButAWholeNumberInRangeAndStaysOpen) {
    for (const wchar_t* bad : {L"abc", L"100", L"-1", L"", L"1.5"}) {
        messages.clear();
        Open(Panel::Settings, kIdCmdAdvancedRegBackup, [&](DialogBase& d) {
            SetText(d.Control(NumberDialog::kIdTxtInterval), bad);
            PressOk(d);
            EXPECT_TRUE(IsWindowVisible(d.hwnd())) << U(bad);
        });
        ASSERT_EQ(messages.size(), 1u) << U(bad);
        EXPECT_EQ(messages[0].text, NumberRangeMessage(kBackupsField));
        EXPECT_EQ(messages[0].icon, MsgIcon::Error);
    }
    EXPECT_EQ(state.lstSettingsFile[10], "10");
    messages.clear();
    Open(Panel::Settings, kIdCmdActiveProtectionSett, [&](DialogBase& d) {
        SetText(d.Control(NumberDialog::kIdTxtInterval), L"90000");
        PressOk(d);
    });
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(state.lstSettingsFile[8], "90000");
}

TEST_F(DialogTest, CustomScanOkRebuildsTheEightLinesAndAppliesTheSettings) {
    state.lstCustomScanSettings = {"0", "1"};  // short list from a damaged file
    state.lstSettingsFile[9] = "1";            // applied by the dialog's OK
    Open(Panel::ScanPrep, kIdCmdCustomizeScan, [&](DialogBase& d) {
        SendMessageW(d.Control(CustomScanDialog::kIdChkCustomScanSettings0), BM_CLICK, 0, 0);
        SendMessageW(d.Control(CustomScanDialog::kIdChkCustomScanSettings0 + 5), BM_CLICK, 0, 0);
        SendMessageW(d.Control(IDCANCEL), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(state.lstCustomScanSettings, (Lines{"0", "1"}));
    EXPECT_EQ(state.scanMode, 0);
    Open(Panel::ScanPrep, kIdCmdCustomizeScan, [&](DialogBase& d) {
        SendMessageW(d.Control(CustomScanDialog::kIdChkCustomScanSettings0), BM_CLICK, 0, 0);
        SendMessageW(d.Control(CustomScanDialog::kIdChkCustomScanSettings0 + 5), BM_CLICK, 0, 0);
        PressKey(d.hwnd(), d.Control(CustomScanDialog::kIdChkCustomScanSettings0 + 6), VK_RETURN);  // Enter = OK
    });
    EXPECT_EQ(state.lstCustomScanSettings, (Lines{"1", "1", "0", "0", "0", "1", "0", "1"}));
    EXPECT_EQ(state.scanMode, 1);
    EXPECT_EQ(SendMessageW(window.panel(Panel::ScanPrep)->Control(kIdOptScanMode1), BM_GETCHECK, 0, 0), BST_CHECKED);
}

TEST_F(DialogTest, FolderDialogBrowsesTheDiskAndKeepsAFolderAddedTwiceOnce) {
    Open(Panel::ScanPrep, kIdCmdSelectDrvFolderScan, [&](DialogBase& d) {
        auto& dialog = static_cast<AddDirDialog&>(d);
        HWND tree = d.Control(AddDirDialog::kIdDirList);
        ASSERT_TRUE(dialog.MarkFolder(L"C:\\windows\\system32"));
        EXPECT_EQ(ToLowerAscii(U(dialog.MarkedFolder())), "c:\\windows\\system32");
        SendMessageW(d.Control(AddDirDialog::kIdCmdAdd), BM_CLICK, 0, 0);
        PressKey(d.hwnd(), tree, VK_RETURN);  // Enter in the tree adds too, and keeps the dialog
        ASSERT_TRUE(IsWindowVisible(d.hwnd()));
        EXPECT_EQ(dialog.chosen().size(), 2u);
        SendMessageW(d.Control(IDOK), BM_CLICK, 0, 0);
    });
    ASSERT_EQ(state.lstSelectedFolders.size(), 1u);
    EXPECT_EQ(ToLowerAscii(state.lstSelectedFolders[0]), "c:\\windows\\system32");
}

// Drives and folders as a test sets them up.
class TestFolders : public FolderSource {
  public:
    std::vector<std::wstring> Drives() override { return {L"C:\\", L"Q:\\"}; }
    std::wstring DriveCaption(const std::wstring& root) override { return root.substr(0, 2); }
    bool DriveReady(const std::wstring& root) override { return root != L"Q:\\"; }
    bool Subfolders(const std::wstring& folder, std::vector<std::wstring>& names, DWORD& error) override {
        if (folder == L"C:\\Locked") {
            error = ERROR_ACCESS_DENIED;
            return false;
        }
        names = folder == L"C:\\" ? std::vector<std::wstring>{L"Apps", L"Locked"} : std::vector<std::wstring>{};
        return true;
    }
};

TEST_F(DialogTest, FolderDialogKeysDrivesThatAreNotReadyAndFoldersThatCannotBeListed) {
    TestFolders folders;
    AddDirDialog dialog(app, folders);
    state.lstSelectedFolders = {"D:\\b", "C:\\a"};
    DialogBase::onShown = [&](DialogBase& d) {
        HWND tree = d.Control(AddDirDialog::kIdDirList);
        HWND list = d.Control(AddDirDialog::kIdLstSelectedFolders);

        dialog.ChangeDrive(L"Q:\\");
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, "Device unavailable.");
        EXPECT_EQ(messages[0].icon, MsgIcon::Error);
        EXPECT_EQ(SendMessageW(d.Control(AddDirDialog::kIdDrvList), CB_GETCURSEL, 0, 0), 0);
        EXPECT_EQ(dialog.MarkedFolder(), L"C:\\");

        // A folder that cannot be listed says so and is not entered.
        ASSERT_TRUE(dialog.MarkFolder(L"C:\\Locked"));
        PressKey(d.hwnd(), tree, VK_SPACE);
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_NE(messages[1].text.find("C:\\Locked"), std::string::npos);
        EXPECT_EQ(TreeView_GetItemState(tree, TreeView_GetSelection(tree), TVIS_EXPANDED) & TVIS_EXPANDED, 0u);

        // Space opens the marked folder, Enter adds it.
        ASSERT_TRUE(dialog.MarkFolder(L"C:\\Apps"));
        PressKey(d.hwnd(), tree, VK_RETURN);
        EXPECT_EQ(dialog.chosen(), (Lines{"C:\\a", "C:\\Apps", "D:\\b"}));

        // Delete and a double click in the chosen list remove the marked entry.
        SendMessageW(list, LB_SETCURSEL, 0, 0);
        PressKey(d.hwnd(), list, VK_DELETE);
        EXPECT_EQ(dialog.chosen(), (Lines{"C:\\Apps", "D:\\b"}));
        SendMessageW(list, LB_SETCURSEL, 1, 0);
        SendMessageW(d.hwnd(), WM_COMMAND, MAKEWPARAM(AddDirDialog::kIdLstSelectedFolders, LBN_DBLCLK),
                     reinterpret_cast<LPARAM>(list));
        EXPECT_EQ(dialog.chosen(), (Lines{"C:\\Apps"}));
        SendMessageW(d.Control(AddDirDialog::kIdCmdRemove), BM_CLICK, 0, 0);
        SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        SendMessageW(d.Control(AddDirDialog::kIdCmdRemove), BM_CLICK, 0, 0);  // nothing marked: nothing goes
        EXPECT_TRUE(dialog.chosen().empty());
        PressKey(d.hwnd(), list, VK_ESCAPE);  // Escape = Cancel
    };
    EXPECT_FALSE(dialog.ShowModal(window.hwnd()));
    EXPECT_EQ(state.lstSelectedFolders, (Lines{"D:\\b", "C:\\a"}));
}

}  // namespace
}  // namespace pellora::gui::testing
