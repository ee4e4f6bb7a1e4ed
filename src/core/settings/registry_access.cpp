#include "core/settings/registry_access.h"

#include <cstring>

#include "core/util/text.h"

namespace pellora {

RootKey RootKeyFromName(const std::string& name) {
    if (name == "HKEY_CLASSES_ROOT") return RootKey::ClassesRoot;
    if (name == "HKEY_CURRENT_USER") return RootKey::CurrentUser;
    if (name == "HKEY_LOCAL_MACHINE") return RootKey::LocalMachine;
    if (name == "HKEY_USERS") return RootKey::Users;
    if (name == "HKEY_PERFORMANCE_DATA") return RootKey::PerformanceData;
    if (name == "HKEY_CURRENT_CONFIG") return RootKey::CurrentConfig;
    if (name == "HKEY_DYN_DATA") return RootKey::DynData;
    return RootKey::None;
}

std::optional<RegistryAccess::KeyPath> RegistryAccess::SplitKeyPath(const std::string& keyPath) {
    if (!StartsWith(keyPath, "HKEY_") || EndsWith(keyPath, "\\")) {
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

namespace {

uint32_t LittleEndian32(const std::string& data) {
    uint32_t v = 0;
    for (size_t i = 0; i < 4 && i < data.size(); ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(data[i])) << (8 * i);
    return v;
}

uint64_t LittleEndian64(const std::string& data) {
    uint64_t v = 0;
    for (size_t i = 0; i < 8 && i < data.size(); ++i) v |= static_cast<uint64_t>(static_cast<uint8_t>(data[i])) << (8 * i);
    return v;
}

std::string StripLeadingBlanks(const std::string& text) {
    size_t b = text.find_first_not_of(' ');
    return b == std::string::npos ? std::string() : text.substr(b);
}

}  // namespace

std::string RegistryAccess::GetStringValue(const std::string& keyPath, const std::string& valueName) {
    auto key = SplitKeyPath(keyPath);
    if (!key) return kRegError;
    if (key->root == RootKey::None) return "";
    auto value = registry_.QueryValue(key->root, key->subkey, valueName);
    if (!value) return kRegError;
    switch (value->type) {
        case kRegDword:
            if (value->data.size() != 4) return kRegError;
            return std::to_string(LittleEndian32(value->data));
        case kRegQword:
            if (value->data.size() != 8) return kRegError;
            return std::to_string(LittleEndian64(value->data));
        case kRegMultiSz: {
            // The strings as one text, each separated by a blank.
            std::string text = value->data;
            while (!text.empty() && text.back() == '\0') text.pop_back();
            for (char& c : text) {
                if (c == '\0') c = ' ';
            }
            return StripLeadingBlanks(text);
        }
        default: {
            std::string text = value->data;
            // Text ends at its terminator, as the classic buffer read did.
            size_t nul = text.find('\0');
            if (nul != std::string::npos) text.resize(nul);
            return StripLeadingBlanks(text);
        }
    }
}

void RegistryAccess::SetStringValue(const std::string& keyPath, const std::string& valueName, const std::string& text) {
    WriteValue(keyPath, valueName, RegValue{kRegSz, text});
}

std::string RegistryAccess::GetDwordValue(const std::string& keyPath, const std::string& valueName) {
    auto key = SplitKeyPath(keyPath);
    if (!key) return kRegError;
    if (key->root == RootKey::None) return "";
    auto value = registry_.QueryValue(key->root, key->subkey, valueName);
    if (!value || value->type != kRegDword || value->data.size() != 4) return kRegError;
    return std::to_string(static_cast<int32_t>(LittleEndian32(value->data)));
}

void RegistryAccess::SetDwordValue(const std::string& keyPath, const std::string& valueName, int32_t number) {
    std::string data(4, '\0');
    uint32_t u = static_cast<uint32_t>(number);
    for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((u >> (8 * i)) & 0xFF);
    WriteValue(keyPath, valueName, RegValue{kRegDword, data});
}

void RegistryAccess::DeleteValue(const std::string& keyPath, const std::string& valueName) {
    auto key = SplitKeyPath(keyPath);
    if (!key || key->root == RootKey::None) return;
    registry_.DeleteValue(key->root, key->subkey, valueName);
}

std::string RegistryAccess::DeleteKey(const std::string& keyPath) {
    auto key = SplitKeyPath(keyPath);
    if (!key || key->root == RootKey::None) return kRegError;
    return registry_.DeleteKey(key->root, key->subkey) ? kRegOk : kRegError;
}

std::vector<std::string> RegistryAccess::EnumSubKeys(const std::string& keyPath) {
    std::vector<std::string> names;
    auto key = SplitKeyPath(keyPath);
    if (key && key->root != RootKey::None) {
        if (auto listed = registry_.EnumSubKeys(key->root, key->subkey, RegAccess::Default)) names = std::move(*listed);
    }
    names.emplace_back();
    return names;
}

std::optional<RegValue> RegistryAccess::ReadValue(const std::string& keyPath, const std::string& valueName) {
    auto key = SplitKeyPath(keyPath);
    if (!key || key->root == RootKey::None) return std::nullopt;
    return registry_.QueryValue(key->root, key->subkey, valueName);
}

bool RegistryAccess::WriteValue(const std::string& keyPath, const std::string& valueName, const RegValue& value) {
    auto key = SplitKeyPath(keyPath);
    if (!key || key->root == RootKey::None) return false;
    return registry_.SetValue(key->root, key->subkey, valueName, value);
}

}  // namespace pellora
