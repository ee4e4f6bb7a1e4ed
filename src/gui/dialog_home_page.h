// frmHomePageInfo: the home page and browser title that the home-page protector and the
// removal write back (Settings.stg lines 6 and 7).
#pragma once

#include "gui/dialog_base.h"

namespace pellora::gui {

class HomePageDialog : public DialogBase {
  public:
    enum : int { kIdTxtIEHomePage = 201, kIdTxtIETitle, kIdCmdUseBlank };
    explicit HomePageDialog(App& app) : DialogBase(app, L"Home Page Protector Info") {}

  protected:
    void OnInit() override;
    SIZE OnLayout() override;
    bool OnOk() override;
    bool OnCommand(int id, int code) override;

  private:
    HWND text_ = nullptr;
    HWND homePageCaption_ = nullptr;
    HWND titleCaption_ = nullptr;
    HWND homePage_ = nullptr;
    HWND title_ = nullptr;
    HWND useBlank_ = nullptr;
    HWND ok_ = nullptr;
    HWND cancel_ = nullptr;
};

}  // namespace pellora::gui
