#include "gui/dialogs.h"

#include "gui/dialog_add_dir.h"
#include "gui/dialog_custom_scan.h"
#include "gui/dialog_home_page.h"
#include "gui/dialog_inventory.h"
#include "gui/dialog_number.h"

namespace pellora::gui {

namespace {

template <typename Dialog, typename... Args>
void Open(App& app, HWND owner, const std::function<int()>& dpi, Args&... args) {
    Dialog dialog(app, args...);
    dialog.ShowModal(owner, dpi ? dpi() : 0);
}

}  // namespace

void WireDialogs(App& app, GuiCommands& commands, HWND owner, std::function<int()> dpi) {
    commands.lblCmdCustomizeScan_Click = [&app, owner, dpi] { Open<CustomScanDialog>(app, owner, dpi); };
    commands.lblCmdSelectDrvFolderScan_Click = [&app, owner, dpi] {
        std::unique_ptr<FolderSource> folders = MachineFolders();
        Open<AddDirDialog>(app, owner, dpi, *folders);
    };
    commands.lblCmdActiveProtectionSett_Click = [&app, owner, dpi] { Open<ActiveProtectionDialog>(app, owner, dpi); };
    commands.lblCmdAdvancedRegBackup_Click = [&app, owner, dpi] { Open<RegBackUpDialog>(app, owner, dpi); };
    commands.lblCmdHomepageProtectSett_Click = [&app, owner, dpi] { Open<HomePageDialog>(app, owner, dpi); };
    commands.lblCmdInventory_Click = [&app, owner, dpi] { Open<InventoryDialog>(app, owner, dpi); };
}

}  // namespace pellora::gui
