#include "core/removal/com_registrations.h"

#include <algorithm>

#include "core/identity/network_path.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora {

namespace {

// Both registry views: a 32-bit class or extension lives below Wow6432Node.
constexpr const char* kClassBases[] = {"Software\\Classes", "Software\\Classes\\Wow6432Node"};
constexpr const char* kSoftwareBases[] = {"Software", "Software\\Wow6432Node"};

// Keys named by the class id: browser helper objects, explorer bars.
constexpr const char* kKeysNamedByClass[] = {
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects",
    "Microsoft\\Internet Explorer\\Explorer Bars",
};
// Values named by the class id.
constexpr const char* kValuesNamedByClass[] = {
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellExecuteHooks",
    "Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved",
    "Microsoft\\Internet Explorer\\URLSearchHooks",
    "Microsoft\\Internet Explorer\\Toolbar",
    "Microsoft\\Internet Explorer\\Toolbar\\WebBrowser",
    "Microsoft\\Internet Explorer\\Toolbar\\ShellBrowser",
    "Microsoft\\Internet Explorer\\Toolbar\\Explorer",
};
// Values whose data is the class id.
constexpr const char* kValuesHoldingClass[] = {
    "Microsoft\\Windows\\CurrentVersion\\ShellServiceObjectDelayLoad",
};
// Handler keys whose name or default value is the class id.
constexpr const char* kOverlayKeys[] = {
    "Microsoft\\Windows\\CurrentVersion\\Explorer\\ShellIconOverlayIdentifiers",
};
constexpr const char* kShellexTypes[] = {"*",     "AllFilesystemObjects", "Directory", "Directory\\Background", "Drive",
                                         "Folder"};
constexpr const char* kShellexHandlers[] = {"ContextMenuHandlers", "PropertySheetHandlers", "CopyHookHandlers",
                                            "DragDropHandlers"};

std::string RootName(RootKey root) {
    return root == RootKey::LocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    size_t first = text.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first);
}

bool IsText(const RegValue& value) {
    return value.type == kRegSz || value.type == kRegExpandSz;
}

bool IsOneOf(const std::string& folded, const std::vector<std::string>& clsids) {
    return std::find(clsids.begin(), clsids.end(), folded) != clsids.end();
}

}  // namespace

std::string ServerFilePath(const std::string& value, SystemPort* system) {
    std::string text = Trimmed(value);
    if (text.find('%') != std::string::npos && system)
        text = system->ExpandEnvironment(text);
    text = Trimmed(text);
    if (!text.empty() && text.front() == '"') {
        size_t close = text.find('"', 1);
        return close == std::string::npos ? text.substr(1) : text.substr(1, close - 1);
    }
    // Unquoted: the program ends at the first blank before which a program's name ends
    // ("C:\Program Files\X\x.exe -Embedding"); otherwise the text is taken whole.
    for (size_t blank = text.find(' '); blank != std::string::npos; blank = text.find(' ', blank + 1)) {
        std::string candidate = text.substr(0, blank);
        size_t dot = candidate.rfind('.');
        if (dot == std::string::npos || candidate.find('\\', dot) != std::string::npos)
            continue;
        std::string extension = ToLowerAscii(candidate.substr(dot + 1));
        for (const char* known : {"exe", "dll", "ocx", "ax", "cpl", "scr", "com"}) {
            if (extension == known)
                return candidate;
        }
    }
    return text;
}

void ComRegistrations::Forget() {
    indexed_ = false;
    servers_.clear();
    byName_.clear();
    shortNamed_.clear();
}

void ComRegistrations::Index() {
    indexed_ = true;
    for (RootKey root : {RootKey::LocalMachine, RootKey::CurrentUser}) {
        for (const char* base : kClassBases)
            IndexClasses(root, std::string(base) + "\\CLSID");
    }
}

void ComRegistrations::IndexClasses(RootKey root, const std::string& classesKey) {
    auto classes = registry_.EnumSubKeys(root, classesKey, RegAccess::Read);
    if (!classes)
        return;
    for (size_t i = 0; i < classes->size(); ++i) {
        const std::string& clsid = (*classes)[i];
        for (const char* serverKey : {"InprocServer32", "LocalServer32"}) {
            auto value = registry_.QueryValue(root, classesKey + "\\" + clsid + "\\" + serverKey, "");
            if (!value || !IsText(*value))
                continue;
            std::string path = ServerFilePath(value->data, system_);
            // A bare name is found through the search path, never in a found file's folder.
            if (path.find('\\') == std::string::npos)
                continue;
            servers_.push_back(Server{root, classesKey, clsid, path});
            const size_t at = servers_.size() - 1;
            if (path.find('~') != std::string::npos)
                shortNamed_.push_back(at);
            else
                byName_.emplace(FoldOrdinal(BaseName(path)), at);
        }
        if (i % 256 == 255)
            ui_.Yield();
    }
}

bool ComRegistrations::IsServerOf(const Server& server,
                                  const std::optional<std::vector<std::string>>& foundParts,
                                  const std::optional<ResolvedObject>& found) {
    // A server on another machine (any user may register one) is never opened: the spelling
    // decides.
    if (found && !NetworkPaths(identity_.files()).IsNetwork(server.path)) {
        if (auto object = identity_.Resolve(server.path))
            return object->SameObject(*found);
    }
    // Neither can be opened: the spelling is all there is.
    auto parts = SplitFoldedPath(server.path);
    return parts && foundParts && *parts == *foundParts;
}

std::vector<ComRegistration> ComRegistrations::Of(const std::string& path, const std::optional<ResolvedObject>& found) {
    if (!indexed_)
        Index();
    std::vector<size_t> candidates = shortNamed_;
    std::vector<std::string> names = {FoldOrdinal(BaseName(path))};
    if (found)
        names.push_back(FoldOrdinal(BaseName(found->finalPath)));
    for (const std::string& name : names) {
        auto [first, last] = byName_.equal_range(name);
        for (auto it = first; it != last; ++it)
            candidates.push_back(it->second);
    }
    std::sort(candidates.begin(), candidates.end());
    candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());

    const auto foundParts = SplitFoldedPath(path);
    std::vector<ComRegistration> classKeys;
    std::vector<std::string> clsids;
    for (size_t at : candidates) {
        const Server& server = servers_[at];
        if (!IsServerOf(server, foundParts, found))
            continue;
        std::string key = RootName(server.root) + "\\" + server.classesKey + "\\" + server.clsid;
        bool known = std::any_of(classKeys.begin(), classKeys.end(),
                                 [&key](const ComRegistration& r) { return r.object == key; });
        if (!known)
            classKeys.push_back(ComRegistration{true, key});
        std::string folded = FoldOrdinal(server.clsid);
        if (!IsOneOf(folded, clsids))
            clsids.push_back(folded);
    }
    std::vector<ComRegistration> out;
    if (clsids.empty())
        return out;
    for (RootKey root : {RootKey::LocalMachine, RootKey::CurrentUser})
        AddNamingEntries(root, clsids, out);
    out.insert(out.end(), classKeys.begin(), classKeys.end());
    return out;
}

void ComRegistrations::AddNamingEntries(RootKey root,
                                        const std::vector<std::string>& clsids,
                                        std::vector<ComRegistration>& out) {
    const std::string rootName = RootName(root);
    // A key below `parent` named by a class id, or (`byDefault`) whose default value is one.
    auto keysBelow = [&](const std::string& parent, bool byDefault) {
        auto names = registry_.EnumSubKeys(root, parent, RegAccess::Read);
        if (!names)
            return;
        for (const std::string& name : *names) {
            bool hit = IsOneOf(FoldOrdinal(Trimmed(name)), clsids);
            if (!hit && byDefault) {
                auto value = registry_.QueryValue(root, parent + "\\" + name, "");
                hit = value && IsText(*value) && IsOneOf(FoldOrdinal(Trimmed(value->data)), clsids);
            }
            if (hit)
                out.push_back(ComRegistration{true, rootName + "\\" + parent + "\\" + name});
        }
    };
    // A value of `key` named by a class id, or (`byData`) holding one.
    auto valuesOf = [&](const std::string& key, bool byData) {
        auto names = registry_.EnumValueNames(root, key);
        if (!names)
            return;
        for (const std::string& name : *names) {
            bool hit = !name.empty() && IsOneOf(FoldOrdinal(Trimmed(name)), clsids);
            if (!hit && byData) {
                auto value = registry_.QueryValue(root, key, name);
                hit = value && IsText(*value) && IsOneOf(FoldOrdinal(Trimmed(value->data)), clsids);
            }
            // A value name with a comma could not be told from its key in a regval object.
            if (hit && name.find(',') == std::string::npos)
                out.push_back(ComRegistration{false, rootName + "\\" + key + "," + name});
        }
    };
    for (const char* base : kSoftwareBases) {
        const std::string software = base;
        for (const char* key : kKeysNamedByClass)
            keysBelow(software + "\\" + key, false);
        for (const char* key : kValuesNamedByClass)
            valuesOf(software + "\\" + key, false);
        for (const char* key : kValuesHoldingClass)
            valuesOf(software + "\\" + key, true);
        for (const char* key : kOverlayKeys)
            keysBelow(software + "\\" + key, true);
    }
    for (const char* base : kClassBases) {
        for (const char* type : kShellexTypes) {
            for (const char* handlers : kShellexHandlers)
                keysBelow(std::string(base) + "\\" + type + "\\shellex\\" + handlers, true);
        }
    }
}

}  // namespace pellora
