#include "core/scan/registry_listing.h"

#include <vector>

namespace pellora {

void RegScan::ListRegistryKeys(RootKey root, const std::string& keyPath, const std::string& rootName) {
    if (root == RootKey::None)
        return;
    List(root, keyPath, rootName);
}

void RegScan::AddRegistryKeyRow(RootKey root, const std::string& keyPath, const std::string& rootName) {
    if (root != RootKey::None && registry_.KeyOpens(root, keyPath, RegAccess::Listing))
        AddRow(keyPath, rootName);
}

bool RegScan::List(RootKey root, const std::string& keyPath, const std::string& rootName) {
    // The names are taken in one call and the key closed before the descent, so only one key is
    // open at a time however deep the tree goes.
    std::optional<std::vector<std::string>> names = registry_.EnumSubKeys(root, keyPath, RegAccess::Listing);
    if (!names)
        return true;
    AddRow(keyPath, rootName);
    for (const std::string& name : *names) {
        ui_.Yield();
        if (!state_.busy)
            return false;
        if (!List(root, keyPath.empty() ? name : keyPath + "\\" + name, rootName))
            return false;
    }
    return true;
}

void RegScan::AddRow(const std::string& keyPath, const std::string& rootName) {
    // The root itself is written without a trailing backslash, which no key path may end in.
    if (keyPath.empty()) {
        state_.lstRegScan.Add(rootName);
    } else {
        std::string row;
        row.reserve(rootName.size() + 1 + keyPath.size());
        row.append(rootName).append("\\").append(keyPath);
        state_.lstRegScan.Add(row);
    }
}

}  // namespace pellora
