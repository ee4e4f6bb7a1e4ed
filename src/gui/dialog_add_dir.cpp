#include "gui/dialog_add_dir.h"

#include <algorithm>

#include "core/settings/settings_editor.h"

namespace pellora::gui {

namespace {

constexpr const char* kDeviceUnavailableText = "Device unavailable.";
constexpr const wchar_t* kDirListTip =
    L"Press Space to open  marked folder or press Enter to add marked folder to the list.";
constexpr const wchar_t* kSelectedFoldersTip = L"Doubleclick or press Delete to remove marked folder from the list.";
constexpr LPARAM kChildrenFilled = 1;

std::wstring SystemErrorText(DWORD error) {
    wchar_t* buffer = nullptr;
    DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length && buffer ? std::wstring(buffer, length) : L"error " + std::to_wstring(error);
    if (buffer)
        LocalFree(buffer);
    while (!text.empty() &&
           (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' || text.back() == L'.'))
        text.pop_back();
    return text;
}

class MachineFolderSource : public FolderSource {
  public:
    std::vector<std::wstring> Drives() override {
        std::vector<std::wstring> drives;
        wchar_t buffer[512] = {};
        DWORD length = GetLogicalDriveStringsW(511, buffer);
        for (const wchar_t* drive = buffer; length && length < 512 && *drive; drive += lstrlenW(drive) + 1) {
            drives.emplace_back(drive);
        }
        return drives;
    }

    std::wstring DriveCaption(const std::wstring& root) override {
        std::wstring caption = root.substr(0, 2);
        switch (GetDriveTypeW(root.c_str())) {
            case DRIVE_FIXED: {
                // Only fixed drives are asked for their label: an empty floppy or a lost network
                // share could keep the dialog waiting.
                wchar_t label[MAX_PATH + 1] = {};
                QuietErrors quiet;
                if (GetVolumeInformationW(root.c_str(), label, MAX_PATH, nullptr, nullptr, nullptr, nullptr, 0) &&
                    label[0]) {
                    caption += L" [" + std::wstring(label) + L"]";
                }
                break;
            }
            case DRIVE_REMOVABLE:
                caption += L" (removable)";
                break;
            case DRIVE_CDROM:
                caption += L" (CD/DVD)";
                break;
            case DRIVE_REMOTE:
                caption += L" (network)";
                break;
            default:
                break;
        }
        return caption;
    }

    bool DriveReady(const std::wstring& root) override {
        QuietErrors quiet;
        return GetVolumeInformationW(root.c_str(), nullptr, 0, nullptr, nullptr, nullptr, nullptr, 0) ||
               GetFileAttributesW(root.c_str()) != INVALID_FILE_ATTRIBUTES;
    }

    bool Subfolders(const std::wstring& folder, std::vector<std::wstring>& names, DWORD& error) override {
        QuietErrors quiet;
        std::wstring pattern = folder;
        if (pattern.empty() || pattern.back() != L'\\')
            pattern += L'\\';
        pattern += L'*';
        WIN32_FIND_DATAW data;
        HANDLE find =
            FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchLimitToDirectories, nullptr, 0);
        std::vector<std::wstring> found;
        if (find == INVALID_HANDLE_VALUE) {
            error = GetLastError();
            if (error != ERROR_FILE_NOT_FOUND && error != ERROR_NO_MORE_FILES)
                return false;
        } else {
            do {
                if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    continue;
                if (lstrcmpW(data.cFileName, L".") == 0 || lstrcmpW(data.cFileName, L"..") == 0)
                    continue;
                found.emplace_back(data.cFileName);
            } while (FindNextFileW(find, &data));
            FindClose(find);
        }
        std::sort(found.begin(), found.end(),
                  [](const std::wstring& a, const std::wstring& b) { return lstrcmpiW(a.c_str(), b.c_str()) < 0; });
        names = std::move(found);
        return true;
    }

  private:
    // No "insert a disk" box from the system for an empty drive: the dialog reports it itself.
    struct QuietErrors {
        QuietErrors() : old(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {}
        ~QuietErrors() { SetErrorMode(old); }
        UINT old;
    };
};

std::wstring TreeItemText(HWND tree, HTREEITEM item) {
    wchar_t text[MAX_PATH + 1] = {};
    TVITEMW data{};
    data.mask = TVIF_TEXT;
    data.hItem = item;
    data.pszText = text;
    data.cchTextMax = MAX_PATH;
    TreeView_GetItem(tree, &data);
    return text;
}

// A folder of the tree, shown as one that can be opened: whether it holds folders is found out
// when it is opened.
HTREEITEM InsertFolder(HWND tree, HTREEITEM parent, const std::wstring& name) {
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_CHILDREN | TVIF_PARAM;
    insert.item.pszText = const_cast<wchar_t*>(name.c_str());
    insert.item.cChildren = 1;
    insert.item.lParam = 0;
    return TreeView_InsertItem(tree, &insert);
}

}  // namespace

std::unique_ptr<FolderSource> MachineFolders() {
    return std::make_unique<MachineFolderSource>();
}

void AddDirDialog::OnInit() {
    driveCaption_ = AddLabel(L"&Drive:");
    drvList_ = AddControl(WC_COMBOBOXW, L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 0, kIdDrvList);
    dirCaption_ = AddLabel(L"&Folders:");
    dirList_ = AddControl(
        WC_TREEVIEWW, L"",
        WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS | TVS_DISABLEDRAGDROP,
        WS_EX_CLIENTEDGE, kIdDirList);
    add_ = AddButton(L"&Add", kIdCmdAdd);
    remove_ = AddButton(L"&Remove", kIdCmdRemove);
    chosenCaption_ = AddLabel(L"&Chosen folders:");
    lstSelectedFolders_ =
        AddControl(WC_LISTBOXW, L"",
                   WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | LBS_NOTIFY | LBS_WANTKEYBOARDINPUT | LBS_NOINTEGRALHEIGHT,
                   WS_EX_CLIENTEDGE, kIdLstSelectedFolders);
    ok_ = AddButton(L"&Ok", IDOK, true);
    cancel_ = AddButton(L"Cancel", IDCANCEL);

    AddTip(dirList_, kDirListTip);
    AddTip(lstSelectedFolders_, kSelectedFoldersTip);

    for (const std::string& folder : app_.state().lstSelectedFolders)
        InsertSorted(chosen_, folder);
    RefreshChosen(-1);
    FillDrives();
    ShowDrive(L"C:\\");
}

SIZE AddDirDialog::OnLayout() {
    const int margin = Margin();
    const int columnWidth = S(250);
    int buttonWidth = std::max(ButtonWidth(add_), ButtonWidth(remove_));
    const int width = margin + columnWidth + S(12) + buttonWidth + S(12) + columnWidth + margin;
    const int rightX = margin + columnWidth + S(12) + buttonWidth + S(12);
    int y = margin;
    Place(driveCaption_, margin, y, columnWidth, LineHeight());
    y += LineHeight() + S(4);
    // A drop-down list's height includes its open list.
    Place(drvList_, margin, y, columnWidth, S(200));
    RECT combo;
    GetWindowRect(drvList_, &combo);
    y += (combo.bottom - combo.top) + S(10);
    Place(dirCaption_, margin, y, columnWidth, LineHeight());
    Place(chosenCaption_, rightX, y, columnWidth, LineHeight());
    y += LineHeight() + S(4);
    const int listHeight = S(260);
    Place(dirList_, margin, y, columnWidth, listHeight);
    Place(lstSelectedFolders_, rightX, y, columnWidth, listHeight);
    const int buttonsX = margin + columnWidth + S(12);
    Place(add_, buttonsX, y + listHeight / 2 - ButtonHeight() - S(4), buttonWidth, ButtonHeight());
    Place(remove_, buttonsX, y + listHeight / 2 + S(4), buttonWidth, ButtonHeight());
    y += listHeight + S(14);
    const int bottom = PlaceButtonRow({ok_, cancel_}, width, y);
    SendMessageW(lstSelectedFolders_, LB_SETHORIZONTALEXTENT, S(1200), 0);
    return {width, bottom + margin};
}

void AddDirDialog::FillDrives() {
    drives_ = source_.Drives();
    SendMessageW(drvList_, CB_RESETCONTENT, 0, 0);
    for (const std::wstring& drive : drives_) {
        SendMessageW(drvList_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(source_.DriveCaption(drive).c_str()));
    }
}

void AddDirDialog::ChangeDrive(const std::wstring& root) {
    if (!source_.DriveReady(root)) {
        Tell(kDeviceUnavailableText, MsgIcon::Error);
        ShowDrive(L"C:\\");
        return;
    }
    ShowDrive(root);
}

void AddDirDialog::ShowDrive(const std::wstring& root) {
    drive_ = root;
    int index = -1;
    for (size_t i = 0; i < drives_.size(); ++i) {
        if (lstrcmpiW(drives_[i].c_str(), root.c_str()) == 0)
            index = static_cast<int>(i);
    }
    SendMessageW(drvList_, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    TreeView_DeleteAllItems(dirList_);
    HTREEITEM item = InsertFolder(dirList_, TVI_ROOT, root);
    TreeView_Expand(dirList_, item, TVE_EXPAND);
    TreeView_SelectItem(dirList_, item);
}

bool AddDirDialog::FillChildren(HTREEITEM item) {
    TVITEMW data{};
    data.mask = TVIF_PARAM;
    data.hItem = item;
    TreeView_GetItem(dirList_, &data);
    if (data.lParam == kChildrenFilled)
        return true;
    const std::wstring path = PathOf(item);
    std::vector<std::wstring> names;
    DWORD error = 0;
    if (!source_.Subfolders(path, names, error)) {
        Tell("The folder " + U(path) + " cannot be opened: " + U(SystemErrorText(error)) + ".", MsgIcon::Error);
        return false;
    }
    for (const std::wstring& name : names)
        InsertFolder(dirList_, item, name);
    data.mask = TVIF_PARAM | TVIF_CHILDREN;
    data.lParam = kChildrenFilled;
    data.cChildren = names.empty() ? 0 : 1;
    TreeView_SetItem(dirList_, &data);
    return true;
}

std::wstring AddDirDialog::PathOf(HTREEITEM item) const {
    std::vector<std::wstring> parts;
    for (HTREEITEM at = item; at; at = TreeView_GetParent(dirList_, at))
        parts.push_back(TreeItemText(dirList_, at));
    std::wstring path;
    for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
        if (!path.empty() && path.back() != L'\\')
            path += L'\\';
        path += *it;
    }
    return path;
}

std::wstring AddDirDialog::MarkedFolder() const {
    HTREEITEM item = TreeView_GetSelection(dirList_);
    return item ? PathOf(item) : std::wstring();
}

bool AddDirDialog::MarkFolder(const std::wstring& path) {
    HTREEITEM item = TreeView_GetRoot(dirList_);
    if (!item)
        return false;
    std::wstring rest = path.size() > drive_.size() ? path.substr(drive_.size()) : L"";
    while (!rest.empty()) {
        size_t slash = rest.find(L'\\');
        std::wstring name = rest.substr(0, slash);
        rest = slash == std::wstring::npos ? L"" : rest.substr(slash + 1);
        if (name.empty())
            continue;
        if (!FillChildren(item))
            return false;
        TreeView_Expand(dirList_, item, TVE_EXPAND);
        HTREEITEM child = TreeView_GetChild(dirList_, item);
        while (child && lstrcmpiW(TreeItemText(dirList_, child).c_str(), name.c_str()) != 0) {
            child = TreeView_GetNextSibling(dirList_, child);
        }
        if (!child)
            return false;
        item = child;
    }
    TreeView_SelectItem(dirList_, item);
    return true;
}

void AddDirDialog::Add() {
    const std::wstring path = MarkedFolder();
    if (path.empty())
        return;
    const std::string folder = U(path);
    InsertSorted(chosen_, folder);
    int index = 0;
    for (size_t i = 0; i < chosen_.size(); ++i) {
        if (chosen_[i] == folder)
            index = static_cast<int>(i);
    }
    RefreshChosen(index);
}

void AddDirDialog::Remove() {
    const LRESULT marked = SendMessageW(lstSelectedFolders_, LB_GETCURSEL, 0, 0);
    if (marked == LB_ERR || marked < 0 || static_cast<size_t>(marked) >= chosen_.size())
        return;
    chosen_.erase(chosen_.begin() + marked);
    RefreshChosen(std::min(static_cast<int>(marked), static_cast<int>(chosen_.size()) - 1));
}

void AddDirDialog::RefreshChosen(int select) {
    SendMessageW(lstSelectedFolders_, WM_SETREDRAW, FALSE, 0);
    SendMessageW(lstSelectedFolders_, LB_RESETCONTENT, 0, 0);
    for (const std::string& folder : chosen_) {
        SendMessageW(lstSelectedFolders_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(folder).c_str()));
    }
    SendMessageW(lstSelectedFolders_, LB_SETCURSEL, static_cast<WPARAM>(select), 0);
    SendMessageW(lstSelectedFolders_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(lstSelectedFolders_, nullptr, TRUE);
}

bool AddDirDialog::OnCommand(int id, int code) {
    switch (id) {
        case IDOK:
            // Enter in the folder tree adds the marked folder instead of closing the dialog.
            if (GetFocus() == dirList_) {
                Add();
                return true;
            }
            return false;
        case kIdCmdAdd:
            if (code == BN_CLICKED)
                Add();
            return true;
        case kIdCmdRemove:
            if (code == BN_CLICKED)
                Remove();
            return true;
        case kIdLstSelectedFolders:
            if (code == LBN_DBLCLK)
                Remove();
            return true;
        case kIdDrvList:
            if (code == CBN_SELCHANGE) {
                const LRESULT index = SendMessageW(drvList_, CB_GETCURSEL, 0, 0);
                if (index >= 0 && static_cast<size_t>(index) < drives_.size())
                    ChangeDrive(drives_[index]);
            }
            return true;
        default:
            return false;
    }
}

bool AddDirDialog::OnNotify(NMHDR* header, LRESULT& result) {
    if (header->hwndFrom != dirList_)
        return false;
    if (header->code == TVN_ITEMEXPANDINGW) {
        const auto* change = reinterpret_cast<NMTREEVIEWW*>(header);
        // A folder that cannot be listed is not entered (the user has been told why).
        result = change->action & TVE_EXPAND && !FillChildren(change->itemNew.hItem) ? TRUE : FALSE;
        return true;
    }
    if (header->code == TVN_KEYDOWN && reinterpret_cast<NMTVKEYDOWN*>(header)->wVKey == VK_SPACE) {
        if (HTREEITEM item = TreeView_GetSelection(dirList_)) {
            TreeView_Expand(dirList_, item, TVE_EXPAND);
            TreeView_EnsureVisible(dirList_, item);
        }
        result = TRUE;  // no incremental search for the blank
        return true;
    }
    return false;
}

INT_PTR AddDirDialog::OnOtherMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    handled = false;
    if (message != WM_VKEYTOITEM || reinterpret_cast<HWND>(lParam) != lstSelectedFolders_)
        return 0;
    if (LOWORD(wParam) != VK_DELETE)
        return -1;
    Remove();
    handled = true;
    return -2;  // the key is dealt with
}

bool AddDirDialog::OnOk() {
    SettingsEditor editor(app_.state(), app_.settingsApplier());
    editor.StoreSelectedFolders(chosen_);
    return true;
}

}  // namespace pellora::gui
