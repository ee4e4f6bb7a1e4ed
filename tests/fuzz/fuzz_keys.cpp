// Key and signature files: whatever bytes a Keys\*.pem, a signature file or a producer's private
// key holds, reading them never reads out of bounds or aborts (an element whose tag is there but
// whose length its bytes do not hold included), what is read has the size of its kind, and the
// strict formats round-trip: a DER signature that converts to r || s converts back to the very
// same bytes, and base64 gives back what it encoded. The input is read as text and, wrapped in
// PEM armour, as the DER of each label.
#include <cstdint>
#include <string>

#include "core/database/key_format.h"
#include "fuzz/fuzz_check.h"

using namespace pellora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);

    FUZZ_CHECK(Base64Decode(Base64Encode(bytes)) == bytes);
    if (std::optional<std::string> decoded = Base64Decode(bytes))
        FUZZ_CHECK(Base64Decode(Base64Encode(*decoded)) == decoded);

    // As a PEM text of its own.
    if (std::optional<std::string> key = P256PublicKeyFromPem(bytes))
        FUZZ_CHECK(key->size() == 64);
    if (std::optional<std::string> key = P256PrivateKeyFromPem(bytes))
        FUZZ_CHECK(key->size() == 96);
    for (const std::string& block : PemBlocks(bytes, "PUBLIC KEY"))
        (void)P256PublicKeyFromSpki(block);

    // As the DER inside each armour the programs read.
    if (std::optional<std::string> key = P256PublicKeyFromSpki(bytes))
        FUZZ_CHECK(key->size() == 64);
    for (const char* label : {"PUBLIC KEY", "EC PRIVATE KEY", "PRIVATE KEY"}) {
        const std::string pem =
            std::string("-----BEGIN ") + label + "-----\n" + Base64Encode(bytes) + "\n-----END " + label + "-----\n";
        const std::vector<std::string> blocks = PemBlocks(pem, label);
        FUZZ_CHECK(blocks.size() == 1 && blocks[0] == bytes);
        if (std::optional<std::string> key = P256PublicKeyFromPem(pem))
            FUZZ_CHECK(key->size() == 64);
        if (std::optional<std::string> key = P256PrivateKeyFromPem(pem))
            FUZZ_CHECK(key->size() == 96);
    }

    // Signatures: only the one canonical DER form of r || s is taken.
    if (std::optional<std::string> raw = EcdsaSignatureToRaw(bytes)) {
        FUZZ_CHECK(raw->size() == 64);
        FUZZ_CHECK(EcdsaSignatureToDer(*raw) == bytes);
    }
    if (size == 64) {
        const std::string der = EcdsaSignatureToDer(bytes);
        FUZZ_CHECK(EcdsaSignatureToRaw(der) == bytes);
    }
    return 0;
}
