// The user-interface port the core talks to, in front of the front end's own. While an
// unattended run is under way (an automatic scan and the removal run it starts), nobody may be
// at the screen, so a message box would stop the run until somebody came: instead its text goes
// into lstLog, which the removal run writes to DavEre.roz, and the run goes on with the answer
// it takes when nobody is asked (OK for a notice, No for a question). That holds for the removal
// run's home-page question too: nobody answers it, so the home page is not reset. Events served inside the run's yields (a click, another timer) are the front end's as usual:
// a message they show answers a person who is there. Outside such a run everything passes
// through unchanged.
#pragma once

#include <string>
#include <vector>

#include "core/ports/ui.h"

namespace pellora {

// Start of the log line that stands for a message box not shown.
inline constexpr const char* kNotShownPrefix = "Automatic scan, message not shown: ";

class UnattendedUi : public UiPort {
  public:
    UnattendedUi(UiPort& frontEnd, std::vector<std::string>& log) : frontEnd_(frontEnd), log_(log) {}

    // Unattended from construction to destruction; scopes may nest.
    class Scope {
      public:
        explicit Scope(UnattendedUi& ui) : ui_(ui) { ++ui_.depth_; }
        ~Scope() { --ui_.depth_; }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

      private:
        UnattendedUi& ui_;
    };

    bool unattended() const { return depth_ > 0; }

    void Yield() override;
    MsgAnswer Message(const std::string& text, const std::string& title, MsgButtons buttons, MsgIcon icon) override;
    void Changed(View view) override { frontEnd_.Changed(view); }
    bool Unattended() override { return depth_ > 0 || frontEnd_.Unattended(); }

  private:
    UiPort& frontEnd_;
    std::vector<std::string>& log_;
    int depth_ = 0;
};

}  // namespace pellora
