// The key and signature formats openssl writes, turned into the raw forms of the signature
// port: PEM armour (base64 between "-----BEGIN ...-----" lines), a P-256 public key as
// SubjectPublicKeyInfo ("PUBLIC KEY"), a private key as SEC1 ("EC PRIVATE KEY") or PKCS #8
// ("PRIVATE KEY"), and an ECDSA signature as DER (SEQUENCE of the INTEGERs r and s), which is
// what `openssl dgst -sha256 -sign` writes and BCrypt does not read (it wants r || s).
// Pure functions over bytes; whatever they are given, they never read out of bounds.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pellora {

// The DER bytes of every PEM block labelled `label` ("PUBLIC KEY"), in file order; blocks
// whose base64 does not decode are left out.
std::vector<std::string> PemBlocks(std::string_view text, std::string_view label);
std::optional<std::string> Base64Decode(std::string_view text);
std::string Base64Encode(std::string_view bytes);

// X || Y of a P-256 SubjectPublicKeyInfo (uncompressed point); nothing for anything else.
std::optional<std::string> P256PublicKeyFromSpki(std::string_view der);
// X || Y of the first P-256 "PUBLIC KEY" block of a PEM text.
std::optional<std::string> P256PublicKeyFromPem(std::string_view pem);
// X || Y || D of the first P-256 private key of a PEM text (SEC1 or PKCS #8, unencrypted, with
// its public point, as openssl writes it).
std::optional<std::string> P256PrivateKeyFromPem(std::string_view pem);

// r || s (32 bytes each) of a DER ECDSA signature; nothing when it is not exactly one.
std::optional<std::string> EcdsaSignatureToRaw(std::string_view der);
// The DER form of r || s.
std::string EcdsaSignatureToDer(std::string_view raw);

}  // namespace pellora
