#include "core/protection/unattended_ui.h"


namespace pellora {

void UnattendedUi::Yield() {
    const int depth = depth_;
    depth_ = 0;
    frontEnd_.Yield();
    depth_ = depth;
}

MsgAnswer UnattendedUi::Message(const std::string& text, const std::string& title, MsgButtons buttons, MsgIcon icon) {
    if (depth_ == 0)
        return frontEnd_.Message(text, title, buttons, icon);
    // One log line per message: its line breaks become single blanks.
    std::string line = kNotShownPrefix;
    bool lastBreak = false;
    for (char c : text) {
        const bool lineBreak = c == '\r' || c == '\n';
        if (!lineBreak)
            line += c;
        else if (!lastBreak)
            line += ' ';
        lastBreak = lineBreak;
    }
    log_.push_back(std::move(line));
    frontEnd_.Changed(View::Log);
    return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
}

}  // namespace pellora
