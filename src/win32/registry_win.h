// RegistryWin: the registry port on advapi32's wide functions. Key paths and value names cross
// the boundary as UTF-8 and are converted to UTF-16 here; text values are converted as the
// RegValue contract says (no terminating NUL inside the core, each string of a list followed by
// one NUL). Every call opens and closes its own key.
#pragma once

#include "core/ports/registry.h"

namespace pellora::win32 {

class RegistryWin : public RegistryPort {
  public:
    // Access masks: Read = KEY_READ; Write = KEY_WRITE; Default = KEY_READ (the least an
    // enumeration needs, so keys of other users' or the machine's hive list without
    // administrator rights); Listing = 63 (query, set, create subkey, enumerate, notify, create
    // link). Writes and deletions of values open with KEY_SET_VALUE whatever the caller asked.
    bool KeyOpens(RootKey root, const std::string& subkey, RegAccess access) override;
    std::optional<RegValue> QueryValue(RootKey root, const std::string& subkey, const std::string& name) override;
    std::vector<std::optional<RegValue>> QueryValues(RootKey root,
                                                     const std::string& subkey,
                                                     const std::vector<std::string>& names) override;
    bool SetValue(RootKey root, const std::string& subkey, const std::string& name, const RegValue& value) override;
    bool DeleteValue(RootKey root, const std::string& subkey, const std::string& name) override;
    // Never deletes a root: an empty subkey fails. A link key is deleted itself, never the key it
    // leads to.
    bool DeleteKey(RootKey root, const std::string& subkey) override;
    // Every subkey, however many; names of any length. A link key is opened as itself, so its
    // target's subkeys are never listed as its own.
    std::optional<std::vector<std::string>> EnumSubKeys(RootKey root,
                                                        const std::string& subkey,
                                                        RegAccess access) override;
    bool CreateKey(RootKey root, const std::string& subkey) override;
    Presence ProbeKey(RootKey root, const std::string& subkey) override;
    Presence ProbeValue(RootKey root, const std::string& subkey, const std::string& name) override;
    // identity_win.cpp
    std::optional<std::string> LinkTarget(RootKey root, const std::string& subkey) override;
    std::string CurrentUserSid() override;
    // Value names of any length; a link key is opened as itself.
    std::optional<std::vector<std::string>> EnumValueNames(RootKey root, const std::string& subkey) override;
};

}  // namespace pellora::win32
