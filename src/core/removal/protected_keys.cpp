// The registry side of the protected set: keys, values and services.
#include "core/removal/protected_objects.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "core/database/folder_variables.h"
#include "core/removal/process_ender.h"
#include "core/removal/protected_paths.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora {

namespace {

// Keys (relative to HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER or one user of HKEY_USERS, lower
// case) whose loss breaks the system or every program: start-up lists, shell, logon, classes,
// services. Keys above them are refused too.
constexpr std::string_view kCriticalKeys[] = {
    "software\\microsoft\\windows\\currentversion\\run",
    "software\\microsoft\\windows\\currentversion\\runonce",
    "software\\microsoft\\windows\\currentversion\\runonceex",
    "software\\microsoft\\windows\\currentversion\\runservices",
    "software\\microsoft\\windows\\currentversion\\runservicesonce",
    "software\\microsoft\\windows\\currentversion\\explorer\\browser helper objects",
    "software\\microsoft\\windows\\currentversion\\explorer\\shell folders",
    "software\\microsoft\\windows\\currentversion\\explorer\\user shell folders",
    "software\\microsoft\\windows\\currentversion\\shell extensions\\approved",
    "software\\microsoft\\windows\\currentversion\\shellserviceobjectdelayload",
    "software\\microsoft\\windows\\currentversion\\policies",
    "software\\microsoft\\windows\\currentversion\\uninstall",
    "software\\microsoft\\windows\\currentversion\\app paths",
    "software\\microsoft\\windows nt\\currentversion\\winlogon",
    "software\\microsoft\\windows nt\\currentversion\\windows",
    "software\\microsoft\\windows nt\\currentversion\\image file execution options",
    "software\\microsoft\\windows nt\\currentversion\\profilelist",
    "software\\microsoft\\internet explorer\\main",
    "software\\microsoft\\internet explorer\\toolbar",
    "software\\microsoft\\internet explorer\\extensions",
    "software\\microsoft\\active setup\\installed components",
    "software\\classes\\clsid",
    "software\\classes\\interface",
    "software\\classes\\typelib",
    "software\\classes\\appid",
    "software\\classes\\protocols\\handler",
    "software\\classes\\protocols\\filter",
    "software\\classes\\exefile\\shell\\open\\command",
    "software\\policies",
    "software\\microsoft\\windows nt\\currentversion\\winlogon",
    "software\\classes\\directory\\shell\\open\\command",
    "software\\classes\\directory\\shellex\\contextmenuhandlers",
    "software\\classes\\directory\\background\\shellex\\contextmenuhandlers",
    "software\\classes\\folder\\shell\\open\\command",
    "software\\classes\\folder\\shellex\\contextmenuhandlers",
    "software\\classes\\*\\shellex\\contextmenuhandlers",
    "software\\classes\\*\\shellex\\propertysheethandlers",
    "software\\classes\\drive\\shellex\\contextmenuhandlers",
    "software\\classes\\mime\\database",
    "software\\microsoft\\windows\\currentversion\\explorer\\shelliconoverlayidentifiers",
    "system\\currentcontrolset\\services",
};

// Keys whose every key and value below belongs to the system (relative, lower case).
constexpr std::string_view kCriticalKeyTrees[] = {
    "system\\currentcontrolset\\control",
    "system\\currentcontrolset\\enum",
    "system\\currentcontrolset\\hardware profiles",
    "system\\select",
    "system\\mounteddevices",
    "system\\setup",
    "system\\wpa",
    "system\\driverdatabase",
    "sam",
    "security",
    "hardware",
    "bcd00000000",
    "software\\classes\\.exe",
    "software\\classes\\exefile",
    "software\\classes\\.lnk",
    "software\\classes\\lnkfile",
    "software\\classes\\.com",
    "software\\classes\\comfile",
    "software\\classes\\.bat",
    "software\\classes\\batfile",
    "software\\classes\\.cmd",
    "software\\classes\\cmdfile",
    "software\\classes\\.dll",
    "software\\classes\\dllfile",
    "software\\classes\\.reg",
    "software\\classes\\regfile",
    "software\\microsoft\\windows nt\\currentversion\\winlogon\\gpextensions",
};

// Values whose loss stops Windows from logging on or booting, even though spyware often
// appends itself to them: the remedy is to repair them, not to delete them.
struct CriticalValue {
    std::string_view key;
    std::string_view name;
};
constexpr CriticalValue kCriticalValues[] = {
    {"software\\microsoft\\windows nt\\currentversion\\winlogon", "shell"},
    {"software\\microsoft\\windows nt\\currentversion\\winlogon", "userinit"},
    {"software\\microsoft\\windows nt\\currentversion\\winlogon", "system"},
    {"software\\microsoft\\windows nt\\currentversion\\winlogon", "taskman"},
    {"software\\microsoft\\windows nt\\currentversion\\winlogon", "vmapplet"},
    {"system\\currentcontrolset\\control\\session manager", "bootexecute"},
};

}  // namespace

bool ProtectedObjects::IsProtectedService(const std::string& name) {
    RegistryPort& port = registry_.port();
    const std::string key = "SYSTEM\\CurrentControlSet\\Services\\" + name;
    if (!port.KeyOpens(RootKey::LocalMachine, key, RegAccess::Read))
        return false;
    auto type = port.QueryValue(RootKey::LocalMachine, key, "Type");
    if (type && type->type == kRegDword && type->data.size() >= 4) {
        uint32_t value = static_cast<uint8_t>(type->data[0]) | (static_cast<uint8_t>(type->data[1]) << 8);
        // Kernel, file-system and recogniser drivers and adapters.
        if (value & 0xF)
            return true;
    }
    auto image = port.QueryValue(RootKey::LocalMachine, key, "ImagePath");
    if (!image || image->data.empty())
        return true;
    std::string text = FoldOrdinal(image->data);
    if (!text.empty() && text.front() == '"')
        text.erase(0, 1);
    for (std::string_view prefix : {"%SYSTEMROOT%", "%WINDIR%", "\\SYSTEMROOT", "SYSTEM32\\", "\\??\\"}) {
        if (StartsWith(text, prefix)) {
            if (prefix == "\\??\\") {
                text.erase(0, prefix.size());
                break;
            }
            return true;
        }
    }
    auto parts = SplitFoldedPath(text);
    if (!parts)
        return true;
    std::vector<std::string> windows;
    if (auto w = SplitFoldedPath(state_.folders.windowsDir))
        windows = *w;
    return !windows.empty() && IsStrictlyBelow(*parts, windows);
}

std::optional<std::string> ProtectedObjects::KeyRefusalOf(const CanonicalKey& key) {
    if (key.scope.empty())
        return "registry root key";
    if (key.scope == "HKU")
        return "registry root key";
    if (key.parts.empty())
        return key.scope == "CLASSES" ? "registry root key" : "registry root key";
    if (key.parts.size() == 1 && key.scope != "CLASSES")
        return "key directly below a registry root";
    const std::string rel = key.Relative();
    for (std::string_view tree : kCriticalKeyTrees) {
        std::string guarded = FoldOrdinal(tree);
        if (rel == guarded || StartsWith(rel, guarded + "\\") || StartsWith(guarded, rel + "\\")) {
            return "critical system key";
        }
    }
    for (std::string_view critical : kCriticalKeys) {
        std::string guarded = FoldOrdinal(critical);
        if (rel == guarded || StartsWith(guarded, rel + "\\"))
            return "critical system key";
    }
    if (key.scope == "CLASSES" && key.parts.size() == 1) {
        static constexpr std::string_view kAssociationRoots[] = {
            "*",    "DIRECTORY",           "FOLDER", "DRIVE", "CLSID", "INTERFACE", "TYPELIB", "APPID", "PROTOCOLS",
            "MIME", "ALLFILESYSTEMOBJECTS"};
        for (std::string_view root : kAssociationRoots) {
            if (key.parts[0] == root)
                return "file association root";
        }
    }
    if (key.scope != "CLASSES" && key.parts.size() >= 4 && key.parts[0] == "SYSTEM" &&
        key.parts[1] == "CURRENTCONTROLSET" && key.parts[2] == "SERVICES" && IsProtectedService(key.parts[3])) {
        return "service of a driver or of the system";
    }
    return std::nullopt;
}

std::optional<std::string> ProtectedObjects::KeyRefusal(const std::string& keyPath) {
    auto spelled = identity_.CanonicalKeyOf(keyPath);
    if (!spelled)
        return std::nullopt;  // an unknown root opens nothing
    if (auto reason = KeyRefusalOf(*spelled))
        return reason;
    // The key a link on the way leads to is the key the row names.
    auto through = identity_.KeyPathThroughLinks(keyPath);
    if (!through)
        return "registry link to an unknown place";
    if (*through != keyPath) {
        auto target = identity_.CanonicalKeyOf(*through);
        if (!target)
            return "registry link to an unknown place";
        if (auto reason = KeyRefusalOf(*target))
            return reason;
    }
    return std::nullopt;
}

std::optional<std::string> ProtectedObjects::ValueRefusal(const std::string& object) {
    size_t comma = object.find(',');
    if (comma == std::string::npos)
        return std::nullopt;
    const std::string keyPath = object.substr(0, comma);
    const std::string name = FoldOrdinal(object.substr(comma + 1));
    std::vector<std::string> paths = {keyPath};
    auto through = identity_.KeyPathThroughLinks(keyPath);
    if (!through)
        return "registry link to an unknown place";
    if (*through != keyPath)
        paths.push_back(*through);
    for (const std::string& path : paths) {
        auto key = identity_.CanonicalKeyOf(path);
        if (!key)
            continue;
        if (key->scope.empty())
            return "registry root key";
        const std::string rel = key->Relative();
        for (std::string_view tree : kCriticalKeyTrees) {
            std::string guarded = FoldOrdinal(tree);
            if (rel == guarded || StartsWith(rel, guarded + "\\"))
                return "value of a critical system key";
        }
        for (const CriticalValue& value : kCriticalValues) {
            if (FoldOrdinal(value.key) == rel && FoldOrdinal(value.name) == name)
                return "critical system value";
        }
        if (key->scope != "CLASSES" && key->parts.size() >= 4 && key->parts[0] == "SYSTEM" &&
            key->parts[1] == "CURRENTCONTROLSET" && key->parts[2] == "SERVICES" && IsProtectedService(key->parts[3])) {
            return "service of a driver or of the system";
        }
    }
    return std::nullopt;
}

}  // namespace pellora
