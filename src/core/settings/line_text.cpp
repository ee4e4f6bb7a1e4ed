#include "core/settings/line_text.h"

namespace pellora {

bool HoldsLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

bool FitsField(std::string_view text) {
    return text.find_first_of("\r\n|") == std::string_view::npos;
}

std::string FlattenLine(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            out += ' ';
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

namespace {
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";
}  // namespace

std::string EncodeLineFile(SystemPort& system, const std::string& utf8) {
    std::string bytes = system.Utf8ToAnsi(utf8);
    // ANSI text that begins with the mark's three bytes (the letters "ï»¿" of a Western code page)
    // would read back as the mark: such text goes as UTF-8 too.
    if (system.AnsiToUtf8(bytes) != utf8 || bytes.starts_with(kUtf8Mark))
        bytes = std::string(kUtf8Mark) + utf8;
    return bytes;
}

std::string DecodeLineFile(SystemPort& system, std::string_view bytes) {
    if (bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark)
        return std::string(bytes.substr(kUtf8Mark.size()));
    return system.AnsiToUtf8(std::string(bytes));
}

}  // namespace pellora
