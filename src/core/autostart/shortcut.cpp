#include "core/autostart/shortcut.h"

#include <cstdint>
#include <cstring>

#include "core/util/utf16.h"

namespace pellora::autostart {

namespace {

constexpr uint32_t kHeaderSize = 0x4C;
constexpr uint8_t kLinkClsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                    0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// Link flags.
constexpr uint32_t kHasIdList = 0x1;
constexpr uint32_t kHasLinkInfo = 0x2;
constexpr uint32_t kHasName = 0x4;
constexpr uint32_t kHasRelativePath = 0x8;
constexpr uint32_t kHasWorkingDir = 0x10;
constexpr uint32_t kHasArguments = 0x20;
constexpr uint32_t kHasIconLocation = 0x40;
constexpr uint32_t kIsUnicode = 0x80;
constexpr uint32_t kForceNoLinkInfo = 0x100;
constexpr uint32_t kHasExpString = 0x200;

constexpr uint32_t kEnvironmentBlock = 0xA0000001;
constexpr uint32_t kEnvironmentBlockSize = 0x314;

uint32_t U16(std::string_view b, size_t at) {
    return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8;
}

uint32_t U32(std::string_view b, size_t at) {
    return U16(b, at) | U16(b, at + 2) << 16;
}

bool Fits(std::string_view b, size_t at, size_t length) {
    return at <= b.size() && length <= b.size() - at;
}

std::string Latin1(std::string_view bytes) {
    std::string out;
    for (char c : bytes)
        AppendUtf8(out, static_cast<uint8_t>(c));
    return out;
}

std::string Ansi(std::string_view bytes, const AnsiConverter& convert) {
    return convert ? convert(bytes) : Latin1(bytes);
}

// A NUL-terminated ANSI string inside [at, end): nothing when it has no terminator there.
std::optional<std::string_view> AnsiZ(std::string_view b, size_t at, size_t end) {
    if (at >= end || end > b.size())
        return std::nullopt;
    const size_t nul = b.find('\0', at);
    if (nul == std::string_view::npos || nul >= end)
        return std::nullopt;
    return b.substr(at, nul - at);
}

// A NUL-terminated UTF-16 string inside [at, end), as its bytes.
std::optional<std::string_view> UnicodeZ(std::string_view b, size_t at, size_t end) {
    if (at >= end || end > b.size())
        return std::nullopt;
    for (size_t i = at; i + 1 < end; i += 2)
        if (b[i] == 0 && b[i + 1] == 0)
            return b.substr(at, i - at);
    return std::nullopt;
}

// The share name (\\server\share) of a common network relative link at `at`, whose own
// size bounds it inside the link info ending at `end`; "" when it is damaged.
std::string NetworkName(std::string_view b, size_t at, size_t end, const AnsiConverter& ansi) {
    if (!Fits(b, at, 0x14) || at + 0x14 > end)
        return {};
    const size_t size = U32(b, at);
    if (size < 0x14 || size > end - at)
        return {};
    const size_t nameOffset = U32(b, at + 8);
    if (nameOffset > 0x14 && size >= 0x1C) {
        if (auto wide = UnicodeZ(b, at + U32(b, at + 20), at + size))
            return Utf16LeToUtf8(*wide);
    }
    if (auto name = nameOffset ? AnsiZ(b, at + nameOffset, at + size) : std::nullopt)
        return Ansi(*name, ansi);
    return {};
}

// Where each part of the link lies.
struct Layout {
    uint32_t flags = 0;
    size_t stringsStart = 0;  // first counted string
    size_t argumentsAt = 0;   // where the arguments string is (or would be inserted)
    size_t argumentsEnd = 0;  // end of its bytes (== argumentsAt when absent)
    size_t extraStart = 0;    // first extra data block
};

std::optional<Layout> Parse(std::string_view b, Shortcut& out, const AnsiConverter& ansi) {
    if (b.size() < kHeaderSize || U32(b, 0) != kHeaderSize || std::memcmp(b.data() + 4, kLinkClsid, 16) != 0)
        return std::nullopt;
    Layout layout;
    layout.flags = U32(b, 20);
    const uint32_t flags = layout.flags;
    out.unicode = (flags & kIsUnicode) != 0;
    size_t at = kHeaderSize;
    if (flags & kHasIdList) {
        if (!Fits(b, at, 2))
            return std::nullopt;
        const size_t size = U16(b, at);
        if (!Fits(b, at + 2, size))
            return std::nullopt;
        at += 2 + size;
    }
    if (flags & kHasLinkInfo) {
        if (!Fits(b, at, 0x1C))
            return std::nullopt;
        const size_t size = U32(b, at);
        const size_t headerSize = U32(b, at + 4);
        if (size < 0x1C || !Fits(b, at, size) || headerSize < 0x1C || headerSize > size)
            return std::nullopt;
        const size_t end = at + size;
        const uint32_t infoFlags = U32(b, at + 8);
        const size_t localOffset = U32(b, at + 16);
        const size_t suffixOffset = U32(b, at + 24);
        std::string base;
        std::string suffix;
        bool haveUnicode = false;
        if (headerSize >= 0x24 && Fits(b, at, 0x24)) {
            const size_t localUnicode = U32(b, at + 28);
            const size_t suffixUnicode = U32(b, at + 32);
            auto local = (infoFlags & 1) && localUnicode ? UnicodeZ(b, at + localUnicode, end) : std::nullopt;
            auto common = suffixUnicode ? UnicodeZ(b, at + suffixUnicode, end) : std::nullopt;
            if (local) {
                base = Utf16LeToUtf8(*local);
                if (common)
                    suffix = Utf16LeToUtf8(*common);
                haveUnicode = true;
            }
        }
        if (!haveUnicode) {
            if (auto local = (infoFlags & 1) && localOffset ? AnsiZ(b, at + localOffset, end) : std::nullopt)
                base = Ansi(*local, ansi);
            if (auto common = suffixOffset ? AnsiZ(b, at + suffixOffset, end) : std::nullopt)
                suffix = Ansi(*common, ansi);
        }
        const size_t networkOffset = U32(b, at + 20);
        if (base.empty() && (infoFlags & 2) && networkOffset)
            base = NetworkName(b, at + networkOffset, end, ansi);
        if (!base.empty() && !suffix.empty() && base.back() != '\\')
            base += '\\';
        // A link marked to ignore its link info still carries it: checked and stepped over.
        if (!(flags & kForceNoLinkInfo))
            out.linkInfoPath = base + suffix;
        at = end;
    }
    layout.stringsStart = at;
    const uint32_t stringFlags[] = {kHasName, kHasRelativePath, kHasWorkingDir, kHasArguments, kHasIconLocation};
    std::string* targets[] = {&out.name, &out.relativePath, &out.workingDirectory, &out.arguments, &out.iconLocation};
    const size_t unit = out.unicode ? 2 : 1;
    for (size_t i = 0; i < 5; ++i) {
        if (stringFlags[i] == kHasArguments)
            layout.argumentsAt = layout.argumentsEnd = at;
        if (!(flags & stringFlags[i]))
            continue;
        if (!Fits(b, at, 2))
            return std::nullopt;
        const size_t length = U16(b, at) * unit;
        if (!Fits(b, at + 2, length))
            return std::nullopt;
        const std::string_view text = b.substr(at + 2, length);
        *targets[i] = out.unicode ? Utf16LeToUtf8(text) : Ansi(text, ansi);
        at += 2 + length;
        if (stringFlags[i] == kHasArguments)
            layout.argumentsEnd = at;
    }
    layout.extraStart = at;
    // Extra data blocks, up to the terminal block (size under 4) or the end of the bytes.
    while (Fits(b, at, 4)) {
        const size_t size = U32(b, at);
        if (size < 8 || !Fits(b, at, size))
            break;
        if (U32(b, at + 4) == kEnvironmentBlock && size >= kEnvironmentBlockSize) {
            auto unicodeTarget = UnicodeZ(b, at + 268, at + 268 + 520);
            auto ansiTarget = AnsiZ(b, at + 8, at + 8 + 260);
            if (unicodeTarget && !unicodeTarget->empty())
                out.environmentTarget = Utf16LeToUtf8(*unicodeTarget);
            else if (ansiTarget)
                out.environmentTarget = Ansi(*ansiTarget, ansi);
        }
        at += size;
    }
    if ((flags & kHasExpString) && !out.environmentTarget.empty())
        out.target = out.environmentTarget;
    else if (!out.linkInfoPath.empty())
        out.target = out.linkInfoPath;
    else
        out.target = out.environmentTarget;
    return layout;
}

}  // namespace

std::optional<Shortcut> ReadShortcut(std::string_view bytes, const AnsiConverter& ansiToUtf8) {
    Shortcut link;
    if (!Parse(bytes, link, ansiToUtf8))
        return std::nullopt;
    return link;
}

std::optional<std::string> ReplaceArguments(std::string_view bytes,
                                            std::string_view newArguments,
                                            const AnsiConverter& utf8ToAnsi) {
    Shortcut link;
    const std::optional<Layout> layout = Parse(bytes, link, {});
    if (!layout)
        return std::nullopt;
    std::string encoded;
    size_t count = 0;
    if (link.unicode) {
        encoded = Utf8ToUtf16Le(newArguments);
        count = encoded.size() / 2;
    } else {
        encoded = utf8ToAnsi ? utf8ToAnsi(newArguments) : std::string(newArguments);
        count = encoded.size();
    }
    if (count > 0xFFFF)
        return std::nullopt;
    std::string out;
    out.reserve(bytes.size() + encoded.size() + 2);
    out.append(bytes.substr(0, layout->argumentsAt));
    out += static_cast<char>(count & 0xFF);
    out += static_cast<char>(count >> 8);
    out += encoded;
    out.append(bytes.substr(layout->argumentsEnd));
    out[20] = static_cast<char>(static_cast<uint8_t>(out[20]) | kHasArguments);
    return out;
}

}  // namespace pellora::autostart
