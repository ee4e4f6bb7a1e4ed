#include "core/quarantine/record_format.h"

#include "core/util/hex.h"

#include <array>
#include <charconv>

#include "core/database/item_parser.h"
#include "core/quarantine/storable_kinds.h"
#include "core/util/text.h"

namespace pellora {

std::string FormatRecord(const QuarantineRecord& record) {
    std::string text = record.type + "|" + record.storedItem + "|" + record.source;
    if (!record.parentIdentity.empty())
        text += "|" + record.parentIdentity;
    return text;
}

QuarantineRecord ParseRecord(std::string text) {
    std::array<std::string, 4> fields;
    // A fifth field makes the split fail; the first four are kept, as the classic reader kept
    // its three.
    (void)ParseItem(text, fields, "|");
    return QuarantineRecord{std::move(fields[0]), std::move(fields[1]), std::move(fields[2]), std::move(fields[3])};
}

std::string OriginalPlace(const QuarantineRecord& record) {
    const std::string lower = ToLowerAscii(record.type);
    if (lower == "service")
        return "service " + record.source;
    if (lower == "task")
        return "scheduled task " + record.source;
    if (lower == "hosts")
        return "hosts file: " + record.source;
    return record.source;
}

ObjectImage ImageOfRecordType(std::string_view type) {
    const StorableKind* kind = RestorableRecordKind(type);
    return kind ? kind->image : kImageNone;
}

bool IsSafeStoredItem(std::string_view item, bool folderCopy) {
    if (item.empty() || item.find_first_of(":/<>\"|?*") != std::string_view::npos)
        return false;
    // Windows ends a path at a NUL and refuses control characters in names; a damaged record
    // must not name "..<NUL>" and reach the package's parent that way.
    for (char c : item) {
        if (static_cast<unsigned char>(c) < 0x20)
            return false;
    }
    size_t steps = 0;
    size_t pos = 0;
    while (pos <= item.size()) {
        size_t end = item.find('\\', pos);
        if (end == std::string_view::npos)
            end = item.size();
        std::string_view step = item.substr(pos, end - pos);
        // Windows drops a name's trailing dots and blanks: "...", ". ." and the like name the
        // folder itself or its parent.
        while (!step.empty() && (step.back() == '.' || step.back() == ' '))
            step.remove_suffix(1);
        if (step.empty())
            return false;
        ++steps;
        pos = end + 1;
    }
    return steps == 1 || (folderCopy && steps == 2);
}

bool IsRecordName(std::string_view name) {
    return name.size() > 4 && EqualsIgnoreCase(name.substr(name.size() - 4), ".qnf");
}

std::optional<std::string> RecordNumber(std::string_view recordName) {
    if (!IsRecordName(recordName))
        return std::nullopt;
    std::string_view number = recordName.substr(0, recordName.size() - 4);
    if (number.empty() || number.find_first_not_of("0123456789") != std::string_view::npos)
        return std::nullopt;
    return std::string(number);
}

bool IsOwnPayload(std::string_view item, std::string_view number, bool folderCopy) {
    if (!folderCopy)
        return EqualsIgnoreCase(item, std::string(number) + ".qit");
    if (!IsSafeStoredItem(item, true))
        return false;
    size_t slash = item.find('\\');
    if (slash != std::string_view::npos)
        return item.substr(0, slash) == number;
    // The older layout: the copy directly under the folder's name.
    bool digits = item.find_first_not_of("0123456789") == std::string_view::npos;
    return !digits && !EndsWith(ToLowerAscii(item), ".qit") && !EndsWith(ToLowerAscii(item), ".qnf") &&
           !EndsWith(ToLowerAscii(item), ".sha256");
}

std::string DigestFileName(std::string_view number) {
    return std::string(number) + ".sha256";
}

namespace {

std::string LittleEndian(uint64_t value, size_t length) {
    std::string out(length, '\0');
    for (size_t i = 0; i < length; ++i)
        out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
}

uint64_t FromLittleEndian(std::string_view bytes) {
    uint64_t value = 0;
    for (size_t i = 0; i < bytes.size() && i < 8; ++i)
        value |= uint64_t{static_cast<unsigned char>(bytes[i])} << (8 * i);
    return value;
}

// Decimal digits with an optional sign, blanks around allowed; nothing else.
template <typename T>
std::optional<T> ParseDecimal(std::string_view text) {
    std::string trimmed = TrimSpaces(text);
    std::string_view digits = trimmed;
    if (digits.size() > 1 && digits[0] == '+' && digits[1] != '-')
        digits.remove_prefix(1);
    T value{};
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return value;
}

}  // namespace

std::string FormatFolderIdentity(const FileIdentity& folder) {
    auto hex = [](uint64_t value, int digits) {
        std::string out(static_cast<size_t>(digits), '0');
        for (int i = digits - 1; i >= 0; --i, value >>= 4)
            out[static_cast<size_t>(i)] = kHexDigits[value & 0xF];
        return out;
    };
    return hex(folder.volumeSerial, 8) + ":" + hex(folder.fileIdHigh, 16) + hex(folder.fileIdLow, 16) + ":" +
           folder.finalPath;
}

std::optional<FileIdentity> ParseFolderIdentity(std::string_view text) {
    constexpr size_t kPathStart = 8 + 1 + 32 + 1;
    if (text.size() <= kPathStart || text[8] != ':' || text[kPathStart - 1] != ':')
        return std::nullopt;
    auto number = [&](size_t from, size_t digits) -> std::optional<uint64_t> {
        uint64_t value = 0;
        for (size_t i = from; i < from + digits; ++i) {
            int digit = HexDigitValue(text[i]);
            if (digit < 0)
                return std::nullopt;
            value = value << 4 | static_cast<uint64_t>(digit);
        }
        return value;
    };
    std::optional<uint64_t> serial = number(0, 8);
    std::optional<uint64_t> high = number(9, 16);
    std::optional<uint64_t> low = number(25, 16);
    if (!serial || !high || !low)
        return std::nullopt;
    FileIdentity folder;
    folder.volumeSerial = static_cast<uint32_t>(*serial);
    folder.fileIdHigh = *high;
    folder.fileIdLow = *low;
    folder.finalPath = std::string(text.substr(kPathStart));
    folder.attributes = file_attr::kDirectory;
    return folder;
}

std::string EncodeSavedValue(const RegValue& value) {
    const std::string& data = value.data;
    bool plainText = data.find('\0') == std::string::npos;
    switch (value.type) {
        case kRegSz:
            if (plainText)
                return "String|" + data;
            break;
        case kRegExpandSz:
            if (plainText)
                return "ExpandString|" + data;
            break;
        case kRegDword:
            if (data.size() == 4)
                return "DWORD|" + std::to_string(static_cast<int32_t>(FromLittleEndian(data)));
            break;
        case kRegQword:
            if (data.size() == 8)
                return "QWORD|" + std::to_string(FromLittleEndian(data));
            break;
        case kRegMultiSz:
            return "MultiString|" + ToHex(data);
        case kRegBinary:
            return "Binary|" + ToHex(data);
        default:
            break;
    }
    return "Hex(" + std::to_string(value.type) + ")|" + ToHex(data);
}

std::optional<RegValue> DecodeSavedValue(std::string_view text) {
    size_t bar = text.find('|');
    if (bar == std::string_view::npos)
        return std::nullopt;
    std::string_view word = text.substr(0, bar);
    std::string_view data = text.substr(bar + 1);

    if (word == "DWORD") {
        // Signed as the store writes it; unsigned figures are taken too.
        auto number = ParseDecimal<int64_t>(data);
        if (!number || *number < INT32_MIN || *number > UINT32_MAX)
            return std::nullopt;
        return RegValue{kRegDword, LittleEndian(static_cast<uint64_t>(*number), 4)};
    }
    if (word == "QWORD") {
        auto number = ParseDecimal<uint64_t>(data);
        if (!number)
            return std::nullopt;
        return RegValue{kRegQword, LittleEndian(*number, 8)};
    }
    if (word == "ExpandString")
        return RegValue{kRegExpandSz, std::string(data)};
    if (word == "MultiString" || word == "Binary") {
        auto bytes = FromHex(data);
        if (!bytes)
            return std::nullopt;
        return RegValue{word == "Binary" ? uint32_t{kRegBinary} : uint32_t{kRegMultiSz}, std::move(*bytes)};
    }
    if (StartsWith(word, "Hex(") && EndsWith(word, ")")) {
        auto type = ParseDecimal<uint32_t>(word.substr(4, word.size() - 5));
        auto bytes = FromHex(data);
        if (!type || !bytes)
            return std::nullopt;
        return RegValue{*type, std::move(*bytes)};
    }
    // The classic reader took every word that begins with "String" as text.
    if (StartsWith(word, "String"))
        return RegValue{kRegSz, std::string(data)};
    return std::nullopt;
}

std::string SizeText(uint64_t bytes, std::string_view decimalSeparator) {
    constexpr uint64_t kKb = 1024, kMb = kKb * 1024, kGb = kMb * 1024;
    if (bytes < kKb)
        return std::to_string(bytes) + " bytes";
    uint64_t unit = bytes < kMb ? kKb : bytes < kGb ? kMb : kGb;
    const char* name = bytes < kMb ? " KB" : bytes < kGb ? " MB" : " GB";

    // Whole units and thousandths, rounded half up, without floating point so that no figure of
    // any size loses its last digit.
    uint64_t whole = bytes / unit;
    uint64_t thousandths = ((bytes % unit) * 1000 + unit / 2) / unit;
    if (thousandths == 1000) {
        ++whole;
        thousandths = 0;
    }
    std::string text = std::to_string(whole);
    if (thousandths) {
        std::string fraction = std::to_string(thousandths);
        fraction.insert(0, 3 - fraction.size(), '0');
        while (fraction.back() == '0')
            fraction.pop_back();
        text.append(decimalSeparator).append(fraction);
    }
    return text + name;
}

}  // namespace pellora
