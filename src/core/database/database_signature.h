// The signature kept beside the installed database. An update installs DataBase.ref together
// with the detached signature it was judged by (DataBase.sig), and keeps the previous pair as
// DataBase.bak and DataBase.bak.sig. Every load and every rollback checks the database against
// its signature with the trusted keys of Keys\*.pem; one that fails is not loaded.
//
// A database with no signature file beside it is the one the installer put there (the starter
// database, which carries none): it is accepted. Once an update has written DataBase.sig, a
// database that does not match it is refused. Whoever could delete DataBase.sig could also
// replace the program itself; what keeps both out is the application folder's access list.
//
// The database and its signature are two files, and no single step replaces both: a new
// signature is first written as DataBase.new.sig, the database is replaced, and only then is
// the pending signature renamed over DataBase.sig. A check accepts the database when either
// signature verifies, and completes the rename, so a crash between the steps leaves a database
// that loads, whether old or new.
#pragma once

#include <string>
#include <string_view>

#include "core/ports/file_system.h"
#include "core/ports/signature.h"

namespace pellora {

inline constexpr const char* kDatabaseSignatureFileName = "DataBase.sig";
inline constexpr const char* kBackupSignatureFileName = "DataBase.bak.sig";
inline constexpr const char* kPendingSignatureFileName = "DataBase.new.sig";
// Where an upgrade sets the installed database aside before it puts the release's in its place.
inline constexpr const char* kSetAsideDatabaseFileName = "DataBase.prev";

struct DatabaseSignatureCheck {
    enum class Result {
        Verified,  // a trusted key signed these bytes (`detail`: the key's file name)
        Unsigned,  // no signature file: the installer's database
        Refused,   // `detail`: why
    };
    Result result = Result::Refused;
    std::string detail;

    bool Accepted() const { return result != Result::Refused; }
};

// Checks `bytes` of the database `databaseName` against the signature file `signatureName` of
// the application folder and, when given, the pending one (renamed over `signatureName` when
// it is the one that verifies). `signatures` may be null: a signature file then cannot be
// checked and the database is refused.
DatabaseSignatureCheck CheckDatabaseSignature(FileSystemPort& files,
                                              SignaturePort* signatures,
                                              const std::string& appFolder,
                                              std::string_view bytes,
                                              const char* databaseName,
                                              const char* signatureName,
                                              const char* pendingName = nullptr);

// After an upgrade: the installer has set the installed database aside as DataBase.prev
// (with its DataBase.sig untouched) and put the release's in place. The newer of the two stays:
// the set-aside one when its signature checks out and its serial is above the release's, else
// the release's, which carries no signature (DataBase.sig, belonging to the other, goes).
// Nothing happens without DataBase.prev. Each outcome is one rename or deletion at a time, so a
// crash leaves a state this resolves the same way at the next load. Returns what it did, "" for
// nothing.
std::string KeepNewerAfterUpgrade(FileSystemPort& files, SignaturePort* signatures, const std::string& appFolder);

}  // namespace pellora
