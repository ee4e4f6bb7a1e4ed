// frmActiveProtection and frmRegBackUp: one number field with an up-down control. Up and Down
// step the field within 0 and the dialog's upper limit (text that is not a number counts as 0);
// OK stores only a whole number within those limits and otherwise says what is allowed and
// keeps the dialog open.
#pragma once

#include "core/settings/settings_editor.h"
#include "gui/dialog_base.h"

namespace pellora::gui {

class NumberDialog : public DialogBase {
  public:
    enum : int { kIdTxtInterval = 301, kIdUpDown };
    // Presses Up or Down once, as the up-down control and the arrow keys do.
    void Step(bool up);

  protected:
    NumberDialog(App& app,
                 std::wstring title,
                 const NumberField& field,
                 std::wstring text,
                 std::wstring before,
                 std::wstring after)
        : DialogBase(app, std::move(title)),
          field_(field),
          text_(std::move(text)),
          before_(std::move(before)),
          after_(std::move(after)) {}

    void OnInit() override;
    SIZE OnLayout() override;
    bool OnOk() override;
    bool OnNotify(NMHDR* header, LRESULT& result) override;

  private:
    const NumberField& field_;
    std::wstring text_;
    std::wstring before_;
    std::wstring after_;
    HWND textLabel_ = nullptr;
    HWND beforeLabel_ = nullptr;
    HWND afterLabel_ = nullptr;
    HWND field_edit_ = nullptr;
    HWND upDown_ = nullptr;
    HWND ok_ = nullptr;
    HWND cancel_ = nullptr;
};

class ActiveProtectionDialog : public NumberDialog {
  public:
    explicit ActiveProtectionDialog(App& app)
        : NumberDialog(app,
                       L"Active Protection Info",
                       kIntervalField,
                       L"This feature will enable Pellora to actively monitor your PC. Just set the interval and "
                       L"Pellora wil automatically keep you safe from malicious applications and code.",
                       L"",
                       L"minutes.") {}
};

class RegBackUpDialog : public NumberDialog {
  public:
    explicit RegBackUpDialog(App& app)
        : NumberDialog(app,
                       L"Registry Backup Options",
                       kBackupsField,
                       L"Select the number of backups you would like to keep.",
                       L"Last",
                       L"backups.") {}
};

}  // namespace pellora::gui
