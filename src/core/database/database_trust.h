// What makes bytes a reference database Pellora may use: they unlock to a version line and
// signature items, they carry a serial, and a detached signature by a trusted key of the Keys
// folder verifies them. The update checks a download by these, start-up the installed file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/ports/file_system.h"
#include "core/ports/signature.h"

namespace pellora {

// A download shorter than this is not taken for a database.
inline constexpr int64_t kMinimumDatabaseLength = 900000;
// Nor is one longer than this: a download is refused while it arrives (nothing beyond it is
// written), and no database file is read further.
inline constexpr int64_t kMaxDatabaseLength = 64LL * 1024 * 1024;

// True when `bytes` unlock to a version line (not blank, no control characters) followed by at
// least one well-formed signature item (a known type, four "|"-separated fields, an object and
// a category). The unlocked version line is stored in `version` (ANSI bytes).
bool UnlocksToDatabase(std::string_view bytes, std::string* version = nullptr);

// The serial number of a database: the reserved line "@serial N" (N decimal) right after the
// version line. A later edition has a higher serial; a database without that line has serial 0.
// Reserved lines ("@") are skipped by the scan, so readers that know no serial are unaffected.
inline constexpr std::string_view kSerialKeyword = "@serial";

// The serial a database's unlocked line 2 gives: 0 when it is not a serial line, nothing when it
// is one ("@serial" and what follows) but holds no decimal number below 10^19 after blanks.
std::optional<uint64_t> SerialOfLine(std::string_view line2);
// The serial of a locked database (only its first two lines are unlocked).
std::optional<uint64_t> DatabaseSerial(std::string_view lockedBytes);

struct TrustedKey {
    std::string name;       // file name in the Keys folder
    std::string publicKey;  // X || Y
};

// True when a long file name ends in ".pem" (any case): the names a key is read from.
bool IsKeyFileName(std::string_view name);
// The P-256 public keys of `folder`\*.pem whose long name ends in ".pem"; files that hold none
// are passed over.
std::vector<TrustedKey> LoadTrustedKeys(FileSystemPort& files, const std::string& folder);

// The name of the key whose signature `signatureDer` (as openssl writes it) is over `data`;
// nothing when no key verifies it.
std::optional<std::string> VerifyDetachedSignature(SignaturePort& signatures,
                                                   const std::vector<TrustedKey>& keys,
                                                   std::string_view data,
                                                   std::string_view signatureDer);

}  // namespace pellora
