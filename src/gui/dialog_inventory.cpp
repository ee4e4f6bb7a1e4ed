#include "gui/dialog_inventory.h"

#include "core/inventory/inventory_actions.h"

namespace pellora::gui {
namespace {

// A timer's message comes only once the queue is empty, so the inventory is built after the
// dialog is shown and painted, inside the dialog's own loop (its progress is drawn as it goes).
constexpr UINT_PTR kStartBuildTimer = 41;

std::string FlagsText(uint32_t flags) {
    std::string text;
    for (const std::string& name : inventory::FlagNames(flags))
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

}  // namespace

void InventoryDialog::OnInit() {
    progress_ = AddLabel(L"Listing what starts with Windows...", SS_NOPREFIX | SS_ENDELLIPSIS);
    list_.Create(hwnd_, kIdLstInventory, true,
                 {{L"Place", 90, L"shell-service-object"},
                  {L"Name", 150},
                  {L"Program", 250},
                  {L"Signer", 130},
                  {L"Flags", 170, L"unsigned, user-writable"}});
    list_.text = [this](size_t row, int column) -> std::string {
        if (row >= entries_.size())
            return {};
        const inventory::InventoryEntry& entry = entries_[row];
        switch (column) {
            case 0:
                return entry.place;
            case 1:
                return entry.name;
            case 2:
                return entry.program.empty() ? entry.command : entry.program;
            case 3:
                return entry.signer.empty() ? inventory::SignatureName(entry.signature) : entry.signer;
            default:
                return FlagsText(entry.flags);
        }
    };
    list_.checked = [this](size_t row) { return row < checked_.size() && checked_[row]; };
    list_.toggle = [this](size_t row) {
        if (row < checked_.size())
            checked_[row] = !checked_[row];
    };
    ignore_ = AddButton(L"Add to &Ignore List", kIdCmdInventoryIgnore);
    openFolder_ = AddButton(L"Open &Folder", kIdCmdInventoryOpenFolder);
    remove_ = AddButton(L"&Remove Checked...", kIdCmdInventoryRemove);
    close_ = AddButton(L"Close", IDCANCEL, true);
    AddTip(ignore_, L"Stop flagging the checked entries while their program stays the same");
    AddTip(openFolder_, L"Open the folder of the focused entry's program");
    AddTip(remove_, L"Show the checked Run values and Startup files as results to quarantine and remove");
    for (HWND button : {ignore_, openFolder_, remove_})
        EnableWindow(button, FALSE);
    SetTimer(hwnd_, kStartBuildTimer, 1, nullptr);
}

SIZE InventoryDialog::OnLayout() {
    const int width = S(900);
    const int inner = width - 2 * Margin();
    int y = Margin();
    Place(progress_, Margin(), y, inner, LineHeight());
    y += LineHeight() + S(8);
    const int listHeight = S(340);
    Place(list_.hwnd(), Margin(), y, inner, listHeight);
    list_.Rescale(fonts_.dpi());
    y += listHeight + S(10);
    int x = Margin();
    for (HWND button : {ignore_, openFolder_, remove_}) {
        const int buttonWidth = ButtonWidth(button);
        Place(button, x, y, buttonWidth, ButtonHeight());
        x += buttonWidth + S(8);
    }
    const int bottom = PlaceButtonRow({close_}, width, y);
    return {width, bottom + Margin()};
}

INT_PTR InventoryDialog::OnOtherMessage(UINT message, WPARAM wParam, LPARAM, bool& handled) {
    handled = message == WM_TIMER && wParam == kStartBuildTimer;
    if (handled) {
        KillTimer(hwnd_, kStartBuildTimer);
        Build();
    }
    return 0;
}

void InventoryDialog::Build() {
    Ports& ports = app_.ports();
    if (!ports.trust) {
        SetWindowTextW(progress_, L"Program signatures cannot be checked on this system.");
        return;
    }
    building_ = true;
    inventory::InventoryBuilder builder(ports.registry, ports.files, ports.system, *ports.trust, ports.ui);
    builder.onProgress = [this](size_t done, size_t total) {
        SetWindowTextW(progress_,
                       W("Checking " + std::to_string(done) + " of " + std::to_string(total) + " entries...").c_str());
    };
    std::vector<inventory::InventoryEntry> built = builder.Build(app_.state());
    building_ = false;
    if (!IsWindow(hwnd_))
        return;
    entries_ = std::move(built);
    inventory::SortFlaggedFirst(entries_);
    checked_.assign(entries_.size(), false);
    size_t flagged = 0;
    for (const inventory::InventoryEntry& entry : entries_)
        flagged += inventory::IsFlagged(entry) ? 1 : 0;
    SetWindowTextW(progress_, W(std::to_string(entries_.size()) + " entries, " + std::to_string(flagged) +
                                " flagged (" + std::to_string(builder.verifiedCount) + " signatures checked, " +
                                std::to_string(builder.cachedCount) + " known from the last run)")
                                  .c_str());
    for (HWND button : {ignore_, openFolder_, remove_})
        EnableWindow(button, TRUE);
    Show();
}

void InventoryDialog::Show() {
    list_.SetCount(entries_.size());
    InvalidateRect(list_.hwnd(), nullptr, TRUE);
}

std::vector<inventory::InventoryEntry> InventoryDialog::Checked() const {
    std::vector<inventory::InventoryEntry> picked;
    for (size_t i = 0; i < entries_.size() && i < checked_.size(); ++i)
        if (checked_[i])
            picked.push_back(entries_[i]);
    return picked;
}

bool InventoryDialog::OnCommand(int id, int code) {
    if (code != BN_CLICKED || building_)
        return false;
    switch (id) {
        case kIdCmdInventoryIgnore:
            AddCheckedToIgnoreList();
            return true;
        case kIdCmdInventoryOpenFolder:
            OpenFocusedFolder();
            return true;
        case kIdCmdInventoryRemove:
            RemoveChecked();
            return true;
        default:
            return false;
    }
}

void InventoryDialog::AddCheckedToIgnoreList() {
    bool added = false;
    for (size_t i = 0; i < entries_.size() && i < checked_.size(); ++i) {
        if (!checked_[i])
            continue;
        added |= inventory::AddToIgnoreList(app_.state(), entries_[i]);
        entries_[i].flags |= inventory::flag::kIgnored;
        checked_[i] = false;
    }
    if (!added)
        return;
    (void)app_.settingsFiles().SaveDataAsked();
    app_.ignoreList().LoadIgnoredToList();
    app_.ports().ui.Changed(View::IgnoreList);
    app_.statusPanel().StatusInfoDisplay();
    Show();
}

void InventoryDialog::OpenFocusedFolder() {
    const int row = list_.FocusedRow();
    if (row < 0 || static_cast<size_t>(row) >= entries_.size()) {
        Tell("Select an entry first.", MsgIcon::Information);
        return;
    }
    const std::string folder = inventory::FolderToOpen(entries_[static_cast<size_t>(row)]);
    const std::optional<uint32_t> attributes = folder.empty() ? std::nullopt : app_.ports().files.GetAttributes(folder);
    if (!attributes || !(*attributes & file_attr::kDirectory)) {
        Tell("This entry has no folder to open.", MsgIcon::Information);
        return;
    }
    // The folder's owner may swap it for a program at any moment: the shell's "open" on that name
    // would run it, with this program's rights. The system's own Explorer, named by its full path,
    // shows the entry's program (or the folder) selected in its folder and never opens it.
    const std::string& program = entries_[static_cast<size_t>(row)].program;
    const std::string shown = program.empty() ? folder : program;
    wchar_t windows[MAX_PATH];
    const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    const std::wstring explorer = std::wstring(windows, length) + L"\\explorer.exe";
    std::wstring command = L"\"" + explorer + L"\" /select,\"" + W(shown) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (CreateProcessW(explorer.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                       &info)) {
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
    }
}

void InventoryDialog::RemoveChecked() {
    const std::vector<inventory::InventoryEntry> picked = Checked();
    if (picked.empty()) {
        Tell("Check the entries to remove first.", MsgIcon::Information);
        return;
    }
    std::vector<std::string> refused;
    std::string reason;
    ObjectIdentity identity(app_.ports().files, app_.ports().registry);
    if (!inventory::StageForRemoval(app_.state(), identity, app_.ports().files, picked, refused, reason)) {
        Tell("Not removed: " + reason + ".", MsgIcon::Exclamation);
        return;
    }
    if (!refused.empty()) {
        std::string text = "These entries are not removed here:";
        for (const std::string& line : refused)
            text += "\n" + line;
        Tell(text, MsgIcon::Information);
    }
    if (app_.state().lstScanResult.empty())
        return;
    app_.ports().ui.Changed(View::ScanResults);
    app_.navigation().ShowScanResult();
    EndDialog(hwnd_, IDCANCEL);
}

}  // namespace pellora::gui
