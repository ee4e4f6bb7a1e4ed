#include "core/quarantine/service_record.h"

#include <nlohmann/json.hpp>

#include "core/database/persistence_kinds.h"
#include "core/util/case_fold.h"
#include "core/util/hex.h"
#include "core/util/text.h"

namespace pellora {

namespace {

using nlohmann::json;

// A path below the service's key: names of 1 to 255 characters without control characters,
// none "." or "..", separated by single "\".
bool IsSubkeyPath(const std::string& path) {
    if (path.empty())
        return true;
    size_t pos = 0;
    int depth = 0;
    while (pos <= path.size()) {
        size_t end = path.find('\\', pos);
        if (end == std::string::npos)
            end = path.size();
        const std::string_view part(path.data() + pos, end - pos);
        if (part.empty() || part.size() > 255 || part == "." || part == ".." || ++depth > kMaxServiceKeyDepth)
            return false;
        for (size_t i = pos; i < end; ++i) {
            if (static_cast<unsigned char>(path[i]) < 0x20)
                return false;
        }
        pos = end + 1;
    }
    return true;
}

const std::string* Text(const json& object, const char* field) {
    auto it = object.find(field);
    return it != object.end() && it->is_string() ? it->get_ptr<const std::string*>() : nullptr;
}

std::optional<uint32_t> Number(const json& object, const char* field) {
    auto it = object.find(field);
    if (it == object.end() || !it->is_number_unsigned() || it->get<uint64_t>() > 0xFFFFFFFFu)
        return std::nullopt;
    return static_cast<uint32_t>(it->get<uint64_t>());
}

std::string KeyOf(const std::string& name, const std::string& below) {
    return std::string(kServicesKey) + "\\" + name + (below.empty() ? "" : "\\" + below);
}

struct ValueWalk {
    RegistryPort& registry;
    const std::string& name;
    std::vector<ServiceValue> values;
    size_t bytes = 0;

    bool Read(const std::string& below, int depth) {
        const std::string key = KeyOf(name, below);
        const auto names = registry.EnumValueNames(RootKey::LocalMachine, key);
        if (!names)
            return false;
        for (const std::string& valueName : *names) {
            std::optional<RegValue> value = registry.QueryValue(RootKey::LocalMachine, key, valueName);
            if (!value)
                continue;  // gone between the listing and the read
            bytes += value->data.size() + valueName.size() + below.size();
            if (values.size() >= kMaxServiceValues || bytes > kMaxServiceRecordLength / 3)
                return false;
            values.push_back(ServiceValue{below, valueName, std::move(*value)});
        }
        const auto subkeys = registry.EnumSubKeys(RootKey::LocalMachine, key, RegAccess::Read);
        if (!subkeys)
            return false;
        for (const std::string& subkey : *subkeys) {
            if (depth == 0 && EqualsOrdinalIgnoreCase(subkey, "Enum"))
                continue;  // the plug-and-play manager's, made again when the service starts
            const std::string path = below.empty() ? subkey : below + "\\" + subkey;
            if (registry.LinkTarget(RootKey::LocalMachine, KeyOf(name, path)))
                continue;
            if (depth + 1 >= kMaxServiceKeyDepth || !Read(path, depth + 1))
                return false;
        }
        return true;
    }
};

}  // namespace

std::string EncodeServiceRecord(const ServiceRecord& record) {
    const ServiceConfig& c = record.config;
    json values = json::array();
    for (const ServiceValue& v : record.values)
        values.push_back({{"key", v.key}, {"name", v.name}, {"type", v.value.type}, {"data", ToHex(v.value.data)}});
    json out = {{"name", c.name},
                {"displayName", c.displayName},
                {"description", c.description},
                {"type", c.type},
                {"startType", c.startType},
                {"errorControl", c.errorControl},
                {"imagePath", c.imagePath},
                {"loadOrderGroup", c.loadOrderGroup},
                {"dependencies", c.dependencies},
                {"account", c.account},
                {"delayedAutoStart", c.delayedAutoStart},
                {"values", values}};
    // Value data is hex, so no byte of it is lost; a name that is not UTF-8 (damaged UTF-16 the
    // system turned into text) is written with U+FFFD rather than throwing.
    return out.dump(1, ' ', false, json::error_handler_t::replace) + "\n";
}

std::optional<ServiceRecord> DecodeServiceRecord(std::string_view bytes) {
    if (bytes.size() > kMaxServiceRecordLength)
        return std::nullopt;
    const json in = json::parse(bytes, nullptr, false);
    if (!in.is_object())
        return std::nullopt;
    ServiceRecord record;
    ServiceConfig& c = record.config;
    const std::string* name = Text(in, "name");
    const std::string* image = Text(in, "imagePath");
    const std::optional<uint32_t> type = Number(in, "type");
    const std::optional<uint32_t> start = Number(in, "startType");
    const std::optional<uint32_t> error = Number(in, "errorControl");
    if (!name || !IsServiceName(*name) || !image || !type || !start || *start > 4 || !error || *error > 3)
        return std::nullopt;
    c.name = *name;
    c.imagePath = *image;
    c.type = *type;
    c.startType = *start;
    c.errorControl = *error;
    for (auto [field, target] : {std::pair{"displayName", &c.displayName}, std::pair{"description", &c.description},
                                 std::pair{"loadOrderGroup", &c.loadOrderGroup}, std::pair{"account", &c.account}}) {
        if (const std::string* text = Text(in, field))
            *target = *text;
    }
    auto delayed = in.find("delayedAutoStart");
    c.delayedAutoStart = delayed != in.end() && delayed->is_boolean() && delayed->get<bool>();
    auto dependencies = in.find("dependencies");
    if (dependencies != in.end() && dependencies->is_array()) {
        for (const json& dependency : *dependencies) {
            if (!dependency.is_string() || dependency.get_ref<const std::string&>().empty())
                return std::nullopt;
            c.dependencies.push_back(dependency.get<std::string>());
        }
    }
    auto values = in.find("values");
    if (values == in.end() || !values->is_array() || values->size() > kMaxServiceValues)
        return std::nullopt;
    for (const json& v : *values) {
        if (!v.is_object())
            return std::nullopt;
        const std::string* key = Text(v, "key");
        const std::string* valueName = Text(v, "name");
        const std::string* data = Text(v, "data");
        const std::optional<uint32_t> valueType = Number(v, "type");
        std::optional<std::string> raw = data ? FromHex(*data) : std::nullopt;
        if (!key || !IsSubkeyPath(*key) || !valueName || !valueType || !raw)
            return std::nullopt;
        record.values.push_back(ServiceValue{*key, *valueName, RegValue{*valueType, std::move(*raw)}});
    }
    return record;
}

std::optional<std::vector<ServiceValue>> ReadServiceValues(RegistryPort& registry, const std::string& name) {
    if (!IsServiceName(name))
        return std::nullopt;
    ValueWalk walk{registry, name, {}, 0};
    if (!walk.Read("", 0))
        return std::nullopt;
    return std::move(walk.values);
}

bool WriteServiceValues(RegistryPort& registry, const std::string& name, const std::vector<ServiceValue>& values) {
    for (const ServiceValue& v : values) {
        if (!IsServiceName(name) || !IsSubkeyPath(v.key))
            return false;
        const std::string key = KeyOf(name, v.key);
        if (!v.key.empty() && !registry.KeyOpens(RootKey::LocalMachine, key, RegAccess::Read) &&
            !registry.CreateKey(RootKey::LocalMachine, key))
            return false;
        if (!registry.SetValue(RootKey::LocalMachine, key, v.name, v.value))
            return false;
    }
    return true;
}

}  // namespace pellora
