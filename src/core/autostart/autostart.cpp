#include "core/autostart/autostart.h"

#include "core/autostart/shortcut.h"
#include "core/autostart/task_definition.h"
#include "core/identity/network_path.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora::autostart {

namespace {

constexpr const char* kHklm = "HKEY_LOCAL_MACHINE";
constexpr const char* kHkcu = "HKEY_CURRENT_USER";
// Both registry views of a key below Software.
constexpr const char* kViews[] = {"Software\\", "Software\\WOW6432Node\\"};
constexpr const char* kWinlogonKey = "Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
constexpr const char* kSessionManager = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
// Task folders deeper than this are not entered (Windows keeps them a few levels deep).
constexpr int kMaxTaskDepth = 32;

const char* RootName(RootKey root) {
    return root == RootKey::LocalMachine ? kHklm : kHkcu;
}

std::string KeyPath(RootKey root, const std::string& key) {
    return std::string(RootName(root)) + "\\" + key;
}

std::vector<std::string> SplitList(const std::string& text, std::string_view separators) {
    std::vector<std::string> parts;
    size_t pos = 0;
    while (pos <= text.size()) {
        const size_t cut = text.find_first_of(separators, pos);
        const std::string part = TrimSpaces(text.substr(pos, cut == std::string::npos ? std::string::npos : cut - pos));
        if (!part.empty())
            parts.push_back(part);
        if (cut == std::string::npos)
            break;
        pos = cut + 1;
    }
    return parts;
}

std::string Quoted(const std::string& path) {
    return "\"" + path + "\"";
}

void TakeResolved(AutostartEntry& entry, const ResolvedCommand& resolved) {
    entry.program = resolved.program;
    entry.arguments = resolved.arguments;
    entry.exists = resolved.exists;
    entry.hosts = resolved.hosts;
    entry.payload = resolved.payload;
    entry.payloadText = resolved.payloadText;
}

// A place on another machine: named, with itself as the program (never there), never read.
AutostartEntry NetworkPlace(const char* place, const std::string& path) {
    AutostartEntry entry;
    entry.place = place;
    entry.location = path;
    entry.program = path;
    return entry;
}

}  // namespace

ResolveContext SystemResolveContext(FileSystemPort& files, SystemPort& system) {
    ResolveContext context;
    context.expand = [&system](const std::string& text) { return system.ExpandEnvironment(text); };
    // Nothing on another machine is asked about: the question alone would connect to it.
    auto network = std::make_shared<NetworkPaths>(files);
    context.fileExists = [&files, network](const std::string& path) {
        if (network->IsNetwork(path))
            return false;
        const std::optional<uint32_t> attributes = files.GetAttributes(path);
        return attributes && !(*attributes & file_attr::kDirectory);
    };
    context.isNetwork = [network](const std::string& path) { return network->IsNetwork(path); };
    context.systemDirectory = system.SystemDirectory();
    context.windowsDirectory = system.WindowsDirectory();
    return context;
}

AutostartEnumerator::AutostartEnumerator(RegistryPort& registry, FileSystemPort& files, SystemPort& system)
    : registry_(registry), files_(files), system_(system), context_(SystemResolveContext(files, system)) {}

std::vector<AutostartEntry> AutostartEnumerator::Enumerate() {
    context_ = SystemResolveContext(files_, system_);
    std::vector<AutostartEntry> out;
    ReadRunKeys(out);
    ReadStartupFolders(out);
    ReadTasks(out);
    ReadServices(out);
    ReadWinlogon(out);
    ReadImageDebuggers(out);
    ReadAppInit(out);
    ReadActiveSetup(out);
    ReadShellHooks(out);
    ReadSessionManager(out);
    ReadHosts(out);
    return out;
}

AutostartEnumerator::Text AutostartEnumerator::ReadText(RootKey root, const std::string& key, const std::string& name) {
    return TextOf(registry_.QueryValue(root, key, name));
}

AutostartEnumerator::Text AutostartEnumerator::TextOf(const std::optional<RegValue>& value) {
    Text text;
    if (!value)
        return text;
    text.present = true;
    if (value->type != kRegSz && value->type != kRegExpandSz) {
        text.problem = "value of type " + std::to_string(value->type);
        return text;
    }
    if (value->data.size() > kMaxValueLength) {
        text.problem = "value too long (" + std::to_string(value->data.size()) + " bytes)";
        return text;
    }
    text.value = value->data;
    const size_t nul = text.value.find('\0');
    if (nul != std::string::npos) {
        // The system stops reading at the first NUL; what follows is hidden from most tools.
        text.value.resize(nul);
        text.problem = "text holds a NUL";
    }
    return text;
}

AutostartEntry AutostartEnumerator::CommandEntry(const char* place,
                                                 const std::string& location,
                                                 const std::string& name,
                                                 const Text& text) {
    AutostartEntry entry;
    entry.place = place;
    entry.location = location;
    entry.name = name;
    entry.command = text.value;
    entry.problem = text.problem;
    if (!text.value.empty()) {
        const ResolvedCommand resolved = ResolveCommand(text.value, context_);
        TakeResolved(entry, resolved);
        if (entry.problem.empty())
            entry.problem = resolved.problem;
    }
    return entry;
}

AutostartEntry AutostartEnumerator::ModuleEntry(const char* place,
                                                const std::string& location,
                                                const std::string& name,
                                                const std::string& path,
                                                const std::string& problem) {
    AutostartEntry entry;
    entry.place = place;
    entry.location = location;
    entry.name = name;
    entry.command = path;
    entry.problem = problem;
    if (!path.empty()) {
        const ResolvedCommand resolved = ResolveModule(path, context_);
        entry.program = resolved.program;
        entry.exists = resolved.exists;
        if (entry.problem.empty())
            entry.problem = resolved.problem;
    }
    return entry;
}

// ---- Run and RunOnce -----------------------------------------------------------------------

void AutostartEnumerator::ReadRunKeys(std::vector<AutostartEntry>& out) {
    for (RootKey root : {RootKey::LocalMachine, RootKey::CurrentUser}) {
        for (const char* view : kViews) {
            for (const char* which : {"Run", "RunOnce"}) {
                const std::string key = std::string(view) + "Microsoft\\Windows\\CurrentVersion\\" + which;
                const auto names = registry_.EnumValueNames(root, key);
                if (!names)
                    continue;
                const char* id = which[3] == 'O' ? place::kRunOnce : place::kRun;
                for (const std::string& name : *names) {
                    const Text text = ReadText(root, key, name);
                    if (text.present)
                        out.push_back(CommandEntry(id, KeyPath(root, key), name, text));
                }
            }
        }
    }
}

// ---- Startup folders -----------------------------------------------------------------------

std::string ShellFolderPath(RegistryPort& registry,
                            SystemPort& system,
                            RootKey root,
                            const std::string& name,
                            const std::string& fallback) {
    const std::string base = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
    for (const char* key : {"User Shell Folders", "Shell Folders"}) {
        const std::optional<RegValue> value = registry.QueryValue(root, base + key, name);
        // A value of another type, too long or holding a NUL names no folder to trust.
        if (value && (value->type == kRegSz || value->type == kRegExpandSz) && !value->data.empty() &&
            value->data.size() <= kMaxValueLength && value->data.find('\0') == std::string::npos)
            return system.ExpandEnvironment(value->data);
    }
    const std::string expanded = system.ExpandEnvironment(fallback);
    // An unknown variable stays as written: no such folder.
    return expanded.find('%') == std::string::npos ? expanded : std::string();
}

void AutostartEnumerator::ReadStartupFolders(std::vector<AutostartEntry>& out) {
    const std::string user = ShellFolderPath(registry_, system_, RootKey::CurrentUser, "Startup",
                                             "%APPDATA%\\Microsoft\\Windows\\Start Menu\\Programs\\Startup");
    const std::string common = ShellFolderPath(registry_, system_, RootKey::LocalMachine, "Common Startup",
                                               "%ProgramData%\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp");
    if (!user.empty())
        ReadStartupFolder(user, out);
    if (!common.empty() && !EqualsOrdinalIgnoreCase(common, user))
        ReadStartupFolder(common, out);
}

void AutostartEnumerator::ReadStartupFolder(const std::string& folder, std::vector<AutostartEntry>& out) {
    // A user may move their Startup folder onto a share: it is named, never listed.
    if (context_.isNetwork && context_.isNetwork(folder)) {
        out.push_back(NetworkPlace(place::kStartup, folder));
        return;
    }
    std::vector<FindEntry> entries;
    std::optional<std::string> finalPath;
    if (!files_.ListFolder(folder, entries, finalPath))
        return;
    for (const FindEntry& found : entries) {
        if (found.attributes & file_attr::kDirectory)
            continue;
        if (EqualsIgnoreCase(found.name, "desktop.ini"))
            continue;
        const std::string path = folder + "\\" + found.name;
        AutostartEntry entry;
        entry.place = place::kStartup;
        entry.location = folder;
        entry.name = found.name;
        if (!EndsWith(ToLowerAscii(found.name), ".lnk")) {
            entry.command = path;
            entry.program = path;
            entry.exists = true;
            out.push_back(std::move(entry));
            continue;
        }
        if (found.size > kMaxShortcutLength) {
            entry.problem = "shortcut too large (" + std::to_string(found.size) + " bytes)";
            out.push_back(std::move(entry));
            continue;
        }
        const std::optional<std::string> bytes = files_.ReadFileUpTo(path, kMaxShortcutLength);
        const std::optional<Shortcut> link =
            bytes ? ReadShortcut(*bytes, [this](std::string_view ansi) { return system_.AnsiToUtf8(ansi); })
                  : std::nullopt;
        if (!link) {
            entry.problem = bytes ? "not a readable shortcut" : "cannot be read";
            out.push_back(std::move(entry));
            continue;
        }
        entry.command = link->target.empty() ? std::string() : Quoted(link->target);
        if (!link->arguments.empty())
            entry.command += (entry.command.empty() ? "" : " ") + link->arguments;
        if (link->target.empty()) {
            entry.problem = "shortcut names no file path";
        } else {
            const ResolvedCommand resolved = ResolveCommand(entry.command, context_);
            TakeResolved(entry, resolved);
            entry.problem = resolved.problem;
        }
        out.push_back(std::move(entry));
    }
}

// ---- scheduled tasks -----------------------------------------------------------------------

void AutostartEnumerator::ReadTasks(std::vector<AutostartEntry>& out) {
    if (context_.systemDirectory.empty())
        return;
    WalkTasks(context_.systemDirectory + "\\Tasks", "", std::nullopt, 0, out);
}

void AutostartEnumerator::WalkTasks(const std::string& folder,
                                    const std::string& taskPath,
                                    const std::optional<std::string>& expectedFinal,
                                    int depth,
                                    std::vector<AutostartEntry>& out) {
    std::vector<FindEntry> entries;
    std::optional<std::string> finalPath;
    if (!files_.ListFolder(folder, entries, finalPath))
        return;
    // Never through a link: a folder whose final path is not directly below its parent's is
    // one, whether or not it carries the reparse attribute (Wine's Unix links do not).
    if (expectedFinal && finalPath && !EqualsOrdinalIgnoreCase(*finalPath, *expectedFinal))
        return;
    std::vector<const FindEntry*> subfolders;
    for (const FindEntry& found : entries) {
        if (found.attributes & file_attr::kDirectory) {
            if (!(found.attributes & file_attr::kReparsePoint) && depth + 1 < kMaxTaskDepth)
                subfolders.push_back(&found);
            continue;
        }
        ReadTaskFile(folder + "\\" + found.name, taskPath + "\\" + found.name, found.size, out);
    }
    for (const FindEntry* sub : subfolders) {
        const std::optional<std::string> childFinal =
            finalPath ? std::optional<std::string>(*finalPath + "\\" + sub->name) : std::nullopt;
        WalkTasks(folder + "\\" + sub->name, taskPath + "\\" + sub->name, childFinal, depth + 1, out);
    }
}

void AutostartEnumerator::ReadTaskFile(const std::string& path,
                                       const std::string& taskPath,
                                       uint64_t size,
                                       std::vector<AutostartEntry>& out) {
    AutostartEntry base;
    base.place = place::kTask;
    base.location = path;
    base.name = taskPath;
    if (size > kMaxTaskDefinitionLength) {
        base.problem = "definition too large (" + std::to_string(size) + " bytes)";
        out.push_back(std::move(base));
        return;
    }
    const std::optional<std::string> bytes = files_.ReadFileUpTo(path, kMaxTaskDefinitionLength);
    if (!bytes) {
        base.problem = "definition cannot be read";
        out.push_back(std::move(base));
        return;
    }
    TaskReadResult read = ReadTaskDefinition(*bytes);
    if (!read.definition) {
        base.problem = "damaged definition: " + read.problem;
        out.push_back(std::move(base));
        return;
    }
    base.enabled = read.definition->enabled;
    if (read.definition->actions.empty()) {
        base.problem = "no action";
        out.push_back(std::move(base));
        return;
    }
    for (const TaskAction& action : read.definition->actions) {
        AutostartEntry entry = base;
        if (action.kind == TaskAction::Kind::ComHandler) {
            entry.command = action.command;
            entry.program = ClassServer(action.command, false);
            entry.exists = !entry.program.empty() && ResolveModule(entry.program, context_).exists;
            if (entry.program.empty())
                entry.problem = "class not registered";
            out.push_back(std::move(entry));
            continue;
        }
        // Command is a path, not a command line: its blanks belong to it.
        std::string command = action.command;
        if (command.size() >= 2 && command.front() == '"' && command.back() == '"')
            command = command.substr(1, command.size() - 2);
        entry.command = action.command + (action.arguments.empty() ? "" : " " + action.arguments);
        if (command.empty()) {
            entry.problem = "action without a command";
        } else {
            const ResolvedCommand resolved =
                ResolveCommand(Quoted(command) + (action.arguments.empty() ? "" : " " + action.arguments), context_);
            TakeResolved(entry, resolved);
            entry.problem = resolved.problem;
        }
        out.push_back(std::move(entry));
    }
}

// ---- services and drivers ------------------------------------------------------------------

void AutostartEnumerator::ReadServices(std::vector<AutostartEntry>& out) {
    const auto names = registry_.EnumSubKeys(RootKey::LocalMachine, kServicesKey, RegAccess::Read);
    if (!names)
        return;
    for (const std::string& name : *names) {
        const std::string key = std::string(kServicesKey) + "\\" + name;
        // One open of the key for the values every service has.
        const std::vector<std::optional<RegValue>> values =
            registry_.QueryValues(RootKey::LocalMachine, key, {"Type", "Start", "ImagePath", "ServiceDll"});
        const std::optional<RegValue>& type = values[0];
        const std::optional<RegValue>& start = values[1];
        auto dword = [](const std::optional<RegValue>& value) -> std::optional<uint32_t> {
            if (!value || value->type != kRegDword || value->data.size() != 4)
                return std::nullopt;
            const auto* d = reinterpret_cast<const unsigned char*>(value->data.data());
            return static_cast<uint32_t>(d[0] | d[1] << 8 | d[2] << 16 | static_cast<uint32_t>(d[3]) << 24);
        };
        const std::optional<uint32_t> typeNumber = dword(type);
        const std::optional<uint32_t> startNumber = dword(start);
        Text image = TextOf(values[2]);
        if (!typeNumber && !image.present)
            continue;  // not a service: a key some program keeps its own settings in
        const bool driver = typeNumber && (*typeNumber & 0x3) != 0;
        AutostartEntry entry;
        if (image.present && image.problem.empty() && !image.value.empty()) {
            Text normalized = image;
            normalized.value = NormalizeImagePath(image.value, context_.windowsDirectory);
            entry = CommandEntry(place::kService, KeyPath(RootKey::LocalMachine, key), name, normalized);
            entry.command = image.value;
        } else if (driver && !image.present) {
            // A driver without ImagePath loads system32\drivers\<name>.sys.
            entry = ModuleEntry(place::kService, KeyPath(RootKey::LocalMachine, key), name,
                                context_.systemDirectory + "\\drivers\\" + name + ".sys", "");
            entry.command.clear();
        } else {
            entry = CommandEntry(place::kService, KeyPath(RootKey::LocalMachine, key), name, image);
            if (entry.problem.empty())
                entry.problem = image.present ? "empty image path" : "no image path";
        }
        if (type && !typeNumber && entry.problem.empty())
            entry.problem = "damaged Type value";
        if (start && !startNumber && entry.problem.empty())
            entry.problem = "damaged Start value";
        entry.enabled = !startNumber || *startNumber != 4;
        out.push_back(entry);
        for (const std::string& dllKey : {key + "\\Parameters", key}) {
            const Text dll = dllKey == key ? TextOf(values[3]) : ReadText(RootKey::LocalMachine, dllKey, "ServiceDll");
            if (!dll.present)
                continue;
            AutostartEntry hosted =
                ModuleEntry(place::kService, KeyPath(RootKey::LocalMachine, dllKey), name, dll.value, dll.problem);
            hosted.enabled = entry.enabled;
            out.push_back(std::move(hosted));
            break;
        }
    }
}

// ---- Winlogon, image-execution debuggers, AppInit, Active Setup ----------------------------

void AutostartEnumerator::ReadWinlogon(std::vector<AutostartEntry>& out) {
    const std::pair<RootKey, const char*> sources[] = {
        {RootKey::LocalMachine, kViews[0]}, {RootKey::LocalMachine, kViews[1]}, {RootKey::CurrentUser, kViews[0]}};
    for (const auto& [root, view] : sources) {
        const std::string key = std::string(view) + kWinlogonKey;
        // Both are lists: Winlogon starts each comma-separated program in turn.
        for (const auto& [valueName, id] :
             {std::pair{"Shell", place::kWinlogonShell}, std::pair{"Userinit", place::kWinlogonUserinit}}) {
            const Text text = ReadText(root, key, valueName);
            if (!text.present)
                continue;
            const std::vector<std::string> parts = SplitList(text.value, ",");
            if (parts.empty() || !text.problem.empty()) {
                out.push_back(CommandEntry(id, KeyPath(root, key), valueName, text));
                continue;
            }
            for (const std::string& part : parts) {
                Text one;
                one.value = part;
                one.present = true;
                out.push_back(CommandEntry(id, KeyPath(root, key), valueName, one));
            }
        }
        if (root != RootKey::LocalMachine)
            continue;
        const std::string notify = key + "\\Notify";
        const auto packages = registry_.EnumSubKeys(root, notify, RegAccess::Read);
        if (!packages)
            continue;
        for (const std::string& package : *packages) {
            const Text dll = ReadText(root, notify + "\\" + package, "DllName");
            if (dll.present)
                out.push_back(ModuleEntry(place::kWinlogonNotify, KeyPath(root, notify + "\\" + package), package,
                                          dll.value, dll.problem));
        }
    }
}

void AutostartEnumerator::ReadImageDebuggers(std::vector<AutostartEntry>& out) {
    for (const char* view : kViews) {
        const std::string key =
            std::string(view) + "Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options";
        const auto images = registry_.EnumSubKeys(RootKey::LocalMachine, key, RegAccess::Read);
        if (!images)
            continue;
        for (const std::string& image : *images) {
            const std::string sub = key + "\\" + image;
            const Text text = ReadText(RootKey::LocalMachine, sub, "Debugger");
            if (text.present)
                out.push_back(CommandEntry(place::kIfeoDebugger, KeyPath(RootKey::LocalMachine, sub), image, text));
        }
    }
}

void AutostartEnumerator::ReadAppInit(std::vector<AutostartEntry>& out) {
    for (const char* view : kViews) {
        const std::string key = std::string(view) + "Microsoft\\Windows NT\\CurrentVersion\\Windows";
        const Text text = ReadText(RootKey::LocalMachine, key, "AppInit_DLLs");
        if (!text.present)
            continue;
        const std::string location = KeyPath(RootKey::LocalMachine, key);
        if (!text.problem.empty()) {
            out.push_back(ModuleEntry(place::kAppInit, location, "AppInit_DLLs", "", text.problem));
            continue;
        }
        for (const std::string& dll : SplitList(text.value, ", \t"))
            out.push_back(ModuleEntry(place::kAppInit, location, "AppInit_DLLs", dll, ""));
    }
}

void AutostartEnumerator::ReadActiveSetup(std::vector<AutostartEntry>& out) {
    for (const char* view : kViews) {
        const std::string key = std::string(view) + "Microsoft\\Active Setup\\Installed Components";
        const auto components = registry_.EnumSubKeys(RootKey::LocalMachine, key, RegAccess::Read);
        if (!components)
            continue;
        for (const std::string& component : *components) {
            const std::string sub = key + "\\" + component;
            const Text text = ReadText(RootKey::LocalMachine, sub, "StubPath");
            if (text.present)
                out.push_back(CommandEntry(place::kActiveSetup, KeyPath(RootKey::LocalMachine, sub), component, text));
        }
    }
}

// ---- browser helper objects and shell hooks ------------------------------------------------

std::string AutostartEnumerator::ClassServer(const std::string& clsid, bool wow) {
    if (clsid.empty() || clsid.size() > 64 || clsid.find('\\') != std::string::npos)
        return {};
    const char* first = wow ? "Software\\Classes\\WOW6432Node\\CLSID\\" : "Software\\Classes\\CLSID\\";
    const char* second = wow ? "Software\\Classes\\CLSID\\" : "Software\\Classes\\WOW6432Node\\CLSID\\";
    // The per-user registration wins over the machine's, as the shell reads them.
    for (const char* base : {first, second})
        for (RootKey root : {RootKey::CurrentUser, RootKey::LocalMachine}) {
            const Text text = ReadText(root, base + clsid + "\\InprocServer32", "");
            if (!text.value.empty() && text.problem.empty())
                return text.value;
        }
    return {};
}

void AutostartEnumerator::AddClassEntry(std::vector<AutostartEntry>& out,
                                        const char* place,
                                        const std::string& location,
                                        const std::string& name,
                                        const std::string& clsid,
                                        bool wow) {
    const std::string server = ClassServer(clsid, wow);
    AutostartEntry entry = ModuleEntry(place, location, name, server, server.empty() ? "class not registered" : "");
    entry.command = clsid;
    out.push_back(std::move(entry));
}

void AutostartEnumerator::ReadShellHooks(std::vector<AutostartEntry>& out) {
    for (RootKey root : {RootKey::LocalMachine, RootKey::CurrentUser}) {
        for (const char* view : kViews) {
            const bool wow = view == kViews[1];
            const std::string base = std::string(view) + "Microsoft\\Windows\\CurrentVersion\\";
            const std::string bhoKey = base + "Explorer\\Browser Helper Objects";
            if (const auto classes = registry_.EnumSubKeys(root, bhoKey, RegAccess::Read))
                for (const std::string& clsid : *classes)
                    AddClassEntry(out, place::kBho, KeyPath(root, bhoKey + "\\" + clsid), clsid, clsid, wow);
            const std::string hookKey = base + "Explorer\\ShellExecuteHooks";
            if (const auto hooks = registry_.EnumValueNames(root, hookKey))
                for (const std::string& clsid : *hooks)
                    if (!clsid.empty())
                        AddClassEntry(out, place::kShellExecuteHook, KeyPath(root, hookKey), clsid, clsid, wow);
            const std::string ssodlKey = base + "ShellServiceObjectDelayLoad";
            if (const auto objects = registry_.EnumValueNames(root, ssodlKey))
                for (const std::string& name : *objects) {
                    const Text clsid = ReadText(root, ssodlKey, name);
                    if (!clsid.problem.empty()) {
                        out.push_back(
                            ModuleEntry(place::kShellServiceObject, KeyPath(root, ssodlKey), name, "", clsid.problem));
                        continue;
                    }
                    AddClassEntry(out, place::kShellServiceObject, KeyPath(root, ssodlKey), name,
                                  TrimSpaces(clsid.value), wow);
                }
        }
    }
}

// ---- boot programs and known DLLs ----------------------------------------------------------

void AutostartEnumerator::ReadSessionManager(std::vector<AutostartEntry>& out) {
    const std::string location = KeyPath(RootKey::LocalMachine, kSessionManager);
    if (const std::optional<RegValue> boot =
            registry_.QueryValue(RootKey::LocalMachine, kSessionManager, "BootExecute")) {
        std::vector<std::string> lines;
        std::string problem;
        if (boot->type == kRegMultiSz || boot->type == kRegSz || boot->type == kRegExpandSz) {
            if (boot->data.size() > kMaxValueLength)
                problem = "value too long (" + std::to_string(boot->data.size()) + " bytes)";
            else
                for (std::string& line : SplitList(boot->data, std::string_view("\0", 1)))
                    lines.push_back(std::move(line));
        } else {
            problem = "value of type " + std::to_string(boot->type);
        }
        if (!problem.empty()) {
            Text text;
            text.present = true;
            text.problem = problem;
            out.push_back(CommandEntry(place::kBootExecute, location, "BootExecute", text));
        }
        for (const std::string& line : lines) {
            // "autocheck autochk *": the prefix asks for a check of the volume, the image is the
            // second word; native images live in System32.
            Text text;
            text.present = true;
            text.value = line;
            std::string_view rest = line;
            if (StartsWithOrdinalIgnoreCase(rest, "autocheck ")) {
                rest.remove_prefix(10);
                text.value = TrimSpaces(rest);
            }
            AutostartEntry entry = CommandEntry(place::kBootExecute, location, "BootExecute", text);
            entry.command = line;
            out.push_back(std::move(entry));
        }
    }
    const std::string knownKey = std::string(kSessionManager) + "\\KnownDLLs";
    const auto names = registry_.EnumValueNames(RootKey::LocalMachine, knownKey);
    if (!names)
        return;
    for (const std::string& name : *names) {
        if (EqualsIgnoreCase(name, "DllDirectory") || EqualsIgnoreCase(name, "DllDirectory32"))
            continue;
        const Text text = ReadText(RootKey::LocalMachine, knownKey, name);
        // Known DLLs are loaded from System32 whatever the text says.
        const std::string path = text.value.empty() || text.value.find_first_of("\\/:") != std::string::npos
                                     ? text.value
                                     : context_.systemDirectory + "\\" + text.value;
        out.push_back(
            ModuleEntry(place::kKnownDll, KeyPath(RootKey::LocalMachine, knownKey), name, path, text.problem));
        out.back().command = text.value;
    }
}

// ---- hosts file ----------------------------------------------------------------------------

void AutostartEnumerator::ReadHosts(std::vector<AutostartEntry>& out) {
    std::string folder = context_.systemDirectory + "\\drivers\\etc";
    const Text database =
        ReadText(RootKey::LocalMachine, "SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters", "DataBasePath");
    if (!database.value.empty() && database.problem.empty())
        folder = system_.ExpandEnvironment(database.value);
    const std::string path = folder + "\\hosts";
    if (context_.isNetwork && context_.isNetwork(path)) {
        out.push_back(NetworkPlace(place::kHosts, path));
        return;
    }
    const std::optional<uint32_t> attributes = files_.GetAttributes(path);
    if (!attributes)
        return;
    AutostartEntry base;
    base.place = place::kHosts;
    base.location = path;
    const std::optional<std::string> bytes = files_.ReadFileUpTo(path, kMaxHostsLength);
    if (!bytes) {
        base.problem = "hosts file too large or unreadable";
        out.push_back(std::move(base));
        return;
    }
    const std::string& text = *bytes;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        std::string_view line(text.data() + pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);  // CR LF line ends, as Windows writes the file
        const size_t hash = line.find('#');
        if (hash != std::string_view::npos)
            line = line.substr(0, hash);
        const std::vector<std::string> words = SplitList(std::string(line), " \t\r\v\f");
        if (words.empty())
            continue;
        const bool localhost = words.size() == 2 && EqualsIgnoreCase(words[1], "localhost") &&
                               (words[0] == "127.0.0.1" || words[0] == "::1");
        if (localhost)
            continue;
        AutostartEntry entry = base;
        entry.name = words.size() > 1 ? words[1] : std::string();
        entry.command = TrimSpaces(line);
        if (words.size() < 2)
            entry.problem = "line without a host name";
        out.push_back(std::move(entry));
    }
}

}  // namespace pellora::autostart
