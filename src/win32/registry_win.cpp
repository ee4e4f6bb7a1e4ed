#include "win32/registry_win.h"

#include <algorithm>
#include <utility>

#include "win32/encoding_win.h"
#include "win32/handle_win.h"
#include "win32/identity_win.h"
#include "win32/registry_roots.h"

namespace pellora::win32 {

namespace {

// Growth limit for a value whose size the system will not tell in advance (performance data
// answers "more data" without a size): past this the read fails instead of growing forever.
constexpr size_t kMaxValueLength = 64u << 20;

struct RegKeyTraits {
    using Raw = HKEY;
    static Raw Empty() { return nullptr; }
    static bool IsValid(Raw raw) { return raw != nullptr; }
    static void Close(Raw raw) { RegCloseKey(raw); }
};
using UniqueRegKey = UniqueHandle<RegKeyTraits>;

REGSAM MaskOf(RegAccess access) {
    switch (access) {
        case RegAccess::Write:
            return KEY_WRITE;
        case RegAccess::Listing:
            return 63;
        case RegAccess::Read:
        case RegAccess::Default:
            break;
    }
    return KEY_READ;
}

// The opened key, or an empty one when it does not open with `mask`.
UniqueRegKey Open(RootKey root, const std::string& subkey, REGSAM mask, DWORD options = 0) {
    HKEY rootHandle = RootHandle(root);
    HKEY raw = nullptr;
    if (!rootHandle || RegOpenKeyExW(rootHandle, Widen(subkey).c_str(), options, mask, &raw) != ERROR_SUCCESS)
        return {};
    return UniqueRegKey(raw);
}

bool IsText(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ;
}

// Registry data as the core holds it.
RegValue FromRegistry(DWORD type, const std::vector<BYTE>& bytes) {
    RegValue value{type, {}};
    if (IsText(type) || type == REG_MULTI_SZ) {
        // An odd last byte cannot be part of a UTF-16 text; it is dropped.
        std::wstring text(bytes.size() / sizeof(wchar_t), L'\0');
        std::copy_n(bytes.data(), text.size() * sizeof(wchar_t), reinterpret_cast<BYTE*>(text.data()));
        if (type == REG_MULTI_SZ) {
            // Stored lists end in one or two NULs, or none when written carelessly: keep
            // exactly one after the last string.
            while (!text.empty() && text.back() == L'\0')
                text.pop_back();
            if (!text.empty())
                text.push_back(L'\0');
        } else if (!text.empty() && text.back() == L'\0') {
            text.pop_back();
        }
        value.data = Narrow(text);
    } else {
        value.data.assign(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    }
    return value;
}

// The bytes to store for a value of the core.
std::vector<BYTE> ToRegistry(const RegValue& value) {
    if (IsText(value.type) || value.type == kRegMultiSz) {
        std::wstring text = Widen(value.data);
        if (value.type == kRegMultiSz && (text.empty() || text.back() != L'\0'))
            text.push_back(L'\0');
        text.push_back(L'\0');
        const auto* first = reinterpret_cast<const BYTE*>(text.data());
        return std::vector<BYTE>(first, first + text.size() * sizeof(wchar_t));
    }
    const auto* first = reinterpret_cast<const BYTE*>(value.data.data());
    return std::vector<BYTE>(first, first + value.data.size());
}

// Only "no such key or value" is absence; any other refusal leaves the answer open.
Presence PresenceOf(LONG rc) {
    if (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA)
        return Presence::Present;
    return rc == ERROR_FILE_NOT_FOUND || rc == ERROR_PATH_NOT_FOUND ? Presence::Absent : Presence::Unknown;
}

// Opens the key for a presence question; `rc` is the platform's answer (an unknown root: not found).
UniqueRegKey OpenToProbe(RootKey root, const std::string& subkey, LONG& rc) {
    HKEY rootHandle = RootHandle(root);
    HKEY raw = nullptr;
    rc = rootHandle ? RegOpenKeyExW(rootHandle, Widen(subkey).c_str(), 0, KEY_QUERY_VALUE, &raw) : ERROR_FILE_NOT_FOUND;
    return UniqueRegKey(rc == ERROR_SUCCESS ? raw : nullptr);
}

}  // namespace

HKEY RootHandle(RootKey root) {
    switch (root) {
        case RootKey::ClassesRoot:
            return HKEY_CLASSES_ROOT;
        case RootKey::CurrentUser:
            return HKEY_CURRENT_USER;
        case RootKey::LocalMachine:
            return HKEY_LOCAL_MACHINE;
        case RootKey::Users:
            return HKEY_USERS;
        case RootKey::PerformanceData:
            return HKEY_PERFORMANCE_DATA;
        case RootKey::CurrentConfig:
            return HKEY_CURRENT_CONFIG;
        case RootKey::DynData:
            // Its own predefined key: current Windows refuses it, so items naming it find and
            // delete nothing, rather than acting on the hardware profile of HKEY_CURRENT_CONFIG.
            return HKEY_DYN_DATA;
        case RootKey::None:
            break;
    }
    return nullptr;
}

Presence RegistryWin::ProbeKey(RootKey root, const std::string& subkey) {
    LONG rc = ERROR_SUCCESS;
    UniqueRegKey key = OpenToProbe(root, subkey, rc);
    return PresenceOf(rc);
}

Presence RegistryWin::ProbeValue(RootKey root, const std::string& subkey, const std::string& name) {
    LONG rc = ERROR_SUCCESS;
    UniqueRegKey key = OpenToProbe(root, subkey, rc);
    if (!key)
        return PresenceOf(rc);
    return PresenceOf(RegQueryValueExW(key.get(), Widen(name).c_str(), nullptr, nullptr, nullptr, nullptr));
}

bool RegistryWin::KeyOpens(RootKey root, const std::string& subkey, RegAccess access) {
    return static_cast<bool>(Open(root, subkey, MaskOf(access)));
}

namespace {

// The value `name` of an open key; nothing when it is missing or cannot be read.
std::optional<RegValue> ValueOf(HKEY key, const std::string& name) {
    std::wstring wideName = Widen(name);
    std::vector<BYTE> bytes(256);
    while (true) {
        DWORD type = REG_NONE;
        auto length = static_cast<DWORD>(bytes.size());
        LONG rc = RegQueryValueExW(key, wideName.c_str(), nullptr, &type, bytes.data(), &length);
        if (rc == ERROR_SUCCESS) {
            bytes.resize(std::min<size_t>(length, bytes.size()));
            return FromRegistry(type, bytes);
        }
        // The value may grow between two calls, so the size is asked again each time.
        if (rc != ERROR_MORE_DATA || bytes.size() >= kMaxValueLength)
            return std::nullopt;
        bytes.resize(std::min(kMaxValueLength, std::max<size_t>(length, bytes.size() * 2)));
    }
}

}  // namespace

std::optional<RegValue> RegistryWin::QueryValue(RootKey root, const std::string& subkey, const std::string& name) {
    UniqueRegKey key = Open(root, subkey, KEY_QUERY_VALUE);
    if (!key)
        return std::nullopt;
    return ValueOf(key.get(), name);
}

std::vector<std::optional<RegValue>> RegistryWin::QueryValues(RootKey root,
                                                              const std::string& subkey,
                                                              const std::vector<std::string>& names) {
    std::vector<std::optional<RegValue>> out(names.size());
    UniqueRegKey key = Open(root, subkey, KEY_QUERY_VALUE);
    for (size_t i = 0; key && i < names.size(); ++i)
        out[i] = ValueOf(key.get(), names[i]);
    return out;
}

bool RegistryWin::SetValue(RootKey root, const std::string& subkey, const std::string& name, const RegValue& value) {
    UniqueRegKey key = Open(root, subkey, KEY_SET_VALUE);
    if (!key)
        return false;
    std::vector<BYTE> bytes = ToRegistry(value);
    if (bytes.size() > MAXDWORD)
        return false;
    return RegSetValueExW(key.get(), Widen(name).c_str(), 0, value.type, bytes.empty() ? nullptr : bytes.data(),
                          static_cast<DWORD>(bytes.size())) == ERROR_SUCCESS;
}

bool RegistryWin::DeleteValue(RootKey root, const std::string& subkey, const std::string& name) {
    UniqueRegKey key = Open(root, subkey, KEY_SET_VALUE);
    if (!key)
        return false;
    return RegDeleteValueW(key.get(), Widen(name).c_str()) == ERROR_SUCCESS;
}

bool RegistryWin::DeleteKey(RootKey root, const std::string& subkey) {
    HKEY rootHandle = RootHandle(root);
    if (!rootHandle || subkey.empty())
        return false;
    if (LinkTarget(root, subkey))
        return DeleteRegistryLink(root, subkey);
    return RegDeleteKeyW(rootHandle, Widen(subkey).c_str()) == ERROR_SUCCESS;
}

namespace {

// Every name `read(index, buffer, length)` gives for index 0, 1, ... until it fails. Names are
// usually short, and asking the key for its longest name first would cost a call per key, which
// a walk of the whole registry notices: a longer name than expected is read again with more room.
// A 32-bit index: keys with more than 32767 entries are listed whole.
template <typename Read>
std::vector<std::string> ListNames(Read read) {
    std::vector<wchar_t> name(256);
    std::vector<std::string> names;
    DWORD index = 0;
    while (true) {
        auto length = static_cast<DWORD>(name.size());
        LONG rc = read(index, name.data(), &length);
        if (rc == ERROR_MORE_DATA && name.size() < 32768) {
            name.resize(name.size() * 2);
            continue;
        }
        if (rc != ERROR_SUCCESS)
            break;
        std::wstring_view listed(name.data(), std::min<size_t>(length, name.size()));
        names.push_back(Narrow(listed.substr(0, listed.find(L'\0'))));
        ++index;
    }
    return names;
}

}  // namespace

std::optional<std::vector<std::string>> RegistryWin::EnumSubKeys(RootKey root,
                                                                 const std::string& subkey,
                                                                 RegAccess access) {
    // Opened as itself when it is a link: listing through a link would list (and a removal then
    // delete) the keys of wherever it leads.
    UniqueRegKey key = Open(root, subkey, MaskOf(access), REG_OPTION_OPEN_LINK);
    if (!key)
        return std::nullopt;
    return ListNames([&key](DWORD index, wchar_t* name, DWORD* length) {
        return RegEnumKeyExW(key.get(), index, name, length, nullptr, nullptr, nullptr, nullptr);
    });
}

bool RegistryWin::CreateKey(RootKey root, const std::string& subkey) {
    HKEY rootHandle = RootHandle(root);
    if (!rootHandle)
        return false;
    HKEY raw = nullptr;
    LONG rc = RegCreateKeyExW(rootHandle, Widen(subkey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ, nullptr,
                              &raw, nullptr);
    UniqueRegKey key(rc == ERROR_SUCCESS ? raw : nullptr);
    return static_cast<bool>(key);
}

std::optional<std::vector<std::string>> RegistryWin::EnumValueNames(RootKey root, const std::string& subkey) {
    UniqueRegKey key = Open(root, subkey, KEY_QUERY_VALUE, REG_OPTION_OPEN_LINK);
    if (!key)
        return std::nullopt;
    return ListNames([&key](DWORD index, wchar_t* name, DWORD* length) {
        return RegEnumValueW(key.get(), index, name, length, nullptr, nullptr, nullptr, nullptr);
    });
}

}  // namespace pellora::win32
