// modRegistry: the program's door to single registry values and keys. Keys are named by one
// text that begins with a root name ("HKEY_LOCAL_MACHINE\Software\..."); failures come back as
// the sentinel texts "Error" (key or value unreadable), "" (unknown root) and "Ok." (DeleteKey
// succeeded). The only message shown is "Incorrect Format:" for a path that does not begin with
// "HKEY_" or ends in a backslash.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/ports/registry.h"
#include "core/ports/ui.h"

namespace pellora {

inline constexpr const char* kRegError = "Error";
inline constexpr const char* kRegOk = "Ok.";

// Root key for an exact root name; RootKey::None for any other name. "HKEY_DYN_DATA" names its
// own root (which current Windows no longer has), never an alias of another root.
RootKey RootKeyFromName(const std::string& name);

class RegistryAccess {
public:
    RegistryAccess(RegistryPort& registry, UiPort& ui) : registry_(registry), ui_(ui) {}

    struct KeyPath {
        RootKey root = RootKey::None;
        std::string subkey;
    };
    // Splits a key path into root and subkey. Shows "Incorrect Format:" and returns nothing for
    // a malformed path; an unknown root gives RootKey::None.
    std::optional<KeyPath> SplitKeyPath(const std::string& keyPath);

    // The value as text: text types as stored (leading blanks removed), numbers as decimal
    // text, of any length. "Error" when unreadable, "" for an unknown root.
    std::string GetStringValue(const std::string& keyPath, const std::string& valueName);
    void SetStringValue(const std::string& keyPath, const std::string& valueName, const std::string& text);
    // A 32-bit number value as signed decimal text; "Error" when unreadable or not a 32-bit
    // number; "" for an unknown root.
    std::string GetDwordValue(const std::string& keyPath, const std::string& valueName);
    void SetDwordValue(const std::string& keyPath, const std::string& valueName, int32_t number);
    void DeleteValue(const std::string& keyPath, const std::string& valueName);
    // "Ok." or "Error".
    std::string DeleteKey(const std::string& keyPath);
    // Subkey names followed by one empty entry; a missing key gives just the empty entry.
    std::vector<std::string> EnumSubKeys(const std::string& keyPath);

    // The value with its type and bytes, for quarantine; nothing when unreadable.
    std::optional<RegValue> ReadValue(const std::string& keyPath, const std::string& valueName);
    // Writes a value of any type into an existing key. False on failure.
    bool WriteValue(const std::string& keyPath, const std::string& valueName, const RegValue& value);

    RegistryPort& port() { return registry_; }

private:
    RegistryPort& registry_;
    UiPort& ui_;
};

}  // namespace pellora
