// The rule language's tokens (see lexer.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pellora::rules {

enum class Tok : uint8_t {
    End,
    Ident,     // keywords too
    Int,       // number, with its KB/MB suffix applied
    Text,      // "..." (text: the raw body, escapes not yet decoded)
    Punct,     // text: the operator or bracket
    StringId,  // $name, $name*, $*, $ (text: what follows `$`, with the `*`)
    Count,     // #name or # (text: the name)
    Offset,    // @name or @
    Length,    // !name or !
    Error,     // text: the reason
};

struct Token {
    Tok kind = Tok::End;
    std::string text;
    int64_t number = 0;
    size_t begin = 0;
    size_t line = 1;
};

class Lexer {
  public:
    explicit Lexer(std::string_view text) : text_(text) {}
    Token Next();

    // Raw reads right after an opening token: the body of a hex string up to its `}` (comments
    // removed), the body of a regular expression up to its unescaped `/` and its flags. False at
    // the end of the text or a bad character.
    bool ReadHex(std::string& body);
    bool ReadRegex(std::string& body, std::string& flags);

    size_t Position() const { return pos_; }
    size_t Line() const { return line_; }
    // Continues from `pos` (counting lines from `line`).
    void Seek(size_t pos, size_t line) {
        pos_ = pos;
        line_ = line;
    }

  private:
    void SkipSpaceAndComments();

    std::string_view text_;
    size_t pos_ = 0;
    size_t line_ = 1;
};

bool IsIdentStart(char c);
bool IsIdentChar(char c);

}  // namespace pellora::rules
