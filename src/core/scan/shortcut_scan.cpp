// The "shortcut" items (persistence_kinds.h): the shortcuts of the desktops, Start menus, Quick
// Launch and Startup folders are read once per walk, at the first such item (a database without
// one reads none), and each link whose target or arguments hold an item's text is a find of its
// own: the .lnk's path as the object, the text in ResultRow::shortcutText and the identity of
// the file read in foundAs, so that the removal acts on that file only. A text that cannot be
// matched finds nothing; one that is in nearly every shortcut, or that matched too widely, finds
// rows no automatic run removes.
#include "core/database/persistence_kinds.h"
#include "core/scan/scanner.h"

namespace pellora {

void Scanner::TestShortcutItem() {
    const std::string text = item_.object();
    if (!ShortcutTextRefusal(text).empty())
        return;
    if (!shortcuts_) {
        SetCaption("Reading shortcuts...", true);
        shortcuts_ = autostart::ReadPlacedShortcuts(
            identity_, [this](std::string_view ansi) { return ports_.system.AnsiToUtf8(ansi); },
            autostart::ShortcutFolders(ports_.registry, ports_.system),
            [this] {
                ui_.Yield();
                return state_.busy;
            });
        SetCaption(kScanningItem + text);
    }
    const size_t firstRow = state_.lstScanResult.size();
    // By number, each find built before Record: its yield runs events, which may end this walk.
    for (size_t i = 0; shortcuts_ && i < shortcuts_->size(); ++i) {
        if (!state_.busy)
            return;
        const autostart::PlacedShortcut& placed = (*shortcuts_)[i];
        if (!autostart::ShortcutHolds(placed.link, text))
            continue;
        Find find;
        find.object = placed.path;
        find.category = item_.category();
        find.image = kImageFile;
        find.typeCounter = &ScanCounters::filesIdentified;
        find.shortcutText = text;
        find.foundAs = placed.identity;
        Record(std::move(find));
    }
    MarkManualOnly(ItemKind::Unknown, firstRow);
    const std::string loose = LooseShortcutText(text);
    for (size_t i = firstRow; !loose.empty() && i < state_.lstScanResult.size(); ++i)
        state_.manualOnlyRows.emplace(ManualOnlyKey(state_.lstScanResult[i]), loose);
}

}  // namespace pellora
