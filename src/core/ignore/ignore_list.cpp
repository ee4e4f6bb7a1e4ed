#include "core/ignore/ignore_list.h"

#include "core/database/item_parser.h"
#include "core/scan/scan_report.h"
#include "core/settings/line_text.h"

namespace pellora {

bool FitsIgnoreEntry(const ResultRow& row) {
    return FitsField(row.type) && FitsField(row.object) && FitsField(row.category) && FitsField(row.comment);
}

std::string IgnoreEntryOf(const ResultRow& row) {
    std::string entry = row.type + "|" + row.object + "|" + row.category;
    if (!row.comment.empty()) entry += "|" + row.comment;
    return entry;
}

void IgnoreList::SetButton(bool& button, bool enabled) {
    button = enabled;
    ui_.Changed(View::Buttons);
}

void IgnoreList::Save() {
    if (saveData_) saveData_();
}

void IgnoreList::AddCheckedRows(std::vector<ResultRow>& rows, bool& button, bool logRows) {
    SetButton(button, false);
    if (logRows) {
        // The header goes in even when nothing is checked: the log shows the command ran.
        state_.lstLog.emplace_back();
        state_.lstLog.emplace_back(" Following items added to Ignore List:");
        ui_.Changed(View::Log);
    }
    for (size_t i = 0; i < rows.size(); ++i) {
        const ResultRow& row = rows[i];
        if (row.checked && !FitsIgnoreEntry(row)) {
            // Read back, the entry would split into other fields or lines and name something
            // else: it is refused, and said so even where the added rows are not logged.
            state_.lstLog.push_back(" Not added to Ignore List, its text holds a line break or \"|\": " +
                                    FlattenLine(row.type + ":" + row.object));
            ui_.Changed(View::Log);
        } else if (row.checked) {
            state_.lstIgnoreListFile.push_back(IgnoreEntryOf(row));
            if (logRows) {
                state_.lstLog.push_back(ReportLine(row, false));
                ui_.Changed(View::Log);
            }
        }
        ui_.Yield();
    }
    Save();
    ui_.Yield();
    SetButton(button, true);
}

void IgnoreList::cmdIgnoreSelected() {
    AddCheckedRows(state_.lstScanResult, state_.buttons.cmdIgnoreSelected, true);
}

void IgnoreList::cmdIgnoreIremovable() {
    AddCheckedRows(state_.lstIremovable, state_.buttons.cmdIgnoreIremovable, false);
}

void IgnoreList::cmdDeleteSelected() {
    SetButton(state_.buttons.cmdDeleteSelected, false);
    // The kept entries are gathered aside and put in place at once, so a scan that runs inside
    // one of the yields never tests its finds against a half-rebuilt list.
    std::vector<std::string> kept;
    SignatureItem item;
    for (size_t i = 0; i < state_.lstIgnoreList.size(); ++i) {
        const ResultRow& row = state_.lstIgnoreList[i];
        if (!row.checked) {
            // A row still showing its own line keeps that line as written: an entry edited by
            // hand with a fifth field or a trailing bar is not cut down by deleting another.
            bool sameLine = false;
            if (i < state_.lstIgnoreListFile.size()) {
                SplitItem(state_.lstIgnoreListFile[i], item);
                sameLine = item.type() == row.type && item.object() == row.object &&
                           item.category() == row.category && item.comment() == row.comment;
            }
            kept.push_back(sameLine ? state_.lstIgnoreListFile[i] : IgnoreEntryOf(row));
        }
        ui_.Yield();
    }
    state_.lstIgnoreListFile = std::move(kept);
    Save();
    ui_.Yield();
    LoadIgnoredToList();
    ui_.Yield();
    SetButton(state_.buttons.cmdDeleteSelected, true);
}

void IgnoreList::LoadIgnoredToList() {
    std::vector<ResultRow> rows;
    rows.reserve(state_.lstIgnoreListFile.size());
    SignatureItem item;
    for (size_t i = 0; i < state_.lstIgnoreListFile.size(); ++i) {
        SplitItem(state_.lstIgnoreListFile[i], item);
        ResultRow row;
        row.type = item.type();
        row.category = item.category();
        row.object = item.object();
        row.comment = item.comment();
        rows.push_back(std::move(row));
        ui_.Yield();
    }
    state_.lstIgnoreList = std::move(rows);
    ui_.Changed(View::IgnoreList);
}

template <typename Row>
void IgnoreList::Select(std::vector<Row>& rows, Selection selection, View view) {
    for (size_t i = 0; i < rows.size(); ++i) {
        bool& checked = rows[i].checked;
        checked = selection == Selection::All ? true : selection == Selection::None ? false : !checked;
        ui_.Yield();
    }
    ui_.Changed(view);
}

void IgnoreList::mnuResultListAll_Click() {
    Select(state_.lstScanResult, Selection::All, View::ScanResults);
}
void IgnoreList::mnuResultListNone_Click() {
    Select(state_.lstScanResult, Selection::None, View::ScanResults);
}
void IgnoreList::mnuResultListInverse_Click() {
    Select(state_.lstScanResult, Selection::Inverse, View::ScanResults);
}
void IgnoreList::mnuIgnoreListAll_Click() {
    Select(state_.lstIgnoreList, Selection::All, View::IgnoreList);
}
void IgnoreList::mnuIgnoreListNone_Click() {
    Select(state_.lstIgnoreList, Selection::None, View::IgnoreList);
}
void IgnoreList::mnuIgnoreListInverse_Click() {
    Select(state_.lstIgnoreList, Selection::Inverse, View::IgnoreList);
}
void IgnoreList::mnuQuarantineListAll_Click() {
    Select(state_.lstQuarantinedList, Selection::All, View::QuarantineList);
}
void IgnoreList::mnuQuarantineListNone_Click() {
    Select(state_.lstQuarantinedList, Selection::None, View::QuarantineList);
}
void IgnoreList::mnuQuarantineListInverse_Click() {
    Select(state_.lstQuarantinedList, Selection::Inverse, View::QuarantineList);
}

}  // namespace pellora
