// The console program's user-interface port. Nothing it does waits for a person: a message box
// of the window becomes its text on standard error, and a question takes the answer the
// command's options gave for it (by the question's title or text), else No. Yield has no event
// loop to serve; on a console it redraws one progress line on standard error, at most a few
// times a second, from whatever text the runner supplies. Standard output never sees any of it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "core/ports/clock.h"
#include "core/ports/ui.h"

namespace pellora::cli {

// Where the program's text goes: standard output or standard error, a console or a pipe.
class TextOutput {
  public:
    virtual ~TextOutput() = default;
    // UTF-8 text, written as it is (line ends included by the caller).
    virtual void Write(std::string_view text) = 0;
};

// How often the progress line may change.
inline constexpr uint64_t kProgressIntervalMs = 250;
// Width of the progress line; a console narrower than this wraps it, so keep it modest.
inline constexpr size_t kProgressColumns = 79;

class ConsoleUi : public UiPort {
  public:
    ConsoleUi(TextOutput& err, ClockPort& clock, bool showProgress)
        : err_(err), clock_(clock), progress_(showProgress) {}

    struct Rule {
        MsgAnswer answer = MsgAnswer::No;
        bool quiet = false;  // take the answer without writing the question out
    };
    // The answer to a Yes/No question with this title or this exact text (the text wins).
    void AnswerTitle(const std::string& title, Rule rule) { byTitle_[title] = rule; }
    void AnswerText(const std::string& text, Rule rule) { byText_[text] = rule; }

    // The progress line's text; "" shows none. Read only when the line is due.
    std::function<std::string()> progressText;
    // Told of every change the core reports, before anything else happens.
    std::function<void(View)> onChanged;
    // Run once, inside the first Yield after `flag` is set (from another thread: Ctrl+C).
    void WatchInterrupt(const std::atomic<bool>* flag, std::function<void()> onInterrupt) {
        interruptFlag_ = flag;
        onInterrupt_ = std::move(onInterrupt);
    }

    void Yield() override;
    MsgAnswer Message(const std::string& text, const std::string& title, MsgButtons buttons, MsgIcon icon) override;
    void Changed(View view) override;
    // Every command of the console program runs unattended.
    bool Unattended() override { return true; }

    // Removes the progress line, so that what follows starts on a clean line.
    void ClearProgress();

  private:
    void DrawProgress();

    TextOutput& err_;
    ClockPort& clock_;
    bool progress_;
    std::map<std::string, Rule> byTitle_;
    std::map<std::string, Rule> byText_;
    const std::atomic<bool>* interruptFlag_ = nullptr;
    std::function<void()> onInterrupt_;
    bool interruptTaken_ = false;
    uint64_t yields_ = 0;
    uint64_t drawnAt_ = 0;
    size_t drawnLength_ = 0;  // characters of the progress line now on the console
};

}  // namespace pellora::cli
