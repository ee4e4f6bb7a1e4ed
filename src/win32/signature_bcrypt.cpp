// The key blobs BCrypt imports are a BCRYPT_ECCKEY_BLOB header followed by X, Y (and D for a
// private key), each 32 bytes big-endian: exactly the raw forms the port carries. The hash is
// made with BCrypt's SHA-256 object and signed or verified as a 32-byte digest; signatures are
// r || s.
#include "win32/signature_bcrypt.h"

#include <windows.h>
// After windows.h, whose types it uses.
#include <bcrypt.h>

#include <cstring>
#include <vector>

namespace pellora::win32 {

namespace {

constexpr NTSTATUS kSuccess = 0;

struct Algorithm {
    explicit Algorithm(const wchar_t* name) {
        if (BCryptOpenAlgorithmProvider(&handle, name, nullptr, 0) != kSuccess)
            handle = nullptr;
    }
    ~Algorithm() {
        if (handle)
            BCryptCloseAlgorithmProvider(handle, 0);
    }
    Algorithm(const Algorithm&) = delete;
    Algorithm& operator=(const Algorithm&) = delete;
    BCRYPT_ALG_HANDLE handle = nullptr;
};

struct Key {
    ~Key() {
        if (handle)
            BCryptDestroyKey(handle);
    }
    BCRYPT_KEY_HANDLE handle = nullptr;
};

std::optional<std::vector<UCHAR>> Sha256(std::string_view data) {
    Algorithm sha(BCRYPT_SHA256_ALGORITHM);
    if (!sha.handle)
        return std::nullopt;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (BCryptCreateHash(sha.handle, &hash, nullptr, 0, nullptr, 0, 0) != kSuccess)
        return std::nullopt;
    std::vector<UCHAR> digest(32);
    bool ok = true;
    // In pieces: BCryptHashData takes a 32-bit length.
    for (size_t done = 0; ok && done < data.size(); done += 1u << 30) {
        size_t piece = std::min<size_t>(data.size() - done, 1u << 30);
        ok = BCryptHashData(hash, reinterpret_cast<PUCHAR>(const_cast<char*>(data.data() + done)),
                            static_cast<ULONG>(piece), 0) == kSuccess;
    }
    ok = ok && BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0) == kSuccess;
    BCryptDestroyHash(hash);
    if (!ok)
        return std::nullopt;
    return digest;
}

bool Import(const Algorithm& algorithm, const wchar_t* blobType, ULONG magic, std::string_view parts, Key& key) {
    std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + parts.size());
    BCRYPT_ECCKEY_BLOB header{magic, static_cast<ULONG>(kP256CoordinateLength)};
    std::memcpy(blob.data(), &header, sizeof header);
    std::memcpy(blob.data() + sizeof header, parts.data(), parts.size());
    return BCryptImportKeyPair(algorithm.handle, nullptr, blobType, &key.handle, blob.data(),
                               static_cast<ULONG>(blob.size()), 0) == kSuccess;
}

}  // namespace

bool SignatureBcrypt::VerifyP256(std::string_view publicKey, std::string_view data, std::string_view signature) {
    if (publicKey.size() != 2 * kP256CoordinateLength || signature.size() != 2 * kP256CoordinateLength)
        return false;
    Algorithm ecdsa(BCRYPT_ECDSA_P256_ALGORITHM);
    Key key;
    if (!ecdsa.handle || !Import(ecdsa, BCRYPT_ECCPUBLIC_BLOB, BCRYPT_ECDSA_PUBLIC_P256_MAGIC, publicKey, key))
        return false;
    std::optional<std::vector<UCHAR>> digest = Sha256(data);
    if (!digest)
        return false;
    std::vector<UCHAR> raw(signature.begin(), signature.end());
    return BCryptVerifySignature(key.handle, nullptr, digest->data(), static_cast<ULONG>(digest->size()), raw.data(),
                                 static_cast<ULONG>(raw.size()), 0) == kSuccess;
}

std::optional<std::string> SignatureBcrypt::SignP256(std::string_view privateKey, std::string_view data) {
    if (privateKey.size() != 3 * kP256CoordinateLength)
        return std::nullopt;
    Algorithm ecdsa(BCRYPT_ECDSA_P256_ALGORITHM);
    Key key;
    if (!ecdsa.handle || !Import(ecdsa, BCRYPT_ECCPRIVATE_BLOB, BCRYPT_ECDSA_PRIVATE_P256_MAGIC, privateKey, key))
        return std::nullopt;
    std::optional<std::vector<UCHAR>> digest = Sha256(data);
    if (!digest)
        return std::nullopt;
    std::string signature(2 * kP256CoordinateLength, '\0');
    ULONG length = 0;
    if (BCryptSignHash(key.handle, nullptr, digest->data(), static_cast<ULONG>(digest->size()),
                       reinterpret_cast<PUCHAR>(signature.data()), static_cast<ULONG>(signature.size()), &length,
                       0) != kSuccess ||
        length != signature.size())
        return std::nullopt;
    return signature;
}

}  // namespace pellora::win32
