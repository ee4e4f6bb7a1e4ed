// User-interface port: what the core asks of whatever front end drives it (the window, the
// console program, a test). Messages carry the program's exact texts; Yield lets the front end
// service its events during long operations (it may do nothing for most calls, but must keep
// the window live and let "Abort" act); Changed tells it which part of the model to redraw.
#pragma once

#include <string>

namespace pellora {

enum class MsgButtons { Ok, YesNo };
enum class MsgIcon { None, Error, Question, Information, Exclamation };
enum class MsgAnswer { Ok, Yes, No };

// Parts of the model a front end may show.
enum class View {
    Panel,           // which panel and title are visible
    Splash,          // the splash label
    StatusFigures,   // status panel figures
    Settings,        // settings check boxes, scan mode, timers
    ScanProgress,    // current operation, counters, Abort/Next caption, progress block
    ScanResults,     // lstScanResult
    Irremovable,     // lstIremovable
    Log,             // lstLog
    IgnoreList,      // lstIgnoreList
    QuarantineList,  // lstQuarantinedList and its count
    QuarantineItems, // lstQuarantinedItems
    Buttons,         // enabled state of the command buttons
    Window,          // window state (minimised, shown)
    Update,          // update panel: address, progress, lblBytesRead, Start/Cancel
};

class UiPort {
public:
    virtual ~UiPort() = default;

    virtual void Yield() = 0;
    virtual MsgAnswer Message(const std::string& text, const std::string& title, MsgButtons buttons, MsgIcon icon) = 0;
    virtual void Changed(View view) = 0;
    // True while nobody may be there to answer (an unattended run): the shell's own dialogs must
    // then stay away too.
    virtual bool Unattended() { return false; }
};

// Title of message boxes that name none of their own: the program's title.
inline constexpr const char* kAppTitle = "Pellora";

}  // namespace pellora
