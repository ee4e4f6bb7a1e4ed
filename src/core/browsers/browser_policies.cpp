// The browsers' policies (registry keys of the Chromium family, Firefox's keys and
// policies.json): the extensions they force and the settings they set.
#include "core/browsers/browser_reader.h"

#include <algorithm>

#include "core/browsers/bounded_json.h"
#include "core/browsers/firefox_files.h"
#include "core/browsers/reader_support.h"
#include "core/identity/object_identity.h"
#include "core/util/case_fold.h"
#include "core/util/text.h"

namespace pellora::browsers {

using namespace detail;

namespace {

// Text of a policy value: strings as they are, several strings one per line, numbers in
// decimal; nothing for another type or a value too long to be a setting.
std::optional<std::string> PolicyText(const RegValue& value) {
    if (value.data.size() > kMaxRegistryText)
        return std::nullopt;
    switch (value.type) {
        case kRegSz:
        case kRegExpandSz:
            return value.data.substr(0, value.data.find('\0'));
        case kRegMultiSz: {
            std::string text = value.data;
            while (!text.empty() && text.back() == '\0')
                text.pop_back();
            std::replace(text.begin(), text.end(), '\0', '\n');
            return text;
        }
        case kRegDword:
            if (value.data.size() == 4) {
                uint32_t number = 0;
                for (int i = 3; i >= 0; --i)
                    number = (number << 8) | static_cast<unsigned char>(value.data[i]);
                return std::to_string(number);
            }
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

// The entries of an ExtensionSettings policy that install an extension.
void AddExtensionSettings(const BrowserInfo& browser,
                          const Json& settings,
                          const Place& base,
                          bool machineWide,
                          BrowserInventory& out) {
    if (!settings.is_object()) {
        out.problems.push_back({browser.name, base.Describe(), "ExtensionSettings is not a JSON object"});
        return;
    }
    size_t taken = 0;
    for (auto it = settings.begin(); it != settings.end() && taken < kMaxEntriesPerList; ++it, ++taken) {
        if (it.key() == "*" || StartsWith(it.key(), "update_url:"))
            continue;  // defaults and rules for a whole update server name no extension
        const std::string mode = JsonText(JsonAt(it.value(), {"installation_mode"})).value_or("");
        if (mode != "force_installed" && mode != "normal_installed")
            continue;
        // Chromium takes a comma-separated list of ids as one entry's name.
        std::vector<std::string> names;
        if (browser.family == BrowserFamily::Chromium) {
            for (size_t start = 0; start <= it.key().size();) {
                size_t end = it.key().find(',', start);
                if (end == std::string::npos)
                    end = it.key().size();
                names.push_back(TrimSpaces(std::string_view(it.key()).substr(start, end - start)));
                start = end + 1;
            }
        } else {
            names.push_back(it.key());
        }
        for (const std::string& name : names) {
            const std::optional<std::string> id = NormalizeExtensionId(browser.family, name);
            if (!id) {
                out.problems.push_back({browser.name, base.Describe(), "extension id not valid: " + Shown(name)});
                continue;
            }
            ExtensionFind find = NewExtension(browser, ExtensionSource::ExtensionSettingsPolicy, "", *id);
            find.installMode = mode;
            find.machineWide = machineWide;
            find.updateUrl = JsonText(JsonAt(it.value(), {"update_url"}))
                                 .value_or(JsonText(JsonAt(it.value(), {"install_url"})).value_or(""));
            find.where = base;
            find.where.member.push_back(it.key());
            out.extensions.push_back(std::move(find));
        }
    }
}

}  // namespace

void BrowserReader::ReadChromiumPolicies(const BrowserInfo& browser, BrowserInventory& out) {
    for (RootKey root : {RootKey::LocalMachine, RootKey::CurrentUser}) {
        const bool machineWide = root == RootKey::LocalMachine;
        const std::string key = "Software\\Policies\\" + browser.policyKey;
        if (!registry_.KeyOpens(root, key, RegAccess::Read))
            continue;

        const std::string forceList = key + "\\ExtensionInstallForcelist";
        if (const auto names = registry_.EnumValueNames(root, forceList)) {
            for (size_t i = 0; i < names->size() && i < kMaxEntriesPerList; ++i) {
                const std::optional<RegValue> value = registry_.QueryValue(root, forceList, (*names)[i]);
                const std::optional<std::string> text = value ? PolicyText(*value) : std::nullopt;
                if (!text)
                    continue;
                const size_t semicolon = text->find(';');
                const std::string idText = TrimSpaces(text->substr(0, semicolon));
                const std::optional<std::string> id = NormalizeExtensionId(browser.family, idText);
                if (!id) {
                    out.problems.push_back({browser.name, ValuePlace(root, forceList, (*names)[i]).Describe(),
                                            "extension id not valid: " + Shown(idText)});
                    continue;
                }
                ExtensionFind find = NewExtension(browser, ExtensionSource::ForceInstallPolicy, "", *id);
                find.installMode = "force_installed";
                find.machineWide = machineWide;
                find.updateUrl = semicolon == std::string::npos ? "" : text->substr(semicolon + 1);
                find.where = ValuePlace(root, forceList, (*names)[i]);
                out.extensions.push_back(std::move(find));
            }
        }
        ReadExtensionSettingsValue(browser, root, key, out);

        // The same settings, mandatory and recommended.
        for (const std::string& policyKey : {key, key + "\\Recommended"}) {
            const auto names = registry_.EnumValueNames(root, policyKey);
            auto add = [&](SettingKind kind, const std::string& valueKey, const std::string& name) {
                AddPolicySetting(browser, kind, root, valueKey, name, out);
            };
            for (size_t i = 0; names && i < names->size() && i < kMaxEntriesPerList; ++i) {
                const std::string& name = (*names)[i];
                if (EqualsIgnoreCase(name, "HomepageLocation"))
                    add(SettingKind::HomePage, policyKey, name);
                else if (EqualsIgnoreCase(name, "NewTabPageLocation"))
                    add(SettingKind::NewTabPage, policyKey, name);
                else if (EqualsIgnoreCase(name, "RestoreOnStartup"))
                    add(SettingKind::RestoreOnStartup, policyKey, name);
                else if (EqualsIgnoreCase(name, "DefaultSearchProviderSearchURL"))
                    add(SettingKind::SearchUrl, policyKey, name);
                else if (StartsWith(ToLowerAscii(name), "defaultsearchprovider"))
                    add(SettingKind::SearchProvider, policyKey, name);
            }
            const std::string urlsKey = policyKey + "\\RestoreOnStartupURLs";
            if (const auto urls = registry_.EnumValueNames(root, urlsKey)) {
                for (size_t i = 0; i < urls->size() && i < kMaxEntriesPerList; ++i)
                    add(SettingKind::StartupPage, urlsKey, (*urls)[i]);
            }
        }
    }
}

void BrowserReader::AddPolicySetting(const BrowserInfo& browser,
                                     SettingKind kind,
                                     RootKey root,
                                     const std::string& key,
                                     const std::string& name,
                                     BrowserInventory& out) {
    const std::optional<RegValue> value = registry_.QueryValue(root, key, name);
    std::optional<std::string> text = value ? PolicyText(*value) : std::nullopt;
    if (!text || text->empty())
        return;
    SettingFind find = NewSetting(browser, kind, std::move(*text), "", ValuePlace(root, key, name));
    find.machineWide = root == RootKey::LocalMachine;
    out.settings.push_back(std::move(find));
}

// The ExtensionSettings policy of a key: one JSON text (several lines of a multi-string joined).
void BrowserReader::ReadExtensionSettingsValue(const BrowserInfo& browser,
                                               RootKey root,
                                               const std::string& key,
                                               BrowserInventory& out) {
    const std::optional<RegValue> value = registry_.QueryValue(root, key, "ExtensionSettings");
    if (!value)
        return;
    const Place base = ValuePlace(root, key, "ExtensionSettings");
    const std::optional<std::string> text = PolicyText(*value);
    JsonReadResult json = text ? ReadJson(*text) : JsonReadResult{std::nullopt, "not a text value"};
    if (!json.value)
        out.problems.push_back({browser.name, base.Describe(), json.problem});
    else
        AddExtensionSettings(browser, *json.value, base, root == RootKey::LocalMachine, out);
}

std::vector<std::string> BrowserReader::ProgramFolders() {
    std::vector<std::string> folders;
    for (const char* variable : {"%ProgramFiles%", "%ProgramFiles(x86)%"}) {
        const std::string folder = Expand(variable);
        if (!folder.empty() && std::none_of(folders.begin(), folders.end(), [&](const std::string& seen) {
                return EqualsOrdinalIgnoreCase(seen, folder);
            }))
            folders.push_back(folder);
    }
    return folders;
}

void BrowserReader::ReadFirefoxPolicies(const BrowserInfo& browser, BrowserInventory& out) {
    for (RootKey root : {RootKey::LocalMachine, RootKey::CurrentUser}) {
        const bool machineWide = root == RootKey::LocalMachine;
        const std::string key = "Software\\Policies\\" + browser.policyKey;
        if (!registry_.KeyOpens(root, key, RegAccess::Read))
            continue;
        auto text = [&](const std::string& valueKey, const std::string& name) -> std::optional<std::string> {
            const std::optional<RegValue> value = registry_.QueryValue(root, valueKey, name);
            return value ? PolicyText(*value) : std::nullopt;
        };
        ReadExtensionSettingsValue(browser, root, key, out);
        const std::string installKey = key + "\\Extensions\\Install";
        if (const auto names = registry_.EnumValueNames(root, installKey)) {
            for (size_t i = 0; i < names->size() && i < kMaxEntriesPerList; ++i) {
                std::optional<std::string> address = text(installKey, (*names)[i]);
                if (!address || address->empty())
                    continue;
                ExtensionFind find = NewExtension(browser, ExtensionSource::FirefoxInstallPolicy, "", "");
                find.updateUrl = *address;
                find.machineWide = machineWide;
                find.where = ValuePlace(root, installKey, (*names)[i]);
                out.extensions.push_back(std::move(find));
            }
        }
        auto add = [&](SettingKind kind, const std::string& valueKey, const std::string& name) {
            AddPolicySetting(browser, kind, root, valueKey, name, out);
        };
        add(SettingKind::HomePage, key + "\\Homepage", "URL");
        add(SettingKind::RestoreOnStartup, key + "\\Homepage", "StartPage");
        if (const auto names = registry_.EnumValueNames(root, key + "\\Homepage\\Additional")) {
            for (size_t i = 0; i < names->size() && i < kMaxEntriesPerList; ++i)
                add(SettingKind::StartupPage, key + "\\Homepage\\Additional", (*names)[i]);
        }
        add(SettingKind::SearchProvider, key + "\\SearchEngines", "Default");
        if (const auto engines = registry_.EnumSubKeys(root, key + "\\SearchEngines\\Add", RegAccess::Read)) {
            for (size_t i = 0; i < engines->size() && i < kMaxEntriesPerList; ++i)
                add(SettingKind::SearchUrl, key + "\\SearchEngines\\Add\\" + (*engines)[i], "URLTemplate");
        }
    }
    for (const std::string& programs : ProgramFolders())
        ReadFirefoxPolicyJson(browser, programs + "\\" + browser.installPath + "\\distribution\\policies.json", out);
}

void BrowserReader::ReadFirefoxPolicyJson(const BrowserInfo& browser, const std::string& path, BrowserInventory& out) {
    std::optional<std::string> bytes = ReadLimited(browser.name, path, kMaxSmallFileLength, out);
    if (!bytes)
        return;
    JsonReadResult json = ReadJson(*bytes);
    if (!json.value) {
        out.problems.push_back({browser.name, path, json.problem});
        return;
    }
    const Json* policies = JsonAt(*json.value, {"policies"});
    if (!policies || !policies->is_object())
        return;
    if (const Json* settings = JsonAt(*policies, {"ExtensionSettings"}))
        AddExtensionSettings(browser, *settings, JsonPlace(path, {"policies", "ExtensionSettings"}), true, out);
    if (const Json* install = JsonAt(*policies, {"Extensions", "Install"}); install && install->is_array()) {
        for (size_t i = 0; i < install->size() && i < kMaxEntriesPerList; ++i) {
            const std::optional<std::string> address = JsonText(&(*install)[i]);
            if (!address || address->empty())
                continue;
            ExtensionFind find = NewExtension(browser, ExtensionSource::FirefoxInstallPolicy, "", "");
            find.updateUrl = *address;
            find.machineWide = true;
            find.where = JsonPlace(path, {"policies", "Extensions", "Install", std::to_string(i)});
            out.extensions.push_back(std::move(find));
        }
    }
    auto add = [&](SettingKind kind, const Json* value, std::vector<std::string> member) {
        std::optional<std::string> text = JsonText(value);
        if (!text || text->empty())
            return;
        SettingFind find = NewSetting(browser, kind, std::move(*text), "", JsonPlace(path, std::move(member)));
        find.machineWide = true;
        out.settings.push_back(std::move(find));
    };
    add(SettingKind::HomePage, JsonAt(*policies, {"Homepage", "URL"}), {"policies", "Homepage", "URL"});
    add(SettingKind::RestoreOnStartup, JsonAt(*policies, {"Homepage", "StartPage"}),
        {"policies", "Homepage", "StartPage"});
    if (const Json* more = JsonAt(*policies, {"Homepage", "Additional"}); more && more->is_array()) {
        for (size_t i = 0; i < more->size() && i < kMaxEntriesPerList; ++i)
            add(SettingKind::StartupPage, &(*more)[i], {"policies", "Homepage", "Additional", std::to_string(i)});
    }
    add(SettingKind::SearchProvider, JsonAt(*policies, {"SearchEngines", "Default"}),
        {"policies", "SearchEngines", "Default"});
    if (const Json* engines = JsonAt(*policies, {"SearchEngines", "Add"}); engines && engines->is_array()) {
        for (size_t i = 0; i < engines->size() && i < kMaxEntriesPerList; ++i)
            add(SettingKind::SearchUrl, JsonAt((*engines)[i], {"URLTemplate"}),
                {"policies", "SearchEngines", "Add", std::to_string(i), "URLTemplate"});
    }
}

}  // namespace pellora::browsers
