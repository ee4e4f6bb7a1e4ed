// The access lists of files and folders, read and set with advapi32's named-object security
// calls. Lists are set from their security descriptor string form, so the core keeps what is
// set in one readable line.
#include <windows.h>
// After windows.h, which they need.
#include <aclapi.h>
#include <sddl.h>
#include <winioctl.h>

#include <cstring>
#include <memory>
#include <vector>

#include "win32/encoding_win.h"
#include "win32/file_system_win.h"
#include "win32/handle_win.h"

namespace pellora::win32 {

namespace {

struct LocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
};
using LocalMemory = std::unique_ptr<void, LocalFreer>;

}  // namespace

std::optional<std::vector<FileSystemPort::AccessEntry>> FileSystemWin::ReadAccessList(const std::string& path) {
    const std::wstring wide = Widen(path);
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                              &descriptor) != ERROR_SUCCESS)
        return std::nullopt;
    LocalMemory held(descriptor);
    std::vector<AccessEntry> entries;
    // No list at all: the system grants every access to everyone.
    if (!dacl) {
        entries.push_back({true, "S-1-1-0", GENERIC_ALL, false});
        return entries;
    }
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace))
            return std::nullopt;
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        // Files carry the plain allow and deny entries; audit and object entries grant nothing.
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE)
            continue;
        // Both types share one layout: header, mask, SID.
        auto* entry = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        LPWSTR sidText = nullptr;
        if (!ConvertSidToStringSidW(reinterpret_cast<PSID>(&entry->SidStart), &sidText))
            return std::nullopt;
        LocalMemory heldSid(sidText);
        entries.push_back({header->AceType == ACCESS_ALLOWED_ACE_TYPE, Narrow(sidText), entry->Mask,
                           (header->AceFlags & INHERIT_ONLY_ACE) != 0});
    }
    return entries;
}

std::optional<std::string> FileSystemWin::ReadOwner(const std::string& path) {
    const std::wstring wide = Widen(path);
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(wide.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                              nullptr, &descriptor) != ERROR_SUCCESS)
        return std::nullopt;
    LocalMemory held(descriptor);
    LPWSTR sidText = nullptr;
    if (!owner || !ConvertSidToStringSidW(owner, &sidText))
        return std::nullopt;
    LocalMemory heldSid(sidText);
    return Narrow(sidText);
}

bool FileSystemWin::IsRemoteDrive(char letter) {
    const wchar_t root[] = {static_cast<wchar_t>(letter), L':', L'\\', 0};
    return GetDriveTypeW(root) == DRIVE_REMOTE;
}

namespace {

// The layout FSCTL_GET_REPARSE_POINT answers for symbolic links and junctions (ntifs.h).
struct LinkReparseData {
    ULONG tag;
    USHORT dataLength;
    USHORT reserved;
    USHORT substituteOffset;
    USHORT substituteLength;
    USHORT printOffset;
    USHORT printLength;
};
constexpr ULONG kSymbolicLinkTag = 0xA000000C;
constexpr ULONG kMountPointTag = 0xA0000003;

}  // namespace

std::optional<std::string> FileSystemWin::ReadLinkTarget(const std::string& path) {
    // The link itself, never what it names: nothing on the far side is reached.
    UniqueKernelHandle link(CreateFileW(Widen(path).c_str(), FILE_READ_ATTRIBUTES,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (!link.get())
        return std::nullopt;
    std::vector<unsigned char> buffer(MAXIMUM_REPARSE_DATA_BUFFER_SIZE);
    DWORD got = 0;
    if (!DeviceIoControl(link.get(), FSCTL_GET_REPARSE_POINT, nullptr, 0, buffer.data(),
                         static_cast<DWORD>(buffer.size()), &got, nullptr) ||
        got < sizeof(LinkReparseData))
        return std::nullopt;
    LinkReparseData header;
    memcpy(&header, buffer.data(), sizeof header);
    size_t names = sizeof(LinkReparseData);
    if (header.tag == kSymbolicLinkTag)
        names += sizeof(ULONG);  // the link's flags (relative or not) come before the names
    else if (header.tag != kMountPointTag)
        return std::nullopt;
    const size_t begin = names + header.substituteOffset;
    if (header.substituteLength % 2 != 0 || begin + header.substituteLength > got)
        return std::nullopt;
    std::wstring target(header.substituteLength / 2, L'\0');
    memcpy(target.data(), buffer.data() + begin, header.substituteLength);
    return Narrow(target);
}

bool FileSystemWin::SetAccessList(const std::string& path, const std::string& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(Widen(sddl).c_str(), SDDL_REVISION_1, &descriptor,
                                                              nullptr))
        return false;
    LocalMemory held(descriptor);
    BOOL present = FALSE;
    BOOL defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present || !dacl)
        return false;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (!GetSecurityDescriptorControl(descriptor, &control, &revision))
        return false;
    // Protected: nothing of the parent's list comes in. The call hands the inheritable entries
    // down to everything below, replacing what those objects inherited before.
    SECURITY_INFORMATION what =
        DACL_SECURITY_INFORMATION |
        ((control & SE_DACL_PROTECTED) ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION);
    std::wstring wide = Widen(path);
    return SetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT, what, nullptr, nullptr, dacl, nullptr) == ERROR_SUCCESS;
}

}  // namespace pellora::win32
