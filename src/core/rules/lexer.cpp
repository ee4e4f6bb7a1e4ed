// Tokens of the rule language. Hex strings and regular expressions are not tokens: their bodies
// use characters the rest of the language gives other meanings (`/`, `"`, `{`), so the parser
// asks for them raw where the grammar expects one.
#include "core/rules/lexer.h"

#include "core/util/hex.h"

namespace pellora::rules {

bool IsIdentStart(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
bool IsIdentChar(char c) {
    return IsIdentStart(c) || (c >= '0' && c <= '9');
}

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Hex digits double as the digits of every base up to 16; 99 for anything else.
int DigitValue(char c) {
    int value = HexDigitValue(c);
    return value < 0 ? 99 : value;
}

}  // namespace

void Lexer::SkipSpaceAndComments() {
    while (pos_ < text_.size()) {
        char c = text_[pos_];
        if (c == '\n') {
            ++line_;
            ++pos_;
        } else if (c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v') {
            ++pos_;
        } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '/') {
            while (pos_ < text_.size() && text_[pos_] != '\n')
                ++pos_;
        } else if (c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '*') {
            pos_ += 2;
            while (pos_ < text_.size() && !(text_[pos_] == '*' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '/')) {
                if (text_[pos_] == '\n')
                    ++line_;
                ++pos_;
            }
            pos_ = pos_ < text_.size() ? pos_ + 2 : pos_;
        } else {
            return;
        }
    }
}

Token Lexer::Next() {
    SkipSpaceAndComments();
    Token token;
    token.begin = pos_;
    token.line = line_;
    if (pos_ >= text_.size())
        return token;
    char c = text_[pos_];
    auto readName = [&] {
        size_t start = pos_;
        while (pos_ < text_.size() && IsIdentChar(text_[pos_]))
            ++pos_;
        return std::string(text_.substr(start, pos_ - start));
    };
    if (IsIdentStart(c)) {
        token.kind = Tok::Ident;
        token.text = readName();
        return token;
    }
    if (IsDigit(c)) {
        token.kind = Tok::Int;
        int base = 10;
        if (c == '0' && pos_ + 1 < text_.size() && (text_[pos_ + 1] == 'x' || text_[pos_ + 1] == 'X')) {
            base = 16;
            pos_ += 2;
        } else if (c == '0' && pos_ + 1 < text_.size() && text_[pos_ + 1] == 'o') {
            base = 8;
            pos_ += 2;
        }
        size_t start = pos_;
        uint64_t value = 0;
        bool overflow = false;
        while (pos_ < text_.size() && DigitValue(text_[pos_]) < base) {
            uint64_t next = value * base + DigitValue(text_[pos_]);
            if (value > (uint64_t{1} << 59) || next > uint64_t(INT64_MAX))
                overflow = true;
            value = next;
            ++pos_;
        }
        if (pos_ == start || overflow) {
            token.kind = Tok::Error;
            token.text = overflow ? "number too large" : "bad number";
            return token;
        }
        if (base == 10 && pos_ + 1 < text_.size() && text_[pos_] == '.' && IsDigit(text_[pos_ + 1])) {
            token.kind = Tok::Error;
            token.text = "floating-point numbers are not supported";
            return token;
        }
        if (text_.substr(pos_, 2) == "KB" || text_.substr(pos_, 2) == "MB") {
            uint64_t scale = text_[pos_] == 'K' ? 1024 : 1024 * 1024;
            if (value > uint64_t(INT64_MAX) / scale) {
                token.kind = Tok::Error;
                token.text = "number too large";
                return token;
            }
            value *= scale;
            pos_ += 2;
        }
        if (pos_ < text_.size() && IsIdentChar(text_[pos_])) {
            token.kind = Tok::Error;
            token.text = "bad number";
            return token;
        }
        token.number = static_cast<int64_t>(value);
        return token;
    }
    if (c == '"') {
        ++pos_;
        size_t start = pos_;
        while (pos_ < text_.size() && text_[pos_] != '"' && text_[pos_] != '\n') {
            if (text_[pos_] == '\\' && pos_ + 1 < text_.size() && text_[pos_ + 1] != '\n')
                ++pos_;
            ++pos_;
        }
        if (pos_ >= text_.size() || text_[pos_] != '"') {
            token.kind = Tok::Error;
            token.text = "unterminated text string";
            return token;
        }
        token.kind = Tok::Text;
        token.text = std::string(text_.substr(start, pos_ - start));
        ++pos_;
        return token;
    }
    if (c == '$' || c == '#' || c == '@' || (c == '!' && !(pos_ + 1 < text_.size() && text_[pos_ + 1] == '='))) {
        ++pos_;
        token.kind = c == '$' ? Tok::StringId : c == '#' ? Tok::Count : c == '@' ? Tok::Offset : Tok::Length;
        token.text = readName();
        if (c == '$' && pos_ < text_.size() && text_[pos_] == '*') {
            token.text += '*';
            ++pos_;
        }
        return token;
    }
    static constexpr std::string_view kTwo[] = {"..", "<<", ">>", "<=", ">=", "==", "!="};
    for (std::string_view two : kTwo) {
        if (text_.substr(pos_, 2) == two) {
            token.kind = Tok::Punct;
            token.text = std::string(two);
            pos_ += 2;
            return token;
        }
    }
    static constexpr std::string_view kOne = "{}()[]:=,.+-*\\%&|^~<>/";
    if (kOne.find(c) != std::string_view::npos) {
        token.kind = Tok::Punct;
        token.text = std::string(1, c);
        ++pos_;
        return token;
    }
    token.kind = Tok::Error;
    token.text = "unexpected character";
    ++pos_;
    return token;
}

bool Lexer::ReadHex(std::string& body) {
    body.clear();
    while (pos_ < text_.size()) {
        char c = text_[pos_];
        if (c == '}') {
            ++pos_;
            return true;
        }
        if (c == '/' && pos_ + 1 < text_.size() && (text_[pos_ + 1] == '/' || text_[pos_ + 1] == '*')) {
            SkipSpaceAndComments();
            body += ' ';
            continue;
        }
        if (c == '\n')
            ++line_;
        if (c == '{' || c == '"')
            return false;
        body += c;
        ++pos_;
    }
    return false;
}

bool Lexer::ReadRegex(std::string& body, std::string& flags) {
    body.clear();
    flags.clear();
    while (pos_ < text_.size()) {
        char c = text_[pos_];
        if (c == '\n')
            return false;
        if (c == '\\' && pos_ + 1 < text_.size()) {
            if (text_[pos_ + 1] == '\n')
                return false;
            // An escaped slash is a slash to the expression.
            if (text_[pos_ + 1] != '/')
                body += c;
            body += text_[pos_ + 1];
            pos_ += 2;
            continue;
        }
        ++pos_;
        if (c == '/') {
            while (pos_ < text_.size() && (text_[pos_] == 'i' || text_[pos_] == 's'))
                flags += text_[pos_++];
            return true;
        }
        body += c;
    }
    return false;
}

}  // namespace pellora::rules
