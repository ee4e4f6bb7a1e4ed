// Authenticode through WinVerifyTrust with the generic verify action, without any user
// interface and without fetching revocation lists from the network (an unattended run must
// never wait on it). A file without an embedded signature is looked up in the system's
// catalogs by its hash (SHA-256 catalogs first where the system has them, then SHA-1) and the
// catalog's signature is verified for it. The signer is the leaf certificate of the first
// signer's chain. Revocation is checked over the whole chain from the system's cache only: a
// signer known to be revoked is untrusted ("revoked"), one without a cached answer keeps its
// verdict with the note "revocation unknown".
#include "win32/trust_win.h"

#include <windows.h>

#include <softpub.h>
#include <wincrypt.h>
#include <wintrust.h>

#include <mscat.h>

#include <cstdio>
#include <optional>
#include <vector>

#include "win32/encoding_win.h"
#include "win32/handle_win.h"

namespace pellora::win32 {
namespace {

std::string CodeText(LONG code) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "0x%08lX", static_cast<unsigned long>(code));
    return buffer;
}

// The verdict of one WinVerifyTrust call on `data` (whose state is closed again here), and the
// call's own answer.
FileTrust VerifyOnce(WINTRUST_DATA& data, DWORD revocation, LONG& status) {
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = revocation;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.hWVTStateData = nullptr;
    // Revocation is asked of what the system already holds (its cache of lists and answers);
    // nothing is fetched from the network.
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_SAFER_FLAG;
    status = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    const DWORD lastError = GetLastError();

    FileTrust trust;
    switch (status) {
        case ERROR_SUCCESS:
            trust.status = TrustStatus::Signed;
            break;
        case TRUST_E_NOSIGNATURE:
            // The same code stands for "no signature" and for a signature that cannot be read.
            if (static_cast<LONG>(lastError) == TRUST_E_NOSIGNATURE ||
                static_cast<LONG>(lastError) == TRUST_E_SUBJECT_FORM_UNKNOWN ||
                static_cast<LONG>(lastError) == TRUST_E_PROVIDER_UNKNOWN) {
                trust.status = TrustStatus::Unsigned;
            } else {
                trust.status = TrustStatus::Bad;
                trust.problem = "signature cannot be read (" + CodeText(static_cast<LONG>(lastError)) + ")";
            }
            break;
        case TRUST_E_SUBJECT_FORM_UNKNOWN:
        case TRUST_E_PROVIDER_UNKNOWN:
            trust.status = TrustStatus::Unsigned;
            break;
        case CERT_E_UNTRUSTEDROOT:
        case CERT_E_UNTRUSTEDTESTROOT:
        case CERT_E_CHAINING:
        case CERT_E_EXPIRED:
        case CERT_E_UNTRUSTEDCA:
        case TRUST_E_EXPLICIT_DISTRUST:
        case TRUST_E_SUBJECT_NOT_TRUSTED:
        case CRYPT_E_SECURITY_SETTINGS:
            trust.status = TrustStatus::Untrusted;
            trust.problem = "chain not trusted (" + CodeText(status) + ")";
            break;
        case TRUST_E_BAD_DIGEST:
            trust.status = TrustStatus::Bad;
            trust.problem = "changed after it was signed";
            break;
        default:
            trust.status = TrustStatus::Bad;
            trust.problem = "signature not valid (" + CodeText(status) + ")";
            break;
    }
    if (trust.status == TrustStatus::Signed || trust.status == TrustStatus::Untrusted) {
        if (CRYPT_PROVIDER_DATA* provider = WTHelperProvDataFromStateData(data.hWVTStateData))
            if (CRYPT_PROVIDER_SGNR* signer = WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0))
                if (CRYPT_PROVIDER_CERT* cert = WTHelperGetProvCertFromChain(signer, 0); cert && cert->pCert) {
                    wchar_t name[512] = {};
                    if (CertGetNameStringW(cert->pCert, CERT_NAME_SIMPLE_DISPLAY_TYPE, 0, nullptr, name, 512) > 1)
                        trust.signer = Narrow(name);
                }
    }
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
    return trust;
}

// The verdict with revocation checked along the whole chain from the system's cache. Without a
// cached answer (the usual case) the verdict is the one without revocation, noted; only a
// signer known to be revoked makes the file untrusted.
FileTrust Verify(WINTRUST_DATA& data) {
    LONG status = 0;
    FileTrust trust = VerifyOnce(data, WTD_REVOKE_WHOLECHAIN, status);
    if (status == CERT_E_REVOKED || status == static_cast<LONG>(CRYPT_E_REVOKED)) {
        trust.status = TrustStatus::Untrusted;
        trust.problem = "revoked";
        return trust;
    }
    if (status == CERT_E_REVOCATION_FAILURE || status == static_cast<LONG>(CRYPT_E_REVOCATION_OFFLINE) ||
        status == static_cast<LONG>(CRYPT_E_NO_REVOCATION_CHECK)) {
        trust = VerifyOnce(data, WTD_REVOKE_NONE, status);
        trust.problem = trust.problem.empty() ? "revocation unknown" : trust.problem + "; revocation unknown";
    }
    return trust;
}

class CatalogAdmin {
  public:
    // SHA-256 catalogs need the second form of the calls (Windows 8 and later); they are looked
    // up at run time so that the program still starts where they are missing.
    explicit CatalogAdmin(bool sha256) {
        if (sha256) {
            HMODULE wintrust = GetModuleHandleW(L"wintrust.dll");
            using Acquire2 = BOOL(WINAPI*)(HCATADMIN*, const GUID*, PCWSTR, PCCERT_STRONG_SIGN_PARA, DWORD);
            auto acquire2 = wintrust ? reinterpret_cast<Acquire2>(reinterpret_cast<void*>(
                                           GetProcAddress(wintrust, "CryptCATAdminAcquireContext2")))
                                     : nullptr;
            calcHash2_ = wintrust ? reinterpret_cast<CalcHash2>(reinterpret_cast<void*>(
                                        GetProcAddress(wintrust, "CryptCATAdminCalcHashFromFileHandle2")))
                                  : nullptr;
            if (!acquire2 || !calcHash2_ || !acquire2(&admin_, nullptr, L"SHA256", nullptr, 0))
                admin_ = nullptr;
        } else if (!CryptCATAdminAcquireContext(&admin_, nullptr, 0)) {
            admin_ = nullptr;
        }
    }
    ~CatalogAdmin() {
        if (admin_)
            CryptCATAdminReleaseContext(admin_, 0);
    }
    CatalogAdmin(const CatalogAdmin&) = delete;
    CatalogAdmin& operator=(const CatalogAdmin&) = delete;

    // The verdict of the first catalog that lists the file's hash; nothing when none does.
    std::optional<FileTrust> Verify(HANDLE file, const std::wstring& path) {
        if (!admin_)
            return std::nullopt;
        std::vector<BYTE> hash(64);
        DWORD length = static_cast<DWORD>(hash.size());
        SetFilePointer(file, 0, nullptr, FILE_BEGIN);
        const BOOL hashed = calcHash2_ ? calcHash2_(admin_, file, &length, hash.data(), 0)
                                       : CryptCATAdminCalcHashFromFileHandle(file, &length, hash.data(), 0);
        if (!hashed || length == 0 || length > hash.size())
            return std::nullopt;
        HCATINFO catalog = CryptCATAdminEnumCatalogFromHash(admin_, hash.data(), length, 0, nullptr);
        if (!catalog)
            return std::nullopt;
        CATALOG_INFO info{};
        info.cbStruct = sizeof info;
        std::optional<FileTrust> trust;
        if (CryptCATCatalogInfoFromContext(catalog, &info, 0)) {
            std::wstring tag;
            for (DWORD i = 0; i < length; ++i) {
                wchar_t digits[3];
                swprintf(digits, 3, L"%02X", hash[i]);
                tag += digits;
            }
            WINTRUST_CATALOG_INFO member{};
            member.cbStruct = sizeof member;
            member.pcwszCatalogFilePath = info.wszCatalogFile;
            member.pcwszMemberFilePath = path.c_str();
            member.pcwszMemberTag = tag.c_str();
            member.hMemberFile = file;
            member.pbCalculatedFileHash = hash.data();
            member.cbCalculatedFileHash = length;
            WINTRUST_DATA data{};
            data.dwUnionChoice = WTD_CHOICE_CATALOG;
            data.pCatalog = &member;
            trust = pellora::win32::Verify(data);
        }
        CryptCATAdminReleaseCatalogContext(admin_, catalog, 0);
        return trust;
    }

  private:
    using CalcHash2 = BOOL(WINAPI*)(HCATADMIN, HANDLE, DWORD*, BYTE*, DWORD);
    HCATADMIN admin_ = nullptr;
    CalcHash2 calcHash2_ = nullptr;
};

std::string QueryText(const std::vector<BYTE>& block, const wchar_t* language, const wchar_t* name) {
    const std::wstring query = std::wstring(L"\\StringFileInfo\\") + language + L"\\" + name;
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(block.data(), query.c_str(), &value, &length) || !value || length == 0)
        return {};
    const auto* text = static_cast<const wchar_t*>(value);
    std::wstring_view view(text, length);
    if (const size_t nul = view.find(L'\0'); nul != std::wstring_view::npos)
        view = view.substr(0, nul);
    return Narrow(view);
}

}  // namespace

FileTrust TrustWin::VerifyFile(const std::string& path) {
    const std::wstring wide = Widen(path);
    UniqueKernelHandle file(CreateFileW(wide.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return FileTrust{TrustStatus::Unchecked, "", "cannot be opened (error " + std::to_string(GetLastError()) + ")"};
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || static_cast<uint64_t>(size.QuadPart) > kMaxVerifiedFileLength)
        return FileTrust{TrustStatus::Unchecked, "", "larger than 512 MiB: signature not checked"};

    WINTRUST_FILE_INFO fileInfo{};
    fileInfo.cbStruct = sizeof fileInfo;
    fileInfo.pcwszFilePath = wide.c_str();
    fileInfo.hFile = file.get();
    WINTRUST_DATA data{};
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &fileInfo;
    FileTrust embedded = Verify(data);
    if (embedded.status != TrustStatus::Unsigned)
        return embedded;
    for (bool sha256 : {true, false})
        if (std::optional<FileTrust> catalog = CatalogAdmin(sha256).Verify(file.get(), wide))
            return *catalog;
    return embedded;
}

VersionText TrustWin::ReadVersionText(const std::string& path) {
    // Read as data: version.dll maps the resource section without running anything of the file.
    const std::wstring wide = Widen(path);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &ignored);
    if (size == 0 || size > 1024 * 1024)
        return {};
    std::vector<BYTE> block(size);
    if (!GetFileVersionInfoW(wide.c_str(), 0, size, block.data()))
        return {};
    std::vector<std::wstring> languages;
    struct Translation {
        WORD language;
        WORD codePage;
    };
    void* value = nullptr;
    UINT length = 0;
    if (VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &value, &length) && value) {
        const auto* pairs = static_cast<const Translation*>(value);
        for (UINT i = 0; i < length / sizeof(Translation) && i < 16; ++i) {
            wchar_t text[9];
            swprintf(text, 9, L"%04x%04x", pairs[i].language, pairs[i].codePage);
            languages.emplace_back(text);
        }
    }
    languages.insert(languages.end(), {L"040904b0", L"040904e4", L"04090000"});
    VersionText version;
    for (const std::wstring& language : languages) {
        if (version.company.empty())
            version.company = QueryText(block, language.c_str(), L"CompanyName");
        if (version.description.empty())
            version.description = QueryText(block, language.c_str(), L"FileDescription");
    }
    return version;
}

}  // namespace pellora::win32
