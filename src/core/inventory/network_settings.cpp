// The settings that send a browser's traffic elsewhere: the proxy and auto-configuration script
// of Internet Settings (user and machine) and the DNS servers, global and per adapter, of IPv4
// and IPv6. Each set value is one entry with its text as the command; a value of the wrong type
// or too long says so in its note.
#include <optional>
#include <string>

#include "core/autostart/autostart.h"
#include "core/inventory/inventory.h"

namespace pellora::inventory {
namespace {

constexpr const char* kInternetSettings = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
constexpr const char* kTcpipKeys[] = {"SYSTEM\\CurrentControlSet\\Services\\Tcpip\\Parameters",
                                      "SYSTEM\\CurrentControlSet\\Services\\Tcpip6\\Parameters"};

std::string RootName(RootKey root) {
    return root == RootKey::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

// The value as an entry when it holds text; nothing when it is missing or empty.
std::optional<InventoryEntry> TextEntry(RegistryPort& registry,
                                        RootKey root,
                                        const std::string& key,
                                        const std::string& name,
                                        const char* placeId) {
    const std::optional<RegValue> value = registry.QueryValue(root, key, name);
    if (!value)
        return std::nullopt;
    InventoryEntry entry;
    entry.place = placeId;
    entry.location = RootName(root) + "\\" + key;
    entry.name = name;
    if (value->type != kRegSz && value->type != kRegExpandSz)
        entry.note = "value of type " + std::to_string(value->type);
    else if (value->data.size() > autostart::kMaxValueLength)
        entry.note = "value too long (" + std::to_string(value->data.size()) + " bytes)";
    else if (value->data.find('\0') != std::string::npos)
        entry.note = "value holds a NUL";
    else if (value->data.find_first_not_of(" \t,") == std::string::npos)
        return std::nullopt;
    else
        entry.command = value->data;
    return entry;
}

}  // namespace

void ReadNetworkSettings(RegistryPort& registry, std::vector<InventoryEntry>& out) {
    for (RootKey root : {RootKey::CurrentUser, RootKey::LocalMachine}) {
        if (auto proxy = TextEntry(registry, root, kInternetSettings, "ProxyServer", place::kProxy)) {
            const std::optional<RegValue> enable = registry.QueryValue(root, kInternetSettings, "ProxyEnable");
            proxy->enabled =
                enable && enable->type == kRegDword && enable->data.size() == 4 && enable->data != std::string(4, '\0');
            out.push_back(std::move(*proxy));
        }
        if (auto script = TextEntry(registry, root, kInternetSettings, "AutoConfigURL", place::kAutoConfig))
            out.push_back(std::move(*script));
    }
    for (const char* tcpip : kTcpipKeys) {
        for (const char* name : {"NameServer", "DhcpNameServer"})
            if (auto dns = TextEntry(registry, RootKey::LocalMachine, tcpip, name, place::kDns))
                out.push_back(std::move(*dns));
        const std::string interfaces = std::string(tcpip) + "\\Interfaces";
        const auto adapters = registry.EnumSubKeys(RootKey::LocalMachine, interfaces, RegAccess::Read);
        if (!adapters)
            continue;
        for (const std::string& adapter : *adapters)
            for (const char* name : {"NameServer", "DhcpNameServer"})
                if (auto dns =
                        TextEntry(registry, RootKey::LocalMachine, interfaces + "\\" + adapter, name, place::kDns))
                    out.push_back(std::move(*dns));
    }
}

}  // namespace pellora::inventory
