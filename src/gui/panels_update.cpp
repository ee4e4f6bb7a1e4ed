// The update panel: what to press and how often, the address the database comes from (kept in
// Settings\Update.stg), the two buttons, the progress bar and the byte count. The download runs
// inside the click on "Start Update", yielding to the message loop, so the panel redraws and
// "Cancel" works while it runs.
#include <algorithm>
#include <climits>

#include "gui/panels.h"

namespace pellora::gui {

namespace {

constexpr const char* kExplanation[2] = {
    "Press \"Start Update\" to download the newest definition files of known spyware.",
    "We recommend updating the definition files once a week.",
};

int Clamp(int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, 0, INT_MAX));
}

}  // namespace

void UpdateView::CreateControls() {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
    for (int i = 0; i < 2; ++i)
        explanation_[i] = AddLabel(kExplanation[i]);
    addressCaption_ = AddLabel("Update address:");
    address_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 0,
                               0, 10, 10, hwnd_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdTxtUpdateAddress)),
                               GetModuleHandleW(nullptr), nullptr);
    SendMessageW(address_, EM_SETCUEBANNER, TRUE,
                 reinterpret_cast<LPARAM>(L"https://example.com/members/DataBase.ref"));
    cmdUpdateNow_ = AddButton(L"&Start Update", kIdCmdUpdateNow);
    cmdCancel_ = AddButton(L"&Cancel", kIdCmdCancelUpdate);
    progress_ = CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, hwnd_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(kIdCtlProgress)),
                                GetModuleHandleW(nullptr), nullptr);
    bytesRead_ = AddLabel("", kIdLblBytesRead, SS_ENDELLIPSIS);
    Refresh(View::Update);
}

void UpdateView::OnLayout(int width, int) {
    const int margin = Margin();
    const int inner = std::max(0, width - 2 * margin);
    int y = margin;
    for (HWND line : explanation_) {
        Place(line, margin, y, inner, LineHeight());
        y += LineHeight() + S(2);
    }
    y += S(14);
    const int captionWidth = TextWidthOf(addressCaption_) + S(8);
    const int rowHeight = ButtonHeight();
    Place(addressCaption_, margin, y + (rowHeight - LineHeight()) / 2, captionWidth, LineHeight());
    Place(address_, margin + captionWidth, y, inner - captionWidth, rowHeight);
    y += rowHeight + S(12);
    const int startWidth = ButtonWidth(cmdUpdateNow_, 120);
    const int cancelWidth = ButtonWidth(cmdCancel_);
    Place(cmdUpdateNow_, margin, y, startWidth, rowHeight);
    Place(cmdCancel_, margin + startWidth + S(8), y, cancelWidth, rowHeight);
    y += rowHeight + S(16);
    Place(progress_, margin, y, inner, S(20));
    y += S(20) + S(8);
    Place(bytesRead_, margin, y, inner, LineHeight());
}

void UpdateView::Refresh(View view) {
    if (view != View::Update)
        return;
    const UpdatePanelState& update = state().update;
    // The address field shows the kept address unless the user has typed in it and not yet
    // left it or pressed "Start Update" (a focused field must still show an address loaded later).
    if (!edited_) {
        settingAddress_ = true;
        SetTextIfChanged(address_, update.address);
        settingAddress_ = false;
    }
    SendMessageW(progress_, PBM_SETRANGE32, 0, Clamp(std::max<int64_t>(update.progressMax, 1)));
    SendMessageW(progress_, PBM_SETPOS, Clamp(update.progressValue), 0);
    SetTextIfChanged(bytesRead_, update.lblBytesRead);
    EnableWindow(cmdCancel_, update.downloading);
}

void UpdateView::TakeAddress() {
    if (!edited_)
        return;
    edited_ = false;
    const std::string typed = U(GetText(address_));
    if (typed != state().update.address)
        (void)context_.app.databaseUpdate().SaveAddress(typed);
}

bool UpdateView::OnCommand(int id, int code) {
    switch (id) {
        case kIdTxtUpdateAddress:
            if (code == EN_CHANGE && !settingAddress_)
                edited_ = true;
            if (code == EN_KILLFOCUS)
                TakeAddress();
            return true;
        case kIdCmdUpdateNow:
            if (code != BN_CLICKED)
                return false;
            if (!state().busy)
                TakeAddress();
            context_.app.databaseUpdate().cmdUpdateNow_Click();
            return true;
        case kIdCmdCancelUpdate:
            if (code != BN_CLICKED)
                return false;
            context_.app.databaseUpdate().cmdCancelUpdate_Click();
            return true;
        default:
            return false;
    }
}

}  // namespace pellora::gui
