// A service as the quarantine keeps it: the service manager's configuration and every value of
// the service's registry key and of the keys below it (Parameters, a driver's instances...), so
// that restore can create the service again and put back what the manager does not keep itself
// (a ServiceDll, a failure-action blob, the program's own settings). The payload is JSON; a
// damaged or hostile one decodes to nothing, and a decoded one only names keys below the
// service's own.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports/registry.h"
#include "core/ports/services.h"

namespace pellora {

// Bounds of what is read and stored of a service's keys.
inline constexpr size_t kMaxServiceRecordLength = 8 * 1024 * 1024;
inline constexpr size_t kMaxServiceValues = 4096;
inline constexpr int kMaxServiceKeyDepth = 8;

struct ServiceValue {
    std::string key;  // "" for the service's key, else the path below it ("Parameters")
    std::string name;
    RegValue value;
};

struct ServiceRecord {
    ServiceConfig config;
    std::vector<ServiceValue> values;
};

std::string EncodeServiceRecord(const ServiceRecord& record);
std::optional<ServiceRecord> DecodeServiceRecord(std::string_view bytes);

// The values of the service's key and of its subkeys (the volatile "Enum" key and any key that
// is a link left out), within the bounds above; nothing when the key does not open or the
// bounds are passed.
std::optional<std::vector<ServiceValue>> ReadServiceValues(RegistryPort& registry, const std::string& name);
// Writes the values back below the service's key, creating the subkeys; false at the first
// failure.
bool WriteServiceValues(RegistryPort& registry, const std::string& name, const std::vector<ServiceValue>& values);

}  // namespace pellora
