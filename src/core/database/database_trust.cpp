#include "core/database/database_trust.h"

#include <algorithm>

#include "core/database/item_parser.h"
#include "core/database/key_format.h"
#include "core/database/unlock.h"
#include "core/settings/settings_files.h"
#include "core/util/text.h"

namespace pellora {

namespace {

bool IsWellFormedItem(const std::string& line) {
    if (std::count(line.begin(), line.end(), '|') != 3 || KindOfLine(line) == ItemKind::Unknown)
        return false;
    SignatureItem item;
    SplitItem(line, item);
    return !TrimSpaces(item.object()).empty() && !TrimSpaces(item.category()).empty();
}

}  // namespace

bool UnlocksToDatabase(std::string_view bytes, std::string* version) {
    std::vector<std::string> lines = SplitTextLines(bytes, false);
    if (lines.empty())
        return false;
    const std::string first = UnlockText(lines[0], kDatabaseKey);
    if (TrimSpaces(first).empty())
        return false;
    for (unsigned char c : first) {
        if (c < 0x20 || c == 0x7F)
            return false;
    }
    for (size_t n = 1; n < lines.size(); ++n) {
        std::string line = UnlockText(lines[n], kDatabaseKey);
        if (ClassifyLine(n + 1, line) == LineKind::Signature && IsWellFormedItem(line)) {
            if (version)
                *version = first;
            return true;
        }
    }
    return false;
}

std::optional<uint64_t> SerialOfLine(std::string_view line) {
    if (!line.starts_with(kSerialKeyword))
        return 0;
    line.remove_prefix(kSerialKeyword.size());
    auto isBlank = [](char c) { return c == ' ' || c == '\t'; };
    if (line.empty() || !isBlank(line.front()))
        return std::nullopt;  // "@serialx", or "@serial" with no number
    while (!line.empty() && isBlank(line.front()))
        line.remove_prefix(1);
    while (!line.empty() && isBlank(line.back()))
        line.remove_suffix(1);
    if (line.empty() || line.size() > 19)
        return std::nullopt;
    uint64_t serial = 0;
    for (char c : line) {
        if (c < '0' || c > '9')
            return std::nullopt;
        serial = serial * 10 + static_cast<uint64_t>(c - '0');
    }
    return serial;
}

std::optional<uint64_t> DatabaseSerial(std::string_view lockedBytes) {
    // Lines end in LF (after an optional CR); a lone CR is a character of the scrambled text.
    const size_t firstEnd = lockedBytes.find('\n');
    if (firstEnd == std::string_view::npos)
        return 0;
    std::string_view second = lockedBytes.substr(firstEnd + 1);
    second = second.substr(0, second.find('\n'));
    if (!second.empty() && second.back() == '\r')
        second.remove_suffix(1);
    return SerialOfLine(UnlockText(second, kDatabaseKey));
}

bool IsKeyFileName(std::string_view name) {
    return name.size() > 4 && EqualsIgnoreCase(name.substr(name.size() - 4), ".pem");
}

std::vector<TrustedKey> LoadTrustedKeys(FileSystemPort& files, const std::string& folder) {
    std::vector<TrustedKey> keys;
    std::vector<FindEntry> entries;
    if (!files.FindEntries(folder + "\\*.pem", entries))
        return keys;
    std::sort(entries.begin(), entries.end(), [](const FindEntry& a, const FindEntry& b) { return a.name < b.name; });
    for (const FindEntry& entry : entries) {
        if (entry.attributes & file_attr::kDirectory)
            continue;
        // Windows matches "*.pem" against short names too ("OLD~1.PEM" of "old.pem_retired"):
        // a key counts only when its long name ends in ".pem".
        if (!IsKeyFileName(entry.name))
            continue;
        std::optional<std::string> text = files.ReadFile(folder + "\\" + entry.name);
        if (!text)
            continue;
        if (std::optional<std::string> key = P256PublicKeyFromPem(*text))
            keys.push_back({entry.name, std::move(*key)});
    }
    return keys;
}

std::optional<std::string> VerifyDetachedSignature(SignaturePort& signatures,
                                                   const std::vector<TrustedKey>& keys,
                                                   std::string_view data,
                                                   std::string_view signatureDer) {
    std::optional<std::string> raw = EcdsaSignatureToRaw(signatureDer);
    if (!raw)
        return std::nullopt;
    for (const TrustedKey& key : keys) {
        if (signatures.VerifyP256(key.publicKey, data, *raw))
            return key.name;
    }
    return std::nullopt;
}

}  // namespace pellora
