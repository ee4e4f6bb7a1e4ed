#include "gui/dialog_home_page.h"

#include "core/settings/settings_editor.h"

namespace pellora::gui {

void HomePageDialog::OnInit() {
    text_ = AddLabel(
        L"This feature will enable Pellora to monitor your Homepage settings. If a website attempts to change your "
        L"Homepage it will switch back to the settings you put below.",
        SS_NOPREFIX);
    // Each caption comes just before its field, so its mnemonic moves the keyboard there.
    homePageCaption_ = AddLabel(L"&Reset Homepage to:");
    homePage_ = AddEdit(kIdTxtIEHomePage);
    titleCaption_ = AddLabel(L"&Window title (Browser title):");
    title_ = AddEdit(kIdTxtIETitle);
    useBlank_ = AddButton(L"Use &Blank", kIdCmdUseBlank);
    ok_ = AddButton(L"&Ok", IDOK, true);
    cancel_ = AddButton(L"Cancel", IDCANCEL);
    const auto& settings = app_.state().lstSettingsFile;
    SetWindowTextW(homePage_, W(Line(settings, kHomePageLine)).c_str());
    SetWindowTextW(title_, W(Line(settings, kWindowTitleLine)).c_str());
}

SIZE HomePageDialog::OnLayout() {
    const int width = S(420);
    const int inner = width - 2 * Margin();
    int y = Margin();
    const int textHeight = WrappedHeight(text_, inner);
    Place(text_, Margin(), y, inner, textHeight);
    y += textHeight + S(12);
    for (auto [caption, field] : {std::pair{homePageCaption_, homePage_}, std::pair{titleCaption_, title_}}) {
        Place(caption, Margin(), y, inner, LineHeight());
        y += LineHeight() + S(4);
        Place(field, Margin(), y, inner, EditHeight());
        y += EditHeight() + S(10);
    }
    y += S(6);
    Place(useBlank_, Margin(), y, ButtonWidth(useBlank_), ButtonHeight());
    const int bottom = PlaceButtonRow({ok_, cancel_}, width, y);
    return {width, bottom + Margin()};
}

bool HomePageDialog::OnCommand(int id, int code) {
    if (id != kIdCmdUseBlank || code != BN_CLICKED)
        return false;
    SetWindowTextW(homePage_, W(kBlankHomePage).c_str());
    SetWindowTextW(title_, W(kDefaultWindowTitle).c_str());
    return true;
}

bool HomePageDialog::OnOk() {
    SettingsEditor editor(app_.state(), app_.settingsApplier());
    editor.StoreHomePage(U(GetText(homePage_)), U(GetText(title_)));
    return true;
}

}  // namespace pellora::gui
