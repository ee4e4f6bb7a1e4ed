#include "core/app/status_panel.h"

#include <charconv>
#include <cmath>

#include "core/util/text.h"

namespace pellora {

std::string FormatWithSignRoom(double number) {
    char buffer[64];
    std::to_chars_result result{};
    if (std::isfinite(number) && std::fabs(number) < 9.2e18 && number == std::trunc(number)) {
        result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<int64_t>(number));
    } else {
        result = std::to_chars(buffer, buffer + sizeof buffer, number);
    }
    std::string text(buffer, result.ptr);
    if (number >= 0 || text.empty() || text[0] != '-') text.insert(text.begin(), ' ');
    return text;
}

std::string FormatAddress(const std::vector<uint8_t>& bytes) {
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i) text += '.';
        text += std::to_string(bytes[i]);
    }
    return text;
}

void StatusPanel::Tell(const std::string& text) {
    ui_.Message(text, kAppTitle, MsgButtons::Ok, MsgIcon::None);
}

std::string StatusPanel::CurrentAddress() {
    using Failure = HostAddressResult::Failure;
    HostAddressResult result = system_.HostAddress();
    std::string address;
    switch (result.failure) {
        case Failure::StartupFailed:
            Tell("The 32-bit Windows Socket is not responding.");
            break;
        case Failure::NoSockets:
            Tell("This application requires a minimum of 1 supported sockets.");
            break;
        case Failure::VersionTooLow:
            Tell("Sockets version " + std::to_string(result.versionMajor) + "." + std::to_string(result.versionMinor) +
                 " is not supported by 32-bit Windows Sockets.");
            break;
        case Failure::HostNameFailed:
            Tell("Windows Sockets error " + std::to_string(result.socketError) +
                 " has occurred. Unable to successfully get Host Name.");
            break;
        case Failure::ResolveFailed:
            Tell("Windows Sockets are not responding. Unable to successfully get Host Name.");
            break;
        case Failure::None:
            address = FormatAddress(result.address);
            break;
    }
    if (result.cleanupFailed) Tell("Socket error occurred in Cleanup.");
    return address;
}

size_t StatusPanel::CountQuarantined() {
    state_.lstQuarantinedFiles.clear();
    // The listing leaves out "desktop.ini"; a missing folder lists nothing.
    finder_.CollectFileNames(state_.appFolder + "\\Quarantine\\", "*.*", state_.lstQuarantinedFiles, false);
    return state_.lstQuarantinedFiles.size();
}

void StatusPanel::StatusInfoDisplay() {
    StatusFigures& figures = state_.status;
    figures.currentIp = CurrentAddress();
    figures.lastScan = Line(state_.lstScanInfoFile, 0);
    figures.noOfScans = FormatWithSignRoom(LeadingNumber(Line(state_.lstScanInfoFile, 1)));
    figures.totalItemsRemoved = FormatWithSignRoom(LeadingNumber(Line(state_.lstScanInfoFile, 2)));
    figures.noInIgnoreList = std::to_string(state_.lstIgnoreListFile.size());
    figures.noQuarantined = std::to_string(CountQuarantined());
    ui_.Changed(View::StatusFigures);
}

}  // namespace pellora
