// modRegScan: the registry listing. ListRegistryKeys writes the full path of a key and of every
// key below it into lstRegScan (root name first), the key before the keys below it and the keys
// of one level in the registry's order. A key is opened once, with the listing access (which
// asks for write rights): a key that does not open so is left out together with its subtree.
// The listing yields before each descent and stops as soon as the busy flag is clear; the rows
// listed so far stay. The custom scan's full registry search reads the listing, and the removal
// run uses it to delete a key tree from the bottom up.
#pragma once

#include <string>

#include "core/state/app_state.h"
#include "core/ports/registry.h"
#include "core/ports/ui.h"
#include "core/settings/registry_access.h"

namespace pellora {

// The root key of an exact root name (letter case significant), or RootKey::None.
// "HKEY_DYN_DATA" is its own root, which current Windows no longer has: nothing lists below it.
inline RootKey RootHandleFromName(const std::string& rootName) {
    return RootKeyFromName(rootName);
}

class RegScan {
  public:
    RegScan(AppState& state, RegistryPort& registry, UiPort& ui) : state_(state), registry_(registry), ui_(ui) {}

    // Lists `keyPath` below `root` and its whole subtree into lstRegScan; `rootName` is only used
    // to write the rows. Every subkey is listed, however many a key has.
    void ListRegistryKeys(RootKey root, const std::string& keyPath, const std::string& rootName);
    // Adds the row of one key when the key opens with the listing access.
    void AddRegistryKeyRow(RootKey root, const std::string& keyPath, const std::string& rootName);

  private:
    // False when the busy flag stopped the listing.
    bool List(RootKey root, const std::string& keyPath, const std::string& rootName);
    void AddRow(const std::string& keyPath, const std::string& rootName);

    AppState& state_;
    RegistryPort& registry_;
    UiPort& ui_;
};

}  // namespace pellora
