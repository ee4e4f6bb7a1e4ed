// Signature port: ECDSA over the NIST P-256 curve with SHA-256, as BCrypt offers it (part of
// Windows; no extra library). Keys and signatures cross the port in their raw forms: a public
// key is X || Y (32 bytes each), a private key X || Y || D, a signature r || s (32 bytes each).
// The PEM and DER forms that openssl reads and writes are converted in the core
// (core/database/key_format.h). Implemented on BCrypt (win32/signature_bcrypt.cpp).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pellora {

inline constexpr size_t kP256CoordinateLength = 32;

class SignaturePort {
  public:
    virtual ~SignaturePort() = default;

    // True only when `signature` is a valid signature of SHA-256(`data`) by `publicKey`.
    virtual bool VerifyP256(std::string_view publicKey, std::string_view data, std::string_view signature) = 0;
    // The signature of SHA-256(`data`) by `privateKey`; nothing when it cannot be made.
    virtual std::optional<std::string> SignP256(std::string_view privateKey, std::string_view data) = 0;
};

}  // namespace pellora
