// Trust port: whether a program file carries a valid Authenticode signature (embedded, or
// through a catalog of the system), who signed it, and the company and description of its
// version resource. Implemented on WinVerifyTrust and the catalog administrator
// (win32/trust_win.cpp) and in memory for the tests.
//
// Nothing here ever runs or loads the file's code: the signature is checked over the file's
// bytes and the version resource is read as data. A file longer than kMaxVerifiedFileLength is
// never hashed (the caller skips it; the adapter checks the length again on its own handle).
#pragma once

#include <cstdint>
#include <string>

namespace pellora {

inline constexpr uint64_t kMaxVerifiedFileLength = uint64_t{512} * 1024 * 1024;

enum class TrustStatus {
    Signed,     // a valid signature that chains to a root this machine trusts
    Untrusted,  // a valid signature whose chain does not end in a trusted root (or is revoked, expired)
    Unsigned,   // no signature, embedded or in a catalog
    Bad,        // a signature that does not match the file's bytes, or cannot be read
    Unchecked,  // not checked: the file could not be opened (or the caller skipped it)
};

struct FileTrust {
    TrustStatus status = TrustStatus::Unchecked;
    std::string signer;   // the signing certificate's subject name ("" when none)
    std::string problem;  // for Unchecked and Bad: what went wrong, in words
};

struct VersionText {
    std::string company;      // CompanyName of the version resource ("" when none)
    std::string description;  // FileDescription
};

class TrustPort {
  public:
    virtual ~TrustPort() = default;

    // The Authenticode verdict for the file at `path` (a full path), catalog signatures included.
    virtual FileTrust VerifyFile(const std::string& path) = 0;
    // The company and description of the file's version resource, read as data.
    virtual VersionText ReadVersionText(const std::string& path) = 0;
};

}  // namespace pellora
