// frmAddDir: the folders of the drives/folders scan. A drive list, the folder tree of the chosen
// drive (filled as folders are opened), and the dialog's own list of chosen folders, kept sorted
// without regard to letter case. OK removes duplicates and replaces lstSelectedFolders.
//
// Keys: in the tree Space opens the marked folder and Enter adds it; in the chosen list Delete
// (or a double click) removes the marked entry. A drive that is not ready says "Device
// unavailable." and the dialog goes back to C:; a folder that cannot be listed says so and is
// not entered.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "gui/dialog_base.h"

namespace pellora::gui {

// Where the dialog's drives and folders come from (the machine's, or a test's).
class FolderSource {
  public:
    virtual ~FolderSource() = default;
    // Root folders of the drives, such as "C:\".
    virtual std::vector<std::wstring> Drives() = 0;
    // What the drive list shows for a drive (its letter and, when it has one, its label).
    virtual std::wstring DriveCaption(const std::wstring& root) = 0;
    virtual bool DriveReady(const std::wstring& root) = 0;
    // The names of the folders directly in `folder`, sorted; false (with the system's error)
    // when it cannot be listed.
    virtual bool Subfolders(const std::wstring& folder, std::vector<std::wstring>& names, DWORD& error) = 0;
};

// The machine's drives and folders, through the Windows API.
std::unique_ptr<FolderSource> MachineFolders();

class AddDirDialog : public DialogBase {
  public:
    enum : int { kIdDrvList = 501, kIdDirList, kIdLstSelectedFolders, kIdCmdAdd, kIdCmdRemove };
    AddDirDialog(App& app, FolderSource& source) : DialogBase(app, L"Custom Drive/Folder Select"), source_(source) {}

    // The full path of the marked folder of the tree ("" when none).
    std::wstring MarkedFolder() const;
    // Marks the folder `path` of the current drive in the tree, opening the folders on the way.
    bool MarkFolder(const std::wstring& path);
    // Switches to the drive of `root` as the drive list does.
    void ChangeDrive(const std::wstring& root);
    const std::vector<std::string>& chosen() const { return chosen_; }

  protected:
    void OnInit() override;
    SIZE OnLayout() override;
    bool OnOk() override;
    bool OnCommand(int id, int code) override;
    bool OnNotify(NMHDR* header, LRESULT& result) override;
    INT_PTR OnOtherMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

  private:
    void FillDrives();
    void ShowDrive(const std::wstring& root);
    // Adds the children of a tree item once; false when its folder cannot be listed.
    bool FillChildren(HTREEITEM item);
    std::wstring PathOf(HTREEITEM item) const;
    void Add();
    void Remove();
    void RefreshChosen(int select);

    FolderSource& source_;
    std::vector<std::wstring> drives_;
    std::wstring drive_;
    std::vector<std::string> chosen_;
    HWND driveCaption_ = nullptr;
    HWND drvList_ = nullptr;
    HWND dirCaption_ = nullptr;
    HWND dirList_ = nullptr;
    HWND chosenCaption_ = nullptr;
    HWND lstSelectedFolders_ = nullptr;
    HWND add_ = nullptr;
    HWND remove_ = nullptr;
    HWND ok_ = nullptr;
    HWND cancel_ = nullptr;
};

}  // namespace pellora::gui
