#include "fakes/fake_platform.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "core/settings/registry_access.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora::fakes {

FakeRegistry::Key& FakeRegistry::RootOf(RootKey root) {
    return roots_[root];
}

FakeRegistry::Key* FakeRegistry::Find(RootKey root, const std::string& subkey) {
    if (root == RootKey::None || root == RootKey::DynData)
        return nullptr;
    Key* key = &RootOf(root);
    size_t pos = 0;
    while (pos < subkey.size()) {
        size_t slash = subkey.find('\\', pos);
        std::string part = subkey.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        pos = slash == std::string::npos ? subkey.size() : slash + 1;
        if (part.empty())
            continue;
        auto it = key->subkeys.find(ToLowerAscii(part));
        if (it == key->subkeys.end())
            return nullptr;
        key = it->second.get();
    }
    return key;
}

FakeRegistry::Key* FakeRegistry::FindPath(const std::string& keyPath) {
    size_t slash = keyPath.find('\\');
    RootKey root = RootKeyFromName(keyPath.substr(0, slash));
    return Find(root, slash == std::string::npos ? "" : keyPath.substr(slash + 1));
}

bool FakeRegistry::KeyOpens(RootKey root, const std::string& subkey, RegAccess access) {
    Key* key = Find(root, subkey);
    if (!key || key->denyAll)
        return false;
    return !(key->denyWrite && (access == RegAccess::Write || access == RegAccess::Listing));
}

Presence FakeRegistry::ProbeKey(RootKey root, const std::string& subkey) {
    Key* key = Find(root, subkey);
    return !key ? Presence::Absent : key->denyAll ? Presence::Unknown : Presence::Present;
}

Presence FakeRegistry::ProbeValue(RootKey root, const std::string& subkey, const std::string& name) {
    Key* key = Find(root, subkey);
    if (key && key->denyAll)
        return Presence::Unknown;
    return QueryValue(root, subkey, name) ? Presence::Present : Presence::Absent;
}

std::optional<RegValue> FakeRegistry::QueryValue(RootKey root, const std::string& subkey, const std::string& name) {
    ++queryCount;
    Key* key = Find(root, subkey);
    if (!key || key->denyAll)
        return std::nullopt;
    auto it = key->values.find(ToLowerAscii(name));
    if (it == key->values.end())
        return std::nullopt;
    return it->second.second;
}

bool FakeRegistry::SetValue(RootKey root, const std::string& subkey, const std::string& name, const RegValue& value) {
    Key* key = Find(root, subkey);
    if (!key || key->denyWrite)
        return false;
    key->values[ToLowerAscii(name)] = {name, value};
    return true;
}

bool FakeRegistry::DeleteValue(RootKey root, const std::string& subkey, const std::string& name) {
    Key* key = Find(root, subkey);
    if (!key || key->denyAll)
        return false;
    return key->values.erase(ToLowerAscii(name)) > 0;
}

bool FakeRegistry::DeleteKey(RootKey root, const std::string& subkey) {
    size_t slash = subkey.rfind('\\');
    Key* parent = Find(root, slash == std::string::npos ? "" : subkey.substr(0, slash));
    if (!parent || subkey.empty())
        return false;
    auto it = parent->subkeys.find(ToLowerAscii(slash == std::string::npos ? subkey : subkey.substr(slash + 1)));
    if (it == parent->subkeys.end() || !it->second->subkeys.empty() || it->second->denyAll)
        return false;
    parent->subkeys.erase(it);
    return true;
}

std::optional<std::vector<std::string>> FakeRegistry::EnumSubKeys(RootKey root,
                                                                  const std::string& subkey,
                                                                  RegAccess access) {
    if (!KeyOpens(root, subkey, access))
        return std::nullopt;
    std::vector<std::string> names;
    for (const auto& [lower, key] : Find(root, subkey)->subkeys)
        names.push_back(key->name);
    return names;
}

std::optional<std::vector<std::string>> FakeRegistry::EnumValueNames(RootKey root, const std::string& subkey) {
    if (!KeyOpens(root, subkey, RegAccess::Read))
        return std::nullopt;
    std::vector<std::string> names;
    for (const auto& [lower, value] : Find(root, subkey)->values)
        names.push_back(value.first);
    return names;
}

bool FakeRegistry::CreateKey(RootKey root, const std::string& subkey) {
    if (root == RootKey::None || root == RootKey::DynData)
        return false;
    Key* key = &RootOf(root);
    size_t pos = 0;
    while (pos < subkey.size()) {
        size_t slash = subkey.find('\\', pos);
        std::string part = subkey.substr(pos, slash == std::string::npos ? std::string::npos : slash - pos);
        pos = slash == std::string::npos ? subkey.size() : slash + 1;
        if (part.empty())
            continue;
        auto& child = key->subkeys[ToLowerAscii(part)];
        if (!child) {
            child = std::make_unique<Key>();
            child->name = part;
        }
        key = child.get();
    }
    return true;
}

void FakeRegistry::AddKey(const std::string& keyPath) {
    size_t slash = keyPath.find('\\');
    CreateKey(RootKeyFromName(keyPath.substr(0, slash)), slash == std::string::npos ? "" : keyPath.substr(slash + 1));
}

void FakeRegistry::AddValue(const std::string& keyPath, const std::string& name, const RegValue& value) {
    AddKey(keyPath);
    FindPath(keyPath)->values[ToLowerAscii(name)] = {name, value};
}

void FakeRegistry::AddString(const std::string& keyPath, const std::string& name, const std::string& text) {
    AddValue(keyPath, name, RegValue{kRegSz, text});
}

void FakeRegistry::AddDword(const std::string& keyPath, const std::string& name, uint32_t number) {
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i)
        data[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
    AddValue(keyPath, name, RegValue{kRegDword, data});
}

void FakeRegistry::DenyAll(const std::string& keyPath) {
    AddKey(keyPath);
    FindPath(keyPath)->denyAll = true;
}

void FakeRegistry::DenyWrite(const std::string& keyPath) {
    AddKey(keyPath);
    FindPath(keyPath)->denyWrite = true;
}

bool FakeRegistry::HasKey(const std::string& keyPath) {
    return FindPath(keyPath) != nullptr;
}

std::optional<RegValue> FakeRegistry::Value(const std::string& keyPath, const std::string& name) {
    Key* key = FindPath(keyPath);
    if (!key)
        return std::nullopt;
    auto it = key->values.find(ToLowerAscii(name));
    if (it == key->values.end())
        return std::nullopt;
    return it->second.second;
}

std::optional<std::string> FakeRegistry::LinkTarget(RootKey root, const std::string& subkey) {
    static const std::map<RootKey, std::string> kNames = {{RootKey::ClassesRoot, "hkey_classes_root"},
                                                          {RootKey::CurrentUser, "hkey_current_user"},
                                                          {RootKey::LocalMachine, "hkey_local_machine"},
                                                          {RootKey::Users, "hkey_users"}};
    auto name = kNames.find(root);
    if (name == kNames.end())
        return std::nullopt;
    auto it = links_.find(name->second + "\\" + ToLowerAscii(subkey));
    if (it == links_.end())
        return std::nullopt;
    return it->second;
}

void FakeRegistry::AddLink(const std::string& keyPath, const std::string& target) {
    AddKey(keyPath);
    links_[ToLowerAscii(keyPath)] = target;
}

}  // namespace pellora::fakes
