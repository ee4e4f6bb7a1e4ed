#include "cli/console_ui.h"

namespace pellora::cli {

namespace {

// The clock is read only every so many yields: a scan yields millions of times.
constexpr uint64_t kYieldsPerClockRead = 64;

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// At most `columns` characters of UTF-8 text, never cutting a character in two.
std::string_view FirstColumns(std::string_view text, size_t columns, size_t& count) {
    count = 0;
    size_t end = 0;
    while (end < text.size()) {
        if (count == columns)
            break;
        ++end;
        while (end < text.size() && IsContinuationByte(text[end]))
            ++end;
        ++count;
    }
    return text.substr(0, end);
}

// The text on one line: each run of line breaks becomes one blank, so that a script reading
// standard error sees every message as one record.
std::string OneLine(std::string_view text) {
    std::string line;
    bool broken = false;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            broken = !line.empty();
            continue;
        }
        if (broken && line.back() != ' ')
            line += ' ';
        broken = false;
        line += c;
    }
    return line;
}

}  // namespace

void ConsoleUi::Yield() {
    if (interruptFlag_ && !interruptTaken_ && interruptFlag_->load(std::memory_order_relaxed)) {
        interruptTaken_ = true;
        if (onInterrupt_)
            onInterrupt_();
    }
    if (!progress_ || !progressText)
        return;
    if (++yields_ % kYieldsPerClockRead != 0)
        return;
    uint64_t now = clock_.MonotonicMs();
    if (drawnAt_ != 0 && now - drawnAt_ < kProgressIntervalMs)
        return;
    drawnAt_ = now == 0 ? 1 : now;
    DrawProgress();
}

void ConsoleUi::DrawProgress() {
    size_t columns = 0;
    const std::string full = progressText();
    std::string_view text = FirstColumns(full, kProgressColumns, columns);
    std::string line = "\r";
    line += text;
    // Blanks over the rest of a longer line drawn before.
    if (columns < drawnLength_)
        line.append(drawnLength_ - columns, ' ');
    err_.Write(line);
    drawnLength_ = columns;
}

void ConsoleUi::ClearProgress() {
    if (drawnLength_ == 0)
        return;
    std::string blank(drawnLength_ + 2, ' ');
    blank.front() = blank.back() = '\r';
    err_.Write(blank);
    drawnLength_ = 0;
    drawnAt_ = 0;
}

MsgAnswer ConsoleUi::Message(const std::string& text, const std::string& title, MsgButtons buttons, MsgIcon) {
    Rule rule;
    if (buttons == MsgButtons::Ok) {
        rule.answer = MsgAnswer::Ok;
    } else if (auto byText = byText_.find(text); byText != byText_.end()) {
        rule = byText->second;
    } else if (auto byTitle = byTitle_.find(title); byTitle != byTitle_.end()) {
        rule = byTitle->second;
    }
    if (rule.quiet)
        return rule.answer;

    std::string record = (title.empty() ? std::string(kAppTitle) : title) + ": " + OneLine(text);
    if (buttons == MsgButtons::YesNo)
        record += rule.answer == MsgAnswer::Yes ? " [Yes]" : " [No]";
    ClearProgress();
    err_.Write(record + "\n");
    return rule.answer;
}

void ConsoleUi::Changed(View view) {
    if (onChanged)
        onChanged(view);
}

}  // namespace pellora::cli
