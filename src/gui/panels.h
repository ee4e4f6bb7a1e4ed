// The ten panels of the main window (picFrmSatus ... picFrmUpdate). Each renders its part of
// AppState and forwards its controls to the navigation or to the hooks of GuiCommands.
#pragma once

#include <array>
#include <memory>

#include "gui/list_view.h"
#include "gui/panel_view.h"

namespace pellora::gui {

// picFrmSatus: the status figures and the three commands.
class StatusView : public PanelView {
public:
    explicit StatusView(PanelContext& context) : PanelView(Panel::Status, context) {}
    void Refresh(View view) override;
    bool OnCommand(int id, int code) override;

    // Caption and value labels, in the order of the status table.
    static constexpr int kFigureCount = 8;
    HWND value(int index) const { return values_[index]; }
    HWND nextAutoScan() const { return nextAutoScan_; }
    // Empty unless others may change the application folder: then what is wrong and the fix.
    HWND folderWarning() const { return folderWarning_; }

protected:
    void CreateControls() override;
    void OnLayout(int width, int height) override;

private:
    std::array<HWND, 3> headings_{};
    std::array<HWND, kFigureCount> captions_{};
    std::array<HWND, kFigureCount> values_{};
    HWND nextAutoScan_ = nullptr;
    HWND cmdUpdate_ = nullptr;
    HWND cmdOpenIgnore_ = nullptr;
    HWND cmdOpenQuar_ = nullptr;
    HWND folderWarning_ = nullptr;
    HWND cmdInventory_ = nullptr;
};

// picFrmScanPrep: the three scan modes.
class ScanPrepView : public PanelView {
public:
    explicit ScanPrepView(PanelContext& context) : PanelView(Panel::ScanPrep, context) {}
    void Refresh(View view) override;
    bool OnCommand(int id, int code) override;
    int DefaultButton() const override { return kIdCmdNextScan; }

protected:
    void CreateControls() override;
    void OnLayout(int width, int height) override;

private:
    HWND instruction_ = nullptr;
    std::array<HWND, 3> options_{};
    std::array<HWND, 3> hints_{};
    HWND cmdCustomize_ = nullptr;
    HWND cmdSelect_ = nullptr;
    HWND cmdNext_ = nullptr;
};

// picFrmScanProcess: current operation, counters, the moving block and Abort/Next.
class ScanProcView : public PanelView {
public:
    explicit ScanProcView(PanelContext& context) : PanelView(Panel::ScanProc, context) {}
    void Refresh(View view) override;
    bool OnCommand(int id, int code) override;
    // Enter goes on to the results after the scan; during it, it must never abort the scan
    // (the user pressed it for "Next" a moment ago), even with the button focused.
    int DefaultButton() const override;
    bool EnterMayPress(int id) const override;

    static constexpr int kCounterCount = 10;
    HWND counter(int index) const { return counterValues_[index]; }
    HWND currentOperation() const { return currentOperation_; }
    HWND details() const { return details_; }
    // The block's left edge in pixels inside the track, as last drawn.
    int BlockLeftPixels() const;

protected:
    void CreateControls() override;
    void OnLayout(int width, int height) override;
    void OnDrawItem(DRAWITEMSTRUCT* item) override;

private:
    int TwipsToPixels(int twips) const { return MulDiv(twips, context_.fonts.dpi(), 1440); }

    HWND currentOperation_ = nullptr;
    HWND track_ = nullptr;
    std::array<HWND, kCounterCount> counterCaptions_{};
    std::array<HWND, kCounterCount> counterValues_{};
    HWND cmdAbortNext_ = nullptr;
    int drawnBlockLeft_ = 0;
    // Below the moving block: phase, entries listed, elapsed time and finds, also shown on the
    // taskbar button; redrawn a few times a second at most.
    void RefreshDetails();
    HWND details_ = nullptr;
    uint64_t startedMs_ = 0;
    uint64_t stoppedMs_ = 0;
    uint64_t detailsDrawnMs_ = 0;
    bool running_ = false;
};

// Shared by the four list panels: one list filling the panel above a row of buttons.
class ListPanelView : public PanelView {
public:
    using PanelView::PanelView;
    VirtualList& list() { return list_; }
    HWND caption() const { return caption_; }
    bool OnNotify(NMHDR* header, LRESULT& result) override { return list_.OnNotify(header, result); }

protected:
  // The list fills the panel between an optional caption line and the buttons.
  void OnLayout(int width, int height) override;

  enum class Images { None, Object, Quarantine };

  HWND caption_ = nullptr;
  VirtualList list_;
  Images images_ = Images::None;
  std::vector<HWND> leftButtons_;
  std::vector<HWND> rightButtons_;
};

// picFrmScanResult: lstScanResult and its three commands.
class ScanResultView : public ListPanelView {
public:
    explicit ScanResultView(PanelContext& context) : ListPanelView(Panel::ScanResult, context) {}
    void Refresh(View view) override;
    bool OnCommand(int id, int code) override;
    // No default button: Enter in the list must never start a removal.

protected:
    void CreateControls() override;
};

// picFrmIremovable: lstIremovable, "Add selected to Ignore List" and "Finish".
class IremovableView : public ListPanelView {
public:
    explicit IremovableView(PanelContext& context) : ListPanelView(Panel::Iremovable, context) {}
    void Refresh(View view) override;
    bool OnCommand(int id, int code) override;
    int DefaultButton() const override { return kIdCmdFinish; }

protected:
    void CreateControls() override;
};

// picFrmIgnoreList: lstIgnoreList and "Delete Selected".
class IgnoreListView : public ListPanelView {
public:
    explicit IgnoreListView(PanelContext& context) : ListPanelView(Panel::Ignored, context) {}
    void Refresh(View view) override;
    bool OnCommand(int id, int code) override;

protected:
    void CreateControls() override;
};

// picFrmQuarantined: the packages, view, restore, delete.
class QuarantinedView : public ListPanelView {
public:
    explicit QuarantinedView(PanelContext& context) : ListPanelView(Panel::Quarantined, context) {}
    void Refresh(View view) override;
    bool OnCommand(int id, int code) override;
    // Enter opens the highlighted package, as a double click does.
    int DefaultButton() const override { return kIdCmdViewData; }

  protected:
    void CreateControls() override;
};

// picFrmQItems: one package's records and "Back".
class QItemsView : public ListPanelView {
public:
    explicit QItemsView(PanelContext& context) : ListPanelView(Panel::QItems, context) {}
    void Refresh(View view) override;
    bool OnCommand(int id, int code) override;
    int DefaultButton() const override { return kIdCmdBack; }
    bool Escape() override;

protected:
    void CreateControls() override;
};

// picFrmSettings: the six settings boxes, start with Windows and the three advanced commands.
class SettingsView : public PanelView {
public:
    explicit SettingsView(PanelContext& context) : PanelView(Panel::Settings, context) {}
    void Refresh(View view) override;
    bool OnCommand(int id, int code) override;

protected:
    void CreateControls() override;
    void OnLayout(int width, int height) override;

private:
    std::array<HWND, 6> boxes_{};
    HWND startWithWindows_ = nullptr;
    HWND cmdActiveProtection_ = nullptr;
    HWND cmdRegBackup_ = nullptr;
    HWND cmdHomePage_ = nullptr;
    HWND heading_ = nullptr;
};

// picFrmUpdate: the explanation, the update address, "Start Update" (cmdUpdateNow), "Cancel",
// the progress bar ctlProgress and lblBytesRead.
class UpdateView : public PanelView {
public:
    explicit UpdateView(PanelContext& context) : PanelView(Panel::Update, context) {}
    void Refresh(View view) override;
    bool OnCommand(int id, int code) override;
    int DefaultButton() const override { return kIdCmdUpdateNow; }

    HWND address() const { return address_; }
    HWND progress() const { return progress_; }
    HWND bytesRead() const { return bytesRead_; }

protected:
    void CreateControls() override;
    void OnLayout(int width, int height) override;

private:
    // Keeps what the user typed as the update address.
    void TakeAddress();

    std::array<HWND, 2> explanation_{};
    HWND addressCaption_ = nullptr;
    HWND address_ = nullptr;
    HWND cmdUpdateNow_ = nullptr;
    HWND cmdCancel_ = nullptr;
    HWND progress_ = nullptr;
    HWND bytesRead_ = nullptr;
    bool edited_ = false;          // the user typed in the address field and has not left it
    bool settingAddress_ = false;  // the field's text is being set from the model
};

std::unique_ptr<PanelView> CreatePanelView(Panel panel, PanelContext& context);

}  // namespace pellora::gui
