// Service port: Windows services and drivers by their key name, through the service manager.
// The configuration is what the manager keeps for a service; the values of its registry key
// beyond that are read and written through the registry port.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/ports/presence.h"

namespace pellora {

// Where the service manager keeps each service's key, below HKEY_LOCAL_MACHINE.
inline constexpr const char* kServicesKey = "SYSTEM\\CurrentControlSet\\Services";

struct ServiceConfig {
    std::string name;  // the key name
    std::string displayName;
    std::string description;
    uint32_t type = 0x10;       // own process
    uint32_t startType = 3;     // on demand
    uint32_t errorControl = 1;  // normal
    std::string imagePath;      // as stored: the command line of a service, the file of a driver
    std::string loadOrderGroup;
    std::vector<std::string> dependencies;  // service names; a group's name starts with "+"
    std::string account;                    // "" or "LocalSystem" for the system account
    bool delayedAutoStart = false;

    bool operator==(const ServiceConfig&) const = default;
};

class ServicePort {
  public:
    virtual ~ServicePort() = default;

    // Whether the manager knows the service; Unknown when it cannot say.
    virtual Presence ProbeService(const std::string& name) = 0;
    // The same for many services at once, in their order: a platform may answer them over one
    // connection to the manager.
    virtual std::vector<Presence> ProbeServices(const std::vector<std::string>& names) {
        std::vector<Presence> out;
        out.reserve(names.size());
        for (const std::string& name : names)
            out.push_back(ProbeService(name));
        return out;
    }
    // Nothing when there is no such service or its configuration cannot be read.
    virtual std::optional<ServiceConfig> Configuration(const std::string& name) = 0;
    // Asks a running service to stop and waits at most `timeoutMs`: true when it is stopped
    // (or was not running).
    virtual bool StopService(const std::string& name, uint32_t timeoutMs) = 0;
    // Marks the service for deletion (the manager deletes it once it is stopped and no handle is
    // left); false when the manager refused.
    virtual bool DeleteService(const std::string& name) = 0;
    // Creates the service; false when one has the name already or the manager refused. The
    // account's password is never known: accounts other than the built-in ones may be refused.
    virtual bool AddService(const ServiceConfig& config) = 0;
};

}  // namespace pellora
