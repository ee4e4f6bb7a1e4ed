// The ignore list: objects the user does not want reported again. Entries live in
// lstIgnoreListFile (IgnoreList.stg), one "kind|object|category[|comment]" line each; the
// ignore-list panel shows them in lstIgnoreList with the same columns as the result rows, so
// one row-to-entry rule serves the result, irremovable and ignore lists. The class also carries
// the Select All / Select None / Inverse Selection commands of the three check-box lists.
//
// Every command yields after each row; rows are visited by index and the bounds are read
// again after every yield, because events (including other commands) run inside the yield.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/state/app_state.h"
#include "core/ports/ui.h"

namespace pellora {

// True when the row's entry reads back as the same four fields: no field holds "|" or a line
// break. Rows that do not fit are refused with a log line.
bool FitsIgnoreEntry(const ResultRow& row);
// The ignore entry of a row: kind|object|category, and |comment when the comment is not empty.
std::string IgnoreEntryOf(const ResultRow& row);

class IgnoreList {
  public:
    // `saveData` writes the settings lists back (SaveData).
    IgnoreList(AppState& state, UiPort& ui, std::function<void()> saveData)
        : state_(state), ui_(ui), saveData_(std::move(saveData)) {}

    // Adds the checked result rows to the ignore list and logs them.
    void cmdIgnoreSelected();
    // Adds the checked irremovable rows to the ignore list, without log lines.
    void cmdIgnoreIremovable();
    // Keeps only the unchecked entries of the ignore-list panel, saves and shows them again.
    void cmdDeleteSelected();
    // Rebuilds lstIgnoreList from lstIgnoreListFile, all rows unchecked.
    void LoadIgnoredToList();

    void mnuResultListAll_Click();
    void mnuResultListNone_Click();
    void mnuResultListInverse_Click();
    void mnuIgnoreListAll_Click();
    void mnuIgnoreListNone_Click();
    void mnuIgnoreListInverse_Click();
    void mnuQuarantineListAll_Click();
    void mnuQuarantineListNone_Click();
    void mnuQuarantineListInverse_Click();

  private:
    enum class Selection { All, None, Inverse };

    void AddCheckedRows(std::vector<ResultRow>& rows, bool& button, bool logRows);
    template <typename Row>
    void Select(std::vector<Row>& rows, Selection selection, View view);
    void SetButton(bool& button, bool enabled);
    void Save();

    AppState& state_;
    UiPort& ui_;
    std::function<void()> saveData_;
};

}  // namespace pellora
