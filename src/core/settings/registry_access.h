// modRegistry: the program's door to single registry values and keys. Keys are named by one
// text that begins with a root name ("HKEY_LOCAL_MACHINE\Software\..."); failures come back as
// the sentinel texts "Error" (key or value unreadable), "" (unknown root) and "Ok." (DeleteKey
// succeeded). The only message shown is "Incorrect Format:" for a path that does not begin with
// "HKEY_" or ends in a backslash. Every operation opens and closes its key inside one port call,
// so nothing is held between calls.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/ports/registry.h"
#include "core/ports/ui.h"

namespace pellora {

inline constexpr const char* kRegError = "Error";
inline constexpr const char* kRegOk = "Ok.";

class RegistryAccess {
  public:
    RegistryAccess(RegistryPort& registry, UiPort& ui) : registry_(registry), ui_(ui) {}

    struct KeyPath {
        RootKey root = RootKey::None;
        std::string subkey;
    };
    // Splits a key path into root and subkey. Shows "Incorrect Format:" and returns nothing for
    // a malformed path; an unknown root gives RootKey::None without a message.
    std::optional<KeyPath> SplitKeyPath(const std::string& keyPath);

    // The value as text, of any length, with its leading blanks removed: text types as stored,
    // numbers as decimal text, lists of texts joined by blanks, other data as hex bytes. "Error"
    // when the key or value cannot be read (or the path is malformed), "" for an unknown root.
    std::string GetStringValue(const std::string& keyPath, const std::string& valueName);
    // Stores a text value into an existing key; a missing key is never created.
    void SetStringValue(const std::string& keyPath, const std::string& valueName, const std::string& text);
    // A 32-bit number value as signed decimal text. "Error" when unreadable or when the value is
    // not a 32-bit number (a text value never reads as a number); "" for an unknown root.
    std::string GetDwordValue(const std::string& keyPath, const std::string& valueName);
    void SetDwordValue(const std::string& keyPath, const std::string& valueName, int32_t number);
    void DeleteValue(const std::string& keyPath, const std::string& valueName);
    // "Ok." or "Error". Deletes one key, never a root and never recursively.
    std::string DeleteKey(const std::string& keyPath);
    // Subkey names in the registry's order followed by one empty entry; a key that cannot be
    // listed gives just the empty entry.
    std::vector<std::string> EnumSubKeys(const std::string& keyPath);

    // The value with its type and bytes, for quarantine; nothing when unreadable.
    std::optional<RegValue> ReadValue(const std::string& keyPath, const std::string& valueName);
    // Writes a value of any type into an existing key. False on failure.
    bool WriteValue(const std::string& keyPath, const std::string& valueName, const RegValue& value);

    RegistryPort& port() { return registry_; }

  private:
    // The split path when it names a known root; nothing otherwise (message already shown for
    // a malformed path).
    std::optional<KeyPath> KnownKey(const std::string& keyPath);

    RegistryPort& registry_;
    UiPort& ui_;
};

}  // namespace pellora
