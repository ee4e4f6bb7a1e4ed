#include "fakes/fake_platform.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "core/settings/registry_access.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora::fakes {

// ---- registry ------------------------------------------------------------------------------

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

std::string FakeSystem::ExpandEnvironment(const std::string& text) {
    std::string out;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t open = text.find('%', pos);
        size_t close = open == std::string::npos ? std::string::npos : text.find('%', open + 1);
        if (close == std::string::npos) {
            out += text.substr(pos);
            break;
        }
        std::string name = text.substr(open + 1, close - open - 1);
        for (char& c : name)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        auto known = environment.find(name);
        out += text.substr(pos, open - pos);
        if (known == environment.end()) {
            out += text.substr(open, close - open);
            pos = close;
        } else {
            out += known->second;
            pos = close + 1;
        }
    }
    return out;
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

// ---- file system ---------------------------------------------------------------------------

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

// ---- processes -----------------------------------------------------------------------------

std::vector<ProcessEntry> FakeProcesses::Snapshot() {
    std::vector<ProcessEntry> out;
    for (const Process& p : processes)
        out.push_back(ProcessEntry{p.exeName, p.pid, p.imagePath, p.creationTime});
    return out;
}

std::optional<ProcessEntry> FakeProcesses::Describe(uint32_t pid) {
    for (const Process& p : processes) {
        if (p.pid == pid)
            return ProcessEntry{p.exeName, p.pid, p.imagePath, p.creationTime};
    }
    return std::nullopt;
}

bool FakeProcesses::PostToProcessWindows(uint32_t pid, uint32_t message, uintptr_t) {
    auto it = std::find_if(processes.begin(), processes.end(), [&](const Process& p) { return p.pid == pid; });
    if (it == processes.end() || it->topLevelWindows == 0)
        return false;
    for (int i = 0; i < it->topLevelWindows; ++i)
        posted.emplace_back(pid, message);
    if (message == 0x0010 /* WM_CLOSE */ && it->closesOnWmClose)
        processes.erase(it);
    return true;
}

bool FakeProcesses::IsRunning(uint32_t pid) {
    return std::any_of(processes.begin(), processes.end(), [&](const Process& p) { return p.pid == pid; });
}

bool FakeProcesses::Terminate(uint32_t pid, uint32_t) {
    auto it = std::find_if(processes.begin(), processes.end(), [&](const Process& p) { return p.pid == pid; });
    if (it == processes.end())
        return false;
    terminated.push_back(pid);
    processes.erase(it);
    return true;
}

ProcessPort::BoundedRun FakeProcesses::RunAndWaitBounded(const std::string& commandLine, int, uint32_t timeoutMs) {
    commands.push_back(commandLine);
    waitBounds.push_back(timeoutMs);
    if (!(onRun ? onRun(commandLine) : true))
        return {false, false};
    bool ends = std::none_of(neverEnding.begin(), neverEnding.end(),
                             [&](const std::string& part) { return commandLine.find(part) != std::string::npos; });
    return {true, ends};
}

void FakeProcesses::Add(const std::string& exeName, uint32_t pid, int windows, bool closesOnWmClose) {
    processes.push_back(Process{exeName, pid, windows, closesOnWmClose, {}, 0});
}

// ---- shell ---------------------------------------------------------------------------------

int FakeShell::FileOperation(ShellOp op, const std::string& from, const std::string& to, uint32_t operationFlags) {
    flags.push_back(operationFlags);
    if (failResult)
        return failResult;
    if (!files_.Exists(from))
        return 2;
    std::string target = to;
    // Into an existing folder: the copy keeps the source's own name.
    if (files_.IsFolder(to))
        target = (EndsWith(to, "\\") ? to : to + "\\") + from.substr(from.rfind('\\') + 1);
    if (!files_.CopyTree(from, target))
        return 5;
    if (op == ShellOp::Move) {
        for (auto& path : [&] {
                 auto tree = files_.Tree(from);
                 std::reverse(tree.begin(), tree.end());
                 return tree;
             }()) {
            files_.SetAttributes(path, file_attr::kNormal);
            if (!files_.DeleteFile(path))
                files_.RemoveDirectory(path);
        }
        files_.SetAttributes(from, file_attr::kNormal);
        if (!files_.DeleteFile(from))
            files_.RemoveDirectory(from);
    }
    return 0;
}

bool FakeShell::OpenDocument(const std::string& path, const std::string& workingFolder) {
    opened.push_back(path);
    openedIn.push_back(workingFolder);
    return true;
}

// ---- clock, system, ui ---------------------------------------------------------------------

std::string FakeClock::ShortDate(const LocalTime& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%04d", t.day, t.month, t.year);
    return buf;
}

std::string FakeSystem::AnsiToUtf8(std::string_view ansi) {
    std::string out;
    for (unsigned char c : ansi) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string FakeSystem::Utf8ToAnsi(std::string_view utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
            unsigned code = ((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3F);
            out += code < 0x100 ? static_cast<char>(code) : '?';
            ++i;
        } else {
            while (i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) & 0xC0) == 0x80)
                ++i;
            out += '?';
        }
    }
    return out;
}

MsgAnswer FakeUi::Message(const std::string& text, const std::string& title, MsgButtons buttons, MsgIcon icon) {
    messages.push_back(Shown{text, title, buttons, icon});
    if (onMessage)
        onMessage(messages.back());
    if (!answers.empty()) {
        MsgAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Ok;
}

// ---- identity -----------------------------------------------------------------------------
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

void FakeFileSystem::AddAlias(const std::string& alias, const std::string& target) {
    aliases_[KeyOf(alias)] = target;
}

void FakeFileSystem::AddFolderLinkTo(const std::string& path, const std::string& target, bool junction) {
    AddFolder(path, junction ? file_attr::kDirectory | file_attr::kReparsePoint : file_attr::kDirectory);
    links_[KeyOf(path)] = {target, junction};
}

bool FakeFileSystem::IsSystemProtectedFile(const std::string& path) {
    for (const std::string& guarded : systemProtected) {
        if (KeyOf(guarded) == KeyOf(path))
            return true;
    }
    return false;
}

std::vector<std::string> SplitCommandLine(const std::string& line) {
    std::vector<std::string> arguments;
    size_t at = 0;
    while (at < line.size()) {
        if (line[at] == ' ') {
            ++at;
            continue;
        }
        size_t end = line[at] == '"' ? line.find('"', at + 1) : line.find(' ', at);
        if (end == std::string::npos)
            end = line.size();
        arguments.push_back(line[at] == '"' ? line.substr(at + 1, end - at - 1) : line.substr(at, end - at));
        at = end + 1;
    }
    return arguments;
}

std::optional<std::vector<FileSystemPort::AccessEntry>> FakeFileSystem::ReadAccessList(const std::string& path) {
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

bool FakeFileSystem::SetAccessList(const std::string& path, const std::string& sddl) {
    accessListsSet.emplace_back(path, sddl);
    if (failSetAccess || !Get(path))
        return false;
    std::erase_if(accessEntries, [&](const auto& entry) { return KeyOf(entry.first) == KeyOf(path); });
    return true;
}

std::optional<FileIdentity> FakeFileSystem::Identify(const std::string& input) {
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
