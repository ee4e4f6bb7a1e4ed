// Text bound for one line of the program's line files (the settings lists, the selected folders,
// the ignore list, the quarantine records). Those files are read back by cutting at line ends and,
// where a line has fields, at "|": a value holding either would move every later line or field.
// Callers check a value before it enters a list (and refuse it with a log line), or flatten it
// where the line's position is all that matters; saving flattens whatever slipped through, so a
// file's layout never moves.
#pragma once

#include <string>
#include <string_view>

#include "core/ports/system.h"

namespace pellora {

inline constexpr char kFieldSeparator = '|';

// True when `text` holds a CR or an LF.
bool HoldsLineBreak(std::string_view text);
// True when `text` can be one whole field of a "|"-separated line: no line break, no "|".
bool FitsField(std::string_view text);
// `text` with each line end (CR LF, lone CR, lone LF) replaced by one blank.
std::string FlattenLine(std::string_view text);

// The bytes a line file is written as: the ANSI code page when it holds the text, else UTF-8
// after a byte-order mark (a folder named in Cyrillic or Chinese must not come back as "?"; so
// does text whose ANSI bytes would begin with that mark).
// Text the code page holds is written exactly as before.
std::string EncodeLineFile(SystemPort& system, const std::string& utf8);
// The text of a line file written by EncodeLineFile (or by an older version: ANSI).
std::string DecodeLineFile(SystemPort& system, std::string_view bytes);

}  // namespace pellora
