#include "core/scan/reference_matching.h"

#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora {

namespace {

// The last `count` characters, or the whole text when it is shorter.
std::string_view Right(std::string_view text, size_t count) {
    return count >= text.size() ? text : text.substr(text.size() - count);
}

std::string_view Left(std::string_view text, size_t count) {
    return text.substr(0, count);
}

}  // namespace

bool FilePatternMatchesPath(std::string_view pattern, std::string_view path) {
    size_t slash = path.rfind('\\');
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return false;
    std::string_view fileBase = name.substr(0, dot);
    std::string_view fileExt = name.substr(dot + 1);

    size_t patternDot = pattern.rfind('.');
    std::string_view patternExt = patternDot == std::string_view::npos ? pattern : pattern.substr(patternDot + 1);
    std::string_view patternBase =
        patternDot == std::string_view::npos ? std::string_view() : pattern.substr(0, patternDot);
    bool baseStar = patternBase.find('*') != std::string_view::npos;
    bool extStar = patternExt.find('*') != std::string_view::npos;

    // With a star in the extension, the star is taken as a single leading or trailing one: the
    // remaining L-1 characters must agree at the end or at the start of the file's extension.
    size_t rest = patternExt.size() - 1;
    auto endsAgree = [&] { return Right(fileExt, rest) == Right(patternExt, rest); };
    auto startsAgree = [&] { return Left(fileExt, rest) == Left(patternExt, rest); };

    if (!baseStar && !extStar)
        return fileBase == patternBase && fileExt == patternExt;
    if (baseStar && !extStar)
        return fileExt == patternExt;
    if (!baseStar) {
        if (patternExt == "*")
            return fileBase == patternBase;
        if (patternExt.front() == '*')
            return fileBase == patternBase && endsAgree();
        return fileBase == patternBase && startsAgree();
    }
    if (patternExt == "*")
        return false;
    if (patternExt.front() == '*')
        return endsAgree();
    return startsAgree();
}

bool ContainsPiece(std::string_view text, std::string_view piece) {
    if (piece.empty())
        return false;
    if (IsAscii(text) && IsAscii(piece))
        return FindIgnoreCase(text, piece) != std::string_view::npos;
    return ContainsOrdinalIgnoreCase(text, piece);
}

bool IsFolderOrBelow(std::string_view row, std::string_view folder) {
    if (!StartsWith(row, folder))
        return false;
    if (row.size() == folder.size())
        return true;
    return (!folder.empty() && folder.back() == '\\') || row[folder.size()] == '\\';
}

}  // namespace pellora
