#include "gui/dialog_number.h"

namespace pellora::gui {

void NumberDialog::OnInit() {
    textLabel_ = AddLabel(text_, SS_NOPREFIX);
    if (!before_.empty())
        beforeLabel_ = AddLabel(before_, SS_NOPREFIX);
    field_edit_ = AddEdit(kIdTxtInterval);
    // Placed beside the field by the layout rather than attached to it, so a new layout (a new
    // DPI) cannot leave the two apart. The field's text is the value: the dialog steps it.
    upDown_ = AddControl(UPDOWN_CLASSW, L"", UDS_ARROWKEYS | UDS_NOTHOUSANDS | UDS_HOTTRACK, 0, kIdUpDown);
    SendMessageW(upDown_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(field_edit_), 0);
    SendMessageW(upDown_, UDM_SETRANGE32, 0, static_cast<LPARAM>(field_.upperLimit));
    afterLabel_ = AddLabel(after_, SS_NOPREFIX);
    ok_ = AddButton(L"&Ok", IDOK, true);
    cancel_ = AddButton(L"Cancel", IDCANCEL);
    SetWindowTextW(field_edit_, W(Line(app_.state().lstSettingsFile, field_.line)).c_str());
}

SIZE NumberDialog::OnLayout() {
    const int width = S(380);
    const int inner = width - 2 * Margin();
    int y = Margin();
    const int textHeight = WrappedHeight(textLabel_, inner);
    Place(textLabel_, Margin(), y, inner, textHeight);
    y += textHeight + S(14);
    const int rowHeight = EditHeight();
    const int labelTop = y + (rowHeight - LineHeight()) / 2;
    int x = Margin();
    if (beforeLabel_) {
        Place(beforeLabel_, x, labelTop, TextWidthOf(beforeLabel_) + S(2), LineHeight());
        x += TextWidthOf(beforeLabel_) + S(8);
    }
    // Room for the upper limit's digits and one more.
    const int fieldWidth =
        TextWidth(fonts_.normal(), std::wstring(std::to_wstring(field_.upperLimit).size() + 1, L'0')) + S(12);
    Place(field_edit_, x, y, fieldWidth, rowHeight);
    x += fieldWidth;
    const int upDownWidth = S(18);
    Place(upDown_, x, y, upDownWidth, rowHeight);
    x += upDownWidth + S(8);
    Place(afterLabel_, x, labelTop, TextWidthOf(afterLabel_) + S(2), LineHeight());
    y += rowHeight + S(18);
    const int bottom = PlaceButtonRow({ok_, cancel_}, width, y);
    return {width, bottom + Margin()};
}

void NumberDialog::Step(bool up) {
    SetWindowTextW(field_edit_, W(UpDownStep(U(GetText(field_edit_)), up, field_.upperLimit)).c_str());
    SendMessageW(field_edit_, EM_SETSEL, 0, -1);
}

bool NumberDialog::OnNotify(NMHDR* header, LRESULT& result) {
    if (header->hwndFrom != upDown_ || header->code != UDN_DELTAPOS)
        return false;
    const auto* change = reinterpret_cast<NMUPDOWN*>(header);
    if (change->iDelta != 0)
        Step(change->iDelta > 0);
    result = TRUE;  // the control's own position never moves: the field is the value
    return true;
}

bool NumberDialog::OnOk() {
    SettingsEditor editor(app_.state(), app_.settingsApplier());
    if (editor.StoreNumber(field_, U(GetText(field_edit_))))
        return true;
    Tell(NumberRangeMessage(field_), MsgIcon::Error);
    SetFocus(field_edit_);
    SendMessageW(field_edit_, EM_SETSEL, 0, -1);
    return false;
}

}  // namespace pellora::gui
