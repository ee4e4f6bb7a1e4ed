// Shell links built byte by byte after the published layout:
//   header (76 bytes): HeaderSize 0x4C, the link class id, LinkFlags at 20, then attributes,
//     three times, size, icon index, show command, hot key and reserved fields;
//   [HasLinkTargetIDList] IDListSize (2 bytes) and the item ids;
//   [HasLinkInfo] LinkInfoSize, LinkInfoHeaderSize (0x1C, or 0x24 with Unicode offsets),
//     LinkInfoFlags (1: volume id and local base path, 2: network share), VolumeIDOffset,
//     LocalBasePathOffset,
//     CommonNetworkRelativeLinkOffset, CommonPathSuffixOffset, [LocalBasePathOffsetUnicode,
//     CommonPathSuffixOffsetUnicode], then the volume id and the NUL-terminated strings;
//   the counted strings (2-byte count of characters) for each flag that is set, in the order
//     name, relative path, working folder, arguments, icon location;
//   extra data blocks (size, signature, data), ended by a 4-byte zero.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/util/utf16.h"

namespace pellora::autostart::test_links {

constexpr uint32_t kHasIdList = 0x1, kHasLinkInfo = 0x2, kHasName = 0x4, kHasWorkingDir = 0x10, kHasArguments = 0x20,
                   kHasIconLocation = 0x40, kIsUnicode = 0x80, kHasExpString = 0x200;

inline void Put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>((v >> 8) & 0xFF);
}

inline void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

struct LinkSpec {
    bool unicode = true;
    bool idList = true;
    bool linkInfoUnicode = true;  // LinkInfo header of 0x24 bytes with UTF-16 paths
    std::string basePath = R"(C:\Program Files\)";
    std::string suffix = "Browser\\browser.exe";
    std::string name = "Browser";
    std::string workingDir = R"(C:\Program Files\Browser)";
    std::optional<std::string> arguments = std::string("--start http://evil.example/");
    std::string iconLocation = R"(C:\Program Files\Browser\browser.exe)";
    std::string environmentTarget;  // when set, an environment-variables block
    bool useEnvironmentTarget = false;
    // When set, the link info names this share (a common network relative link: size, flags,
    // NetNameOffset 0x14, DeviceNameOffset, provider type, the name) instead of a local path.
    std::string shareName;
};

inline std::string Counted(const LinkSpec& spec, const std::string& text) {
    std::string out;
    const std::string bytes = spec.unicode ? Utf8ToUtf16Le(text) : text;
    Put16(out, static_cast<uint32_t>(spec.unicode ? bytes.size() / 2 : bytes.size()));
    return out + bytes;
}

inline std::string BuildLink(const LinkSpec& spec) {
    uint32_t flags = kHasLinkInfo | kHasName | kHasWorkingDir | kHasIconLocation;
    if (spec.unicode)
        flags |= kIsUnicode;
    if (spec.idList)
        flags |= kHasIdList;
    if (spec.arguments)
        flags |= kHasArguments;
    if (spec.useEnvironmentTarget)
        flags |= kHasExpString;
    std::string out;
    Put32(out, 0x4C);
    out += std::string("\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);
    Put32(out, flags);
    Put32(out, 0x20);              // file attributes
    out += std::string(24, '\0');  // creation, access and write times
    Put32(out, 1234);              // file size
    Put32(out, 0);                 // icon index
    Put32(out, 1);                 // show normal
    Put16(out, 0);                 // hot key
    out += std::string(10, '\0');  // reserved
    if (spec.idList) {
        Put16(out, 6);
        out += std::string("\x04\x00\xAB\xCD\x00\x00", 6);  // one 4-byte item, then the terminator
    }
    // LinkInfo.
    const uint32_t headerSize = spec.linkInfoUnicode ? 0x24 : 0x1C;
    std::string volume;
    Put32(volume, 0x10);  // VolumeIDSize
    Put32(volume, 3);     // fixed drive
    Put32(volume, 0x1234ABCD);
    Put32(volume, 0x10);  // label offset: empty label
    std::string strings = volume;
    uint32_t networkAt = 0;
    if (!spec.shareName.empty()) {
        networkAt = headerSize + static_cast<uint32_t>(strings.size());
        Put32(strings, 0x14 + static_cast<uint32_t>(spec.shareName.size()) + 1);
        Put32(strings, 0);
        Put32(strings, 0x14);
        Put32(strings, 0);
        Put32(strings, 0x20000);
        strings += spec.shareName + '\0';
    }
    const uint32_t baseAt = headerSize + static_cast<uint32_t>(strings.size());
    strings += spec.basePath + '\0';
    const uint32_t suffixAt = headerSize + static_cast<uint32_t>(strings.size());
    strings += spec.suffix + '\0';
    uint32_t baseUnicodeAt = 0, suffixUnicodeAt = 0;
    if (spec.linkInfoUnicode) {
        baseUnicodeAt = headerSize + static_cast<uint32_t>(strings.size());
        strings += Utf8ToUtf16Le(spec.basePath) + std::string(2, '\0');
        suffixUnicodeAt = headerSize + static_cast<uint32_t>(strings.size());
        strings += Utf8ToUtf16Le(spec.suffix) + std::string(2, '\0');
    }
    Put32(out, headerSize + static_cast<uint32_t>(strings.size()));
    Put32(out, headerSize);
    Put32(out, spec.shareName.empty() ? 1 : 2);  // local path, or network share
    Put32(out, headerSize);
    Put32(out, baseAt);
    Put32(out, networkAt);
    Put32(out, suffixAt);
    if (spec.linkInfoUnicode) {
        Put32(out, baseUnicodeAt);
        Put32(out, suffixUnicodeAt);
    }
    out += strings;
    out += Counted(spec, spec.name);
    out += Counted(spec, spec.workingDir);
    if (spec.arguments)
        out += Counted(spec, *spec.arguments);
    out += Counted(spec, spec.iconLocation);
    if (!spec.environmentTarget.empty()) {
        Put32(out, 0x314);
        Put32(out, 0xA0000001);
        std::string ansi = spec.environmentTarget;
        ansi.resize(260, '\0');
        std::string wide = Utf8ToUtf16Le(spec.environmentTarget);
        wide.resize(520, '\0');
        out += ansi + wide;
    }
    Put32(out, 0);  // terminal block
    return out;
}

}  // namespace pellora::autostart::test_links
