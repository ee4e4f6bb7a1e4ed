// SignatureBcrypt: ECDSA P-256 with SHA-256 on BCrypt (bcrypt.dll, part of Windows since Vista
// and implemented by Wine), so the update needs no extra library.
#pragma once

#include "core/ports/signature.h"

namespace pellora::win32 {

class SignatureBcrypt : public SignaturePort {
  public:
    bool VerifyP256(std::string_view publicKey, std::string_view data, std::string_view signature) override;
    std::optional<std::string> SignP256(std::string_view privateKey, std::string_view data) override;
};

}  // namespace pellora::win32
