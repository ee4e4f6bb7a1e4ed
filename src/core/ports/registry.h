// Registry port: the few registry operations the core needs, addressed by root key and the
// path below it. Implemented on advapi32's wide functions (win32/registry_win.cpp) and by an
// in-memory tree in the tests. Sentinels, splitting of key paths and messages live in the core
// (settings/registry_access.h); this port only reports what the platform did.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/ports/presence.h"

namespace pellora {

enum class RootKey { None, ClassesRoot, CurrentUser, LocalMachine, Users, PerformanceData, CurrentConfig, DynData };

// Root key for an exact root name (letter case significant); RootKey::None for any other name,
// including short forms such as "HKLM". "HKEY_DYN_DATA" names its own root (which current
// Windows no longer has), never an alias of another root.
inline RootKey RootKeyFromName(const std::string& name) {
    if (name == "HKEY_CLASSES_ROOT")
        return RootKey::ClassesRoot;
    if (name == "HKEY_CURRENT_USER")
        return RootKey::CurrentUser;
    if (name == "HKEY_LOCAL_MACHINE")
        return RootKey::LocalMachine;
    if (name == "HKEY_USERS")
        return RootKey::Users;
    if (name == "HKEY_PERFORMANCE_DATA")
        return RootKey::PerformanceData;
    if (name == "HKEY_CURRENT_CONFIG")
        return RootKey::CurrentConfig;
    if (name == "HKEY_DYN_DATA")
        return RootKey::DynData;
    return RootKey::None;
}

// Registry value types, numbered as the platform numbers them.
enum RegType : uint32_t {
    kRegNone = 0,
    kRegSz = 1,
    kRegExpandSz = 2,
    kRegBinary = 3,
    kRegDword = 4,
    kRegMultiSz = 7,
    kRegQword = 11,
};

// A value as stored. Text types (kRegSz, kRegExpandSz) hold UTF-8 text without the terminating
// NUL; kRegMultiSz holds its UTF-8 strings each followed by a NUL (the final empty string is
// left out); every other type holds the raw bytes.
struct RegValue {
    uint32_t type = kRegNone;
    std::string data;
};

// Access asked for when a key is opened. kListing is the mask the registry listing uses
// (query, set, create subkey, enumerate, notify, create link = 63): keys without write access
// do not open with it.
enum class RegAccess { Read, Write, Default, Listing };

class RegistryPort {
  public:
    virtual ~RegistryPort() = default;

    // True when the key opens with the given access.
    virtual bool KeyOpens(RootKey root, const std::string& subkey, RegAccess access) = 0;
    // The value, or nothing when the key does not open for reading or the value is missing.
    virtual std::optional<RegValue> QueryValue(RootKey root, const std::string& subkey, const std::string& name) = 0;
    // Writes into an existing key; never creates the key. False on any failure.
    virtual bool SetValue(RootKey root, const std::string& subkey, const std::string& name, const RegValue& value) = 0;
    virtual bool DeleteValue(RootKey root, const std::string& subkey, const std::string& name) = 0;
    // Deletes one key; whether a key with subkeys goes is the platform's behaviour.
    virtual bool DeleteKey(RootKey root, const std::string& subkey) = 0;
    // Every subkey name in index order, or nothing when the key does not open with `access`.
    virtual std::optional<std::vector<std::string>> EnumSubKeys(RootKey root,
                                                                const std::string& subkey,
                                                                RegAccess access) = 0;
    // Creates the key and its missing parents (tests and restore helpers only).
    // Whether the key, or the value of the key, is there. The defaults cannot tell a refusal from
    // absence; adapters that can, say Unknown for a refusal.
    virtual Presence ProbeKey(RootKey root, const std::string& subkey) {
        return KeyOpens(root, subkey, RegAccess::Read) ? Presence::Present : Presence::Absent;
    }
    virtual Presence ProbeValue(RootKey root, const std::string& subkey, const std::string& name) {
        return QueryValue(root, subkey, name) ? Presence::Present : Presence::Absent;
    }
    virtual bool CreateKey(RootKey root, const std::string& subkey) = 0;

    // The target of a registry link, as the system's own path (for example
    // "\REGISTRY\MACHINE\SYSTEM\ControlSet001"), when the key itself (opened without following
    // it) is a link; nothing for an ordinary or missing key. The folders on the way may be links and are followed.
    virtual std::optional<std::string> LinkTarget(RootKey root, const std::string& subkey) {
        (void)root;
        (void)subkey;
        return std::nullopt;
    }
    // The current user's security identifier ("S-1-5-21-..."); "" when unknown.
    virtual std::string CurrentUserSid() { return {}; }
    // Several values of one key, in the order of `names` (nothing for each that is missing), the
    // key opened once.
    virtual std::vector<std::optional<RegValue>> QueryValues(RootKey root,
                                                             const std::string& subkey,
                                                             const std::vector<std::string>& names) {
        std::vector<std::optional<RegValue>> out;
        out.reserve(names.size());
        for (const std::string& name : names)
            out.push_back(QueryValue(root, subkey, name));
        return out;
    }
    // Every value name of the key in index order ("" for the default value), or nothing when
    // the key does not open for reading. A key that is a link is read as itself.
    virtual std::optional<std::vector<std::string>> EnumValueNames(RootKey root, const std::string& subkey) {
        (void)root;
        (void)subkey;
        return std::nullopt;
    }
};

}  // namespace pellora
