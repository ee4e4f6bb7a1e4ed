// An in-memory service manager over the fake registry: creating a service makes its key with
// the values the manager writes, deleting it removes the key. A running service holds its
// program's file open (locked in the fake file system) until it is stopped.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "core/ports/services.h"
#include "core/util/case_fold.h"
#include "fakes/fake_platform.h"

namespace pellora::fakes {

class FakeServices : public ServicePort {
  public:
    FakeServices(FakeRegistry& registry, FakeFileSystem& files) : registry_(registry), files_(files) {}

    Presence ProbeService(const std::string& name) override {
        return services.count(FoldOrdinal(name)) ? Presence::Present : Presence::Absent;
    }
    std::optional<ServiceConfig> Configuration(const std::string& name) override {
        auto service = services.find(FoldOrdinal(name));
        if (service == services.end())
            return std::nullopt;
        return service->second.config;
    }
    bool StopService(const std::string& name, uint32_t) override {
        auto service = services.find(FoldOrdinal(name));
        if (service == services.end() || refuseStop)
            return false;
        if (service->second.running && !service->second.program.empty())
            files_.Unlock(service->second.program);
        service->second.running = false;
        ++stops;
        return true;
    }
    bool DeleteService(const std::string& name) override {
        auto service = services.find(FoldOrdinal(name));
        if (service == services.end())
            return false;
        // Deleted once stopped; until then it is only marked.
        if (service->second.running)
            return true;
        registry_.DeleteKey(RootKey::LocalMachine, Key(name) + "\\Parameters");
        registry_.DeleteKey(RootKey::LocalMachine, Key(name));
        services.erase(service);
        return true;
    }
    bool AddService(const ServiceConfig& config) override {
        if (services.count(FoldOrdinal(config.name)))
            return false;
        services[FoldOrdinal(config.name)] = Service{config, false, ""};
        const std::string key = "HKEY_LOCAL_MACHINE\\" + Key(config.name);
        registry_.AddDword(key, "Type", config.type);
        registry_.AddDword(key, "Start", config.startType);
        registry_.AddDword(key, "ErrorControl", config.errorControl);
        registry_.AddValue(key, "ImagePath", RegValue{kRegExpandSz, config.imagePath});
        registry_.AddString(key, "DisplayName", config.displayName);
        if (!config.account.empty())
            registry_.AddString(key, "ObjectName", config.account);
        return true;
    }

    // Plants a service as the manager would have made it; `program`, when given, is held open
    // while it runs.
    void Add(const ServiceConfig& config, bool running = false, const std::string& program = "") {
        AddService(config);
        services[FoldOrdinal(config.name)].running = running;
        services[FoldOrdinal(config.name)].program = program;
        if (running && !program.empty())
            files_.Lock(program);
    }
    static std::string Key(const std::string& name) { return std::string(kServicesKey) + "\\" + name; }

    struct Service {
        ServiceConfig config;
        bool running = false;
        std::string program;
    };
    std::map<std::string, Service> services;  // by folded name
    bool refuseStop = false;
    int stops = 0;

  private:
    FakeRegistry& registry_;
    FakeFileSystem& files_;
};

}  // namespace pellora::fakes
