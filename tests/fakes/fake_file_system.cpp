#include "fakes/fake_platform.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "core/settings/registry_access.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora::fakes {

bool WildcardMatch(const std::string& pattern, const std::string& name) {
    if (pattern == "*" || pattern == "*.*")
        return true;
    // Classic backtracking match of '*' and '?', without regard to ASCII case.
    std::string p = ToLowerAscii(pattern), n = ToLowerAscii(name);
    size_t pi = 0, ni = 0, star = std::string::npos, mark = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == '?' || p[pi] == n[ni])) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            mark = ni;
        } else if (star != std::string::npos) {
            pi = star + 1;
            ni = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*')
        ++pi;
    return pi == p.size();
}

std::string FakeFileSystem::KeyOf(const std::string& path) {
    // Names compare as Windows compares them: ignoring case over Unicode.
    std::string key = ToLowerAscii(FoldOrdinal(path));
    while (key.size() > 3 && key.back() == '\\')
        key.pop_back();
    // Doubled separators name the same place.
    std::string out;
    for (char c : key) {
        if (c == '\\' && !out.empty() && out.back() == '\\')
            continue;
        out += c;
    }
    if (out.size() == 2 && out[1] == ':')
        out += '\\';
    return out;
}

std::string FakeFileSystem::ParentOf(const std::string& key) {
    size_t slash = key.rfind('\\');
    if (slash == std::string::npos)
        return "";
    if (slash == 2)
        return key.size() > 3 ? key.substr(0, 3) : "";
    return key.substr(0, slash);
}

FakeFileSystem::Node* FakeFileSystem::Get(const std::string& path) {
    auto it = nodes_.find(KeyOf(path));
    return it == nodes_.end() ? nullptr : &it->second;
}

const FakeFileSystem::Node* FakeFileSystem::Get(const std::string& path) const {
    auto it = nodes_.find(KeyOf(path));
    return it == nodes_.end() ? nullptr : &it->second;
}

bool FakeFileSystem::HasChildren(const std::string& path) const {
    std::string key = KeyOf(path);
    std::string prefix = key.back() == '\\' ? key : key + "\\";
    auto it = nodes_.lower_bound(prefix);
    return it != nodes_.end() && StartsWith(it->first, prefix);
}

bool FakeFileSystem::FindEntries(const std::string& pattern, std::vector<FindEntry>& out) {
    touched.push_back(pattern);
    size_t slash = pattern.rfind('\\');
    if (slash == std::string::npos)
        return false;
    std::string folder = KeyOf(pattern.substr(0, slash + 1));
    std::string wildcard = pattern.substr(slash + 1);
    const Node* dir = Get(folder);
    if (!(dir && dir->folder) && !(folder.size() == 3 && folder[1] == ':'))
        return false;
    if (dir && (dir->attributes & file_attr::kReparsePoint))
        return false;
    if (dir && (dir->denied || BelowDenied(folder)))
        return false;
    std::string prefix = folder.back() == '\\' ? folder : folder + "\\";
    for (auto it = nodes_.lower_bound(prefix); it != nodes_.end() && StartsWith(it->first, prefix); ++it) {
        if (it->first.find('\\', prefix.size()) != std::string::npos)
            continue;
        const Node& node = it->second;
        std::string name = node.path.substr(node.path.rfind('\\') + 1);
        if (!WildcardMatch(wildcard, name))
            continue;
        out.push_back(FindEntry{name, node.attributes, node.bytes.size(), node.writeTime});
    }
    return true;
}

std::optional<uint32_t> FakeFileSystem::GetAttributes(const std::string& path) {
    touched.push_back(path);
    const Node* node = Get(path);
    if (!node || BelowDenied(path))
        return std::nullopt;
    return node->attributes;
}

bool FakeFileSystem::SetAttributes(const std::string& path, uint32_t attributes) {
    Node* node = Get(path);
    if (!node)
        return false;
    uint32_t keep = node->attributes & (file_attr::kDirectory | file_attr::kReparsePoint);
    node->attributes = (attributes == file_attr::kNormal && keep) ? keep : (attributes | keep);
    return true;
}

bool FakeFileSystem::DeleteFile(const std::string& path) {
    Node* node = Get(path);
    if (!node || node->folder || node->locked || (node->attributes & file_attr::kReadOnly) || BelowDenied(path))
        return false;
    nodes_.erase(KeyOf(path));
    return true;
}

bool FakeFileSystem::RemoveDirectory(const std::string& path) {
    Node* node = Get(path);
    if (!node || !node->folder || node->locked)
        return false;
    if (!(node->attributes & file_attr::kReparsePoint) && HasChildren(path))
        return false;
    nodes_.erase(KeyOf(path));
    links_.erase(KeyOf(path));  // a link removed leads nowhere any more
    return true;
}

bool FakeFileSystem::CreateDirectory(const std::string& path) {
    std::string key = KeyOf(path);
    if (nodes_.count(key))
        return false;
    std::string parent = ParentOf(key);
    if (!parent.empty() && !(parent.size() == 3 && parent[1] == ':')) {
        const Node* p = Get(parent);
        if (!p || !p->folder)
            return false;
    }
    std::string written = path;
    while (written.size() > 3 && written.back() == '\\')
        written.pop_back();
    nodes_[key] = Node{written, true, file_attr::kDirectory, "", false};
    return true;
}

Presence FakeFileSystem::Probe(const std::string& path) {
    if (BelowDenied(path))
        return Presence::Unknown;
    return Get(path) ? Presence::Present : Presence::Absent;
}

bool FakeFileSystem::BelowDenied(const std::string& path) const {
    for (std::string parent = ParentOf(KeyOf(path)); !parent.empty(); parent = ParentOf(parent)) {
        const Node* node = Get(parent);
        if (node && node->denied)
            return true;
        if (parent.size() <= 3)
            break;
    }
    return false;
}

void FakeFileSystem::DenyAccess(const std::string& folder) {
    AddFolder(folder);
    Get(folder)->denied = true;
}

std::optional<std::string> FakeFileSystem::ReadFile(const std::string& path) {
    touched.push_back(path);
    const Node* node = Get(path);
    if (!node || node->folder || BelowDenied(path))
        return std::nullopt;
    return node->bytes;
}

bool FakeFileSystem::WriteFileAtomic(const std::string& path, const std::string& bytes) {
    if (failWrites)
        return false;
    Node* node = Get(path);
    if (node) {
        if (node->folder || node->locked)
            return false;
        node->bytes = bytes;
        node->attributes = file_attr::kArchive;
        return true;
    }
    std::string parent = ParentOf(KeyOf(path));
    const Node* p = Get(parent);
    if (!(parent.size() == 3 && parent[1] == ':') && (!p || !p->folder))
        return false;
    nodes_[KeyOf(path)] = Node{path, false, file_attr::kArchive, bytes, false};
    return true;
}

bool FakeFileSystem::AppendFile(const std::string& path, const std::string& bytes) {
    if (failWrites)
        return false;
    Node* node = Get(path);
    if (!node)
        return WriteFileAtomic(path, bytes);
    if (node->folder || node->locked)
        return false;
    node->bytes += bytes;
    return true;
}

bool FakeFileSystem::MoveFile(const std::string& from, const std::string& to) {
    Node* node = Get(from);
    if (!node || node->folder || node->locked)
        return false;
    Node moved = *node;
    moved.path = to;
    if (Node* target = Get(to)) {
        if (target->folder || target->locked)
            return false;
    }
    std::string parent = ParentOf(KeyOf(to));
    const Node* p = Get(parent);
    if (!(parent.size() == 3 && parent[1] == ':') && (!p || !p->folder))
        return false;
    nodes_.erase(KeyOf(from));
    nodes_[KeyOf(to)] = moved;
    return true;
}

void FakeFileSystem::AddFolder(const std::string& path, uint32_t attributes) {
    std::string key = KeyOf(path);
    std::string parent = ParentOf(key);
    if (!parent.empty() && !(parent.size() == 3 && parent[1] == ':') && !Get(parent)) {
        AddFolder(path.substr(0, path.find_last_of('\\', path.size() - (path.back() == '\\' ? 2 : 1))));
    }
    if (Node* node = Get(path)) {
        node->attributes = attributes | file_attr::kDirectory;
        return;
    }
    std::string written = path;
    while (written.size() > 3 && written.back() == '\\')
        written.pop_back();
    nodes_[key] = Node{written, true, attributes | file_attr::kDirectory, "", false};
}

void FakeFileSystem::AddFolderLink(const std::string& path) {
    AddFolder(path, file_attr::kDirectory | file_attr::kReparsePoint);
}

void FakeFileSystem::AddFile(const std::string& path, const std::string& bytes, uint32_t attributes) {
    std::string key = KeyOf(path);
    std::string parent = ParentOf(key);
    if (!parent.empty() && !(parent.size() == 3 && parent[1] == ':') && !Get(parent)) {
        AddFolder(path.substr(0, path.rfind('\\')));
    }
    nodes_[key] = Node{path, false, attributes, bytes, false};
}

bool FakeFileSystem::Exists(const std::string& path) const {
    return Get(path) != nullptr;
}

bool FakeFileSystem::IsFolder(const std::string& path) const {
    const Node* node = Get(path);
    return node && node->folder;
}

std::string FakeFileSystem::Content(const std::string& path) const {
    const Node* node = Get(path);
    return node ? node->bytes : std::string();
}

void FakeFileSystem::Lock(const std::string& path) {
    if (Node* node = Get(path))
        node->locked = true;
}

void FakeFileSystem::Unlock(const std::string& path) {
    if (Node* node = Get(path))
        node->locked = false;
}

void FakeFileSystem::SetWriteTime(const std::string& path, uint64_t time) {
    if (Node* node = Get(path))
        node->writeTime = time;
}

std::vector<std::string> FakeFileSystem::Tree(const std::string& folder) const {
    std::string key = KeyOf(folder);
    std::string prefix = key.back() == '\\' ? key : key + "\\";
    std::vector<std::string> out;
    for (auto it = nodes_.lower_bound(prefix); it != nodes_.end() && StartsWith(it->first, prefix); ++it) {
        out.push_back(it->second.path);
    }
    return out;
}

bool FakeFileSystem::CopyTree(const std::string& from, const std::string& to) {
    const Node* source = Get(from);
    if (!source)
        return false;
    if (!source->folder) {
        if (Node* target = Get(to); target && (target->folder || target->locked))
            return false;
        std::string parent = ParentOf(KeyOf(to));
        const Node* p = Get(parent);
        if (!(parent.size() == 3 && parent[1] == ':') && (!p || !p->folder))
            return false;
        Node copy = *source;
        copy.path = to;
        copy.locked = false;
        nodes_[KeyOf(to)] = copy;
        return true;
    }
    if (!Get(to)) {
        if (!CreateDirectory(to))
            return false;
    }
    std::string fromKey = KeyOf(from);
    std::vector<std::pair<std::string, Node>> below;
    for (auto it = nodes_.lower_bound(fromKey + "\\"); it != nodes_.end() && StartsWith(it->first, fromKey + "\\");
         ++it) {
        below.emplace_back(it->first, it->second);
    }
    std::string toBase = to;
    while (toBase.size() > 3 && toBase.back() == '\\')
        toBase.pop_back();
    for (auto& [key, node] : below) {
        Node copy = node;
        copy.path = toBase + node.path.substr(source->path.size());
        copy.locked = false;
        nodes_[KeyOf(copy.path)] = copy;
    }
    return true;
}

void FakeFileSystem::AddAlias(const std::string& alias, const std::string& target) {
    aliases_[KeyOf(alias)] = target;
}

void FakeFileSystem::AddFolderLinkTo(const std::string& path, const std::string& target, bool junction) {
    AddFolder(path, junction ? file_attr::kDirectory | file_attr::kReparsePoint : file_attr::kDirectory);
    links_[KeyOf(path)] = {target, junction};
}

bool FakeFileSystem::IsRemoteDrive(char letter) {
    for (char drive : remoteDrives)
        if ((drive | 0x20) == (letter | 0x20))
            return true;
    return false;
}

std::optional<std::string> FakeFileSystem::ReadLinkTarget(const std::string& path) {
    auto link = links_.find(KeyOf(path));
    if (link == links_.end() || !link->second.second)
        return std::nullopt;
    return link->second.first;
}

bool FakeFileSystem::IsSystemProtectedFile(const std::string& path) {
    for (const std::string& guarded : systemProtected) {
        if (KeyOf(guarded) == KeyOf(path))
            return true;
    }
    return false;
}

std::optional<std::vector<FileSystemPort::AccessEntry>> FakeFileSystem::ReadAccessList(const std::string& path) {
    touched.push_back(path);
    if (!Get(path))
        return std::nullopt;
    for (const std::string& unreadable : unreadableAccess) {
        if (KeyOf(unreadable) == KeyOf(path))
            return std::nullopt;
    }
    for (const auto& [object, entries] : accessEntries) {
        if (KeyOf(object) == KeyOf(path))
            return entries;
    }
    return std::vector<AccessEntry>{{true, "S-1-5-32-544", 0x1f01ff, false},
                                    {true, "S-1-5-18", 0x1f01ff, false},
                                    {true, "S-1-5-32-545", 0x1200a9, false}};
}

std::optional<std::string> FakeFileSystem::ReadOwner(const std::string& path) {
    if (!Get(path))
        return std::nullopt;
    for (const std::string& unreadable : unreadableAccess) {
        if (KeyOf(unreadable) == KeyOf(path))
            return std::nullopt;
    }
    for (const auto& [object, owner] : owners) {
        if (KeyOf(object) == KeyOf(path))
            return owner;
    }
    return std::string("S-1-5-32-544");
}

bool FakeFileSystem::SetAccessList(const std::string& path, const std::string& sddl) {
    accessListsSet.emplace_back(path, sddl);
    if (failSetAccess || !Get(path))
        return false;
    std::erase_if(accessEntries, [&](const auto& entry) { return KeyOf(entry.first) == KeyOf(path); });
    return true;
}

std::optional<FileIdentity> FakeFileSystem::Identify(const std::string& input) {
    touched.push_back(input);
    std::string path = input;
    std::replace(path.begin(), path.end(), '/', '\\');
    for (const char* prefix : {"\\\\?\\", "\\\\.\\"}) {
        if (path.rfind(prefix, 0) == 0)
            path = path.substr(4);
    }
    if (path.size() < 2 || path[1] != ':')
        return std::nullopt;
    std::vector<std::string> parts = {path.substr(0, 2)};
    size_t pos = 2;
    while (pos < path.size()) {
        size_t next = path.find('\\', pos);
        if (next == std::string::npos)
            next = path.size();
        std::string name = path.substr(pos, next - pos);
        pos = next + 1;
        if (name == "..") {
            if (parts.size() > 1)
                parts.pop_back();
            continue;
        }
        while (!name.empty() && (name.back() == '.' || name.back() == ' '))
            name.pop_back();
        if (!name.empty())
            parts.push_back(name);
    }
    // Resolve from the left, following aliases everywhere (a drive letter too) and links on
    // the way.
    if (auto drive = aliases_.find(KeyOf(parts[0])); drive != aliases_.end()) {
        std::vector<std::string> rest(parts.begin() + 1, parts.end());
        std::string target = drive->second;
        parts = {target.substr(0, 2)};
        for (size_t p = 3, n; p <= target.size(); p = n + 1) {
            n = target.find('\\', p);
            if (n == std::string::npos)
                n = target.size();
            if (n > p)
                parts.push_back(target.substr(p, n - p));
        }
        parts.insert(parts.end(), rest.begin(), rest.end());
    }
    std::string current = parts[0];
    for (int guard = 0; guard < 64; ++guard) {
        bool changed = false;
        current = parts[0];
        for (size_t i = 1; i < parts.size(); ++i) {
            current += "\\" + parts[i];
            std::string key = KeyOf(current);
            std::string target;
            if (auto alias = aliases_.find(key); alias != aliases_.end()) {
                target = alias->second;
            } else if (auto link = links_.find(key);
                       link != links_.end() && (i + 1 < parts.size() || !link->second.second)) {
                target = link->second.first;
            } else {
                continue;
            }
            std::vector<std::string> rest(parts.begin() + static_cast<std::ptrdiff_t>(i) + 1, parts.end());
            parts = {target.substr(0, 2)};
            for (size_t p = 3, n; p <= target.size(); p = n + 1) {
                n = target.find('\\', p);
                if (n == std::string::npos)
                    n = target.size();
                if (n > p)
                    parts.push_back(target.substr(p, n - p));
            }
            parts.insert(parts.end(), rest.begin(), rest.end());
            changed = true;
            break;
        }
        if (!changed)
            break;
    }
    const Node* node = Get(current);
    if (!node && KeyOf(current).size() != 3)
        return std::nullopt;
    FileIdentity identity;
    identity.finalPath = node ? node->path : current;
    identity.volumeSerial = 1;
    identity.fileIdLow = std::hash<std::string>{}(KeyOf(current));
    identity.attributes = node ? node->attributes : file_attr::kDirectory;
    return identity;
}

}  // namespace pellora::fakes
