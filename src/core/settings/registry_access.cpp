#include "core/settings/registry_access.h"

#include "core/util/text.h"

namespace pellora {

namespace {

// Big-endian 32-bit numbers have no use in the program, but they are numbers all the same.
constexpr uint32_t kRegDwordBigEndian = 5;

uint64_t LittleEndian(const std::string& data) {
    uint64_t v = 0;
    for (size_t i = 0; i < data.size() && i < 8; ++i)
        v |= static_cast<uint64_t>(static_cast<uint8_t>(data[i])) << (8 * i);
    return v;
}

uint32_t BigEndian32(const std::string& data) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4 && i < data.size(); ++i)
        v = (v << 8) | static_cast<uint8_t>(data[i]);
    return v;
}

std::string StripLeadingBlanks(std::string text) {
    size_t b = text.find_first_not_of(' ');
    text.erase(0, b == std::string::npos ? text.size() : b);
    return text;
}

std::string HexBytes(const std::string& data) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(data.size() * 3);
    for (size_t i = 0; i < data.size(); ++i) {
        if (i > 0)
            out += ',';
        auto byte = static_cast<uint8_t>(data[i]);
        out += kDigits[byte >> 4];
        out += kDigits[byte & 0x0F];
    }
    return out;
}

// The text a value reads as. The classic read copied the raw data into a text buffer whatever
// the type; here each type gets a readable form so that any value with data reads as a
// non-empty text ("present"), and an empty one as "".
std::string ValueAsText(const RegValue& value) {
    const std::string& data = value.data;
    switch (value.type) {
        case kRegSz:
        case kRegExpandSz:
            // A text ends at its first NUL, as it did in the classic buffer.
            return data.substr(0, data.find('\0'));
        case kRegMultiSz: {
            std::string text = data;
            while (!text.empty() && text.back() == '\0')
                text.pop_back();
            for (char& c : text) {
                if (c == '\0')
                    c = ' ';
            }
            return text;
        }
        case kRegDword:
            if (data.size() == 4)
                return std::to_string(static_cast<uint32_t>(LittleEndian(data)));
            break;
        case kRegDwordBigEndian:
            if (data.size() == 4)
                return std::to_string(BigEndian32(data));
            break;
        case kRegQword:
            if (data.size() == 8)
                return std::to_string(LittleEndian(data));
            break;
        default:
            break;
    }
    return HexBytes(data);
}

}  // namespace

std::optional<RegistryAccess::KeyPath> RegistryAccess::SplitKeyPath(const std::string& keyPath) {
    if (!StartsWith(keyPath, "HKEY_") || EndsWith(keyPath, "\\")) {
        // Line feeds only: the message box shows them as line breaks all the same.
        ui_.Message("Incorrect Format:\n\n" + keyPath, kAppTitle, MsgButtons::Ok, MsgIcon::None);
        return std::nullopt;
    }
    KeyPath result;
    size_t slash = keyPath.find('\\');
    if (slash == std::string::npos) {
        result.root = RootKeyFromName(keyPath);
    } else {
        result.root = RootKeyFromName(keyPath.substr(0, slash));
        result.subkey = keyPath.substr(slash + 1);
    }
    return result;
}

std::optional<RegistryAccess::KeyPath> RegistryAccess::KnownKey(const std::string& keyPath) {
    auto key = SplitKeyPath(keyPath);
    if (!key || key->root == RootKey::None)
        return std::nullopt;
    return key;
}

std::string RegistryAccess::GetStringValue(const std::string& keyPath, const std::string& valueName) {
    auto key = SplitKeyPath(keyPath);
    if (!key)
        return kRegError;
    if (key->root == RootKey::None)
        return "";
    auto value = registry_.QueryValue(key->root, key->subkey, valueName);
    if (!value)
        return kRegError;
    // Only leading blanks go: the classic read kept trailing ones, which sat before the NUL.
    return StripLeadingBlanks(ValueAsText(*value));
}

void RegistryAccess::SetStringValue(const std::string& keyPath, const std::string& valueName, const std::string& text) {
    (void)WriteValue(keyPath, valueName, RegValue{kRegSz, text});
}

std::string RegistryAccess::GetDwordValue(const std::string& keyPath, const std::string& valueName) {
    auto key = SplitKeyPath(keyPath);
    if (!key)
        return kRegError;
    if (key->root == RootKey::None)
        return "";
    auto value = registry_.QueryValue(key->root, key->subkey, valueName);
    // Only a true 32-bit number qualifies: a short text read as a number would be quarantined
    // as one and restored as a number, corrupting the value.
    if (!value || value->type != kRegDword || value->data.size() != 4)
        return kRegError;
    return std::to_string(static_cast<int32_t>(static_cast<uint32_t>(LittleEndian(value->data))));
}

void RegistryAccess::SetDwordValue(const std::string& keyPath, const std::string& valueName, int32_t number) {
    std::string data(4, '\0');
    auto u = static_cast<uint32_t>(number);
    for (int i = 0; i < 4; ++i)
        data[i] = static_cast<char>((u >> (8 * i)) & 0xFF);
    (void)WriteValue(keyPath, valueName, RegValue{kRegDword, data});
}

void RegistryAccess::DeleteValue(const std::string& keyPath, const std::string& valueName) {
    if (auto key = KnownKey(keyPath))
        (void)registry_.DeleteValue(key->root, key->subkey, valueName);
}

std::string RegistryAccess::DeleteKey(const std::string& keyPath) {
    auto key = KnownKey(keyPath);
    // A path naming a root alone would ask the system to delete the root itself: refused here
    // rather than left to chance, since database items reach this call.
    if (!key || key->subkey.empty())
        return kRegError;
    return registry_.DeleteKey(key->root, key->subkey) ? kRegOk : kRegError;
}

std::vector<std::string> RegistryAccess::EnumSubKeys(const std::string& keyPath) {
    std::vector<std::string> names;
    if (auto key = KnownKey(keyPath)) {
        if (auto listed = registry_.EnumSubKeys(key->root, key->subkey, RegAccess::Default))
            names = std::move(*listed);
    }
    // Callers compare this trailing empty entry like a name; it is part of the contract.
    names.emplace_back();
    return names;
}

std::optional<RegValue> RegistryAccess::ReadValue(const std::string& keyPath, const std::string& valueName) {
    auto key = KnownKey(keyPath);
    if (!key)
        return std::nullopt;
    return registry_.QueryValue(key->root, key->subkey, valueName);
}

bool RegistryAccess::WriteValue(const std::string& keyPath, const std::string& valueName, const RegValue& value) {
    auto key = KnownKey(keyPath);
    if (!key)
        return false;
    return registry_.SetValue(key->root, key->subkey, valueName, value);
}

}  // namespace pellora
