#include "core/browsers/firefox_files.h"

#include "core/util/text.h"

namespace pellora::browsers {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

class PrefScanner {
  public:
    explicit PrefScanner(std::string_view text) : text_(text) {}

    void SkipBlanks() {
        while (pos_ < text_.size()) {
            if (IsBlank(text_[pos_])) {
                ++pos_;
            } else if (text_.substr(pos_, 2) == "//" || text_[pos_] == '#') {
                const size_t end = text_.find('\n', pos_);
                pos_ = end == std::string_view::npos ? text_.size() : end;
            } else if (text_.substr(pos_, 2) == "/*") {
                const size_t end = text_.find("*/", pos_ + 2);
                pos_ = end == std::string_view::npos ? text_.size() : end + 2;
            } else {
                return;
            }
        }
    }
    bool Take(char c) {
        SkipBlanks();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    bool TakeWord(std::string_view word) {
        SkipBlanks();
        if (text_.substr(pos_, word.size()) != word)
            return false;
        pos_ += word.size();
        return true;
    }
    bool AtQuote() {
        SkipBlanks();
        return pos_ < text_.size() && (text_[pos_] == '"' || text_[pos_] == '\'');
    }
    bool String(std::string& out) {
        SkipBlanks();
        if (pos_ >= text_.size() || (text_[pos_] != '"' && text_[pos_] != '\''))
            return false;
        const char quote = text_[pos_++];
        out.clear();
        while (pos_ < text_.size()) {
            // A string does not run over the end of its line: the next line is read afresh.
            if (text_[pos_] == '\n')
                return false;
            char c = text_[pos_++];
            if (c == quote)
                return true;
            if (c == '\\' && pos_ < text_.size()) {
                c = text_[pos_++];
                switch (c) {
                    case 'n':
                        c = '\n';
                        break;
                    case 't':
                        c = '\t';
                        break;
                    case 'r':
                        c = '\r';
                        break;
                    default:
                        break;  // \\ \" \' and anything else stand for themselves
                }
            }
            out += c;
        }
        return false;
    }
    bool Bare(std::string& out) {
        SkipBlanks();
        const size_t start = pos_;
        while (pos_ < text_.size() && !IsBlank(text_[pos_]) && text_[pos_] != ')' && text_[pos_] != ',')
            ++pos_;
        out.assign(text_.substr(start, pos_ - start));
        return !out.empty();
    }
    // Moves to the next line after a statement that did not parse.
    void NextLine() {
        const size_t end = text_.find('\n', pos_);
        pos_ = end == std::string_view::npos ? text_.size() : end + 1;
    }
    bool AtEnd() {
        SkipBlanks();
        return pos_ >= text_.size();
    }

  private:
    std::string_view text_;
    size_t pos_ = 0;
};

}  // namespace

std::vector<UserPref> ParseUserPrefs(std::string_view text) {
    std::vector<UserPref> prefs;
    PrefScanner scan(text);
    while (!scan.AtEnd()) {
        UserPref pref;
        const bool call = (scan.TakeWord("user_pref") || scan.TakeWord("pref") || scan.TakeWord("sticky_pref")) &&
                          scan.Take('(') && scan.String(pref.name) && scan.Take(',');
        if (call) {
            std::string value;
            pref.isString = scan.AtQuote();
            if ((pref.isString ? scan.String(value) : scan.Bare(value)) && scan.Take(')')) {
                scan.Take(';');
                pref.value = std::move(value);
                prefs.push_back(std::move(pref));
                continue;
            }
        }
        scan.NextLine();
    }
    return prefs;
}

std::vector<IniProfile> ParseProfilesIni(std::string_view text) {
    std::vector<IniProfile> profiles;
    IniProfile current;
    bool inProfile = false;
    auto flush = [&]() {
        if (inProfile && !current.path.empty())
            profiles.push_back(current);
        current = IniProfile();
    };
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view raw = text.substr(pos, end - pos);
        pos = end + 1;
        while (!raw.empty() && (raw.back() == '\r' || raw.back() == '\t'))
            raw.remove_suffix(1);
        const std::string line = TrimSpaces(raw);
        if (line.empty() || line[0] == ';' || line[0] == '#')
            continue;
        if (line.front() == '[') {
            flush();
            const std::string section = line.size() >= 2 && line.back() == ']' ? line.substr(1, line.size() - 2) : "";
            inProfile = StartsWith(ToLowerAscii(section), "profile");
            current.section = section;
            continue;
        }
        const size_t equals = line.find('=');
        if (!inProfile || equals == std::string::npos)
            continue;
        const std::string key = ToLowerAscii(TrimSpaces(std::string_view(line).substr(0, equals)));
        const std::string value = TrimSpaces(std::string_view(line).substr(equals + 1));
        if (key == "name")
            current.name = value;
        else if (key == "path")
            current.path = value;
        else if (key == "isrelative")
            current.isRelative = value == "1";
    }
    flush();
    return profiles;
}

}  // namespace pellora::browsers
