// The startup inventory in the window: a dialog over the main window that lists every entry
// (place, name, program, signer, flags; flagged entries first) once the inventory has been
// built, with its progress shown while it runs. Checked entries can be put on the ignore list
// or staged as result rows for the removal run, which the results panel then shows, so they
// are quarantined and removed (or not) with every protection a scan's find has. "Open Folder"
// opens the folder of the focused entry's program in the shell; nothing found is run.
#pragma once

#include "gui/win.h"

#include <vector>

#include "core/inventory/inventory.h"
#include "gui/dialog_base.h"
#include "gui/list_view.h"

namespace pellora::gui {

enum InventoryControlId : int {
    kIdLstInventory = 2101,
    kIdCmdInventoryIgnore,
    kIdCmdInventoryOpenFolder,
    kIdCmdInventoryRemove,
    kIdLblInventoryProgress,
};

class InventoryDialog : public DialogBase {
  public:
    explicit InventoryDialog(App& app) : DialogBase(app, L"Startup Inventory") {}

    // Tests: the entries shown, in their order, and their check marks.
    const std::vector<inventory::InventoryEntry>& entries() const { return entries_; }
    std::vector<bool>& checks() { return checked_; }
    bool building() const { return building_; }

  protected:
    void OnInit() override;
    SIZE OnLayout() override;
    bool OnOk() override { return true; }
    bool OnCommand(int id, int code) override;
    bool OnNotify(NMHDR* header, LRESULT& result) override { return list_.OnNotify(header, result); }
    INT_PTR OnOtherMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

  private:
    void Build();
    void Show();
    std::vector<inventory::InventoryEntry> Checked() const;
    void AddCheckedToIgnoreList();
    void OpenFocusedFolder();
    void RemoveChecked();

    VirtualList list_;
    HWND progress_ = nullptr;
    HWND ignore_ = nullptr;
    HWND openFolder_ = nullptr;
    HWND remove_ = nullptr;
    HWND close_ = nullptr;
    std::vector<inventory::InventoryEntry> entries_;
    std::vector<bool> checked_;
    bool building_ = false;
};

}  // namespace pellora::gui
