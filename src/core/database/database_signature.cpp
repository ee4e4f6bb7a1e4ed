#include "core/database/database_signature.h"

#include <optional>

#include "core/database/database.h"
#include "core/database/database_trust.h"

namespace pellora {

namespace {

constexpr size_t kSignatureFileLimit = 65536;
constexpr const char* kKeysFolderName = "Keys";

}  // namespace

DatabaseSignatureCheck CheckDatabaseSignature(FileSystemPort& files,
                                              SignaturePort* signatures,
                                              const std::string& appFolder,
                                              std::string_view bytes,
                                              const char* databaseName,
                                              const char* signatureName,
                                              const char* pendingName) {
    using Result = DatabaseSignatureCheck::Result;
    const std::string signaturePath = appFolder + "\\" + signatureName;
    const std::string pendingPath = pendingName ? appFolder + "\\" + pendingName : std::string();
    std::optional<std::string> signature = files.ReadFileUpTo(signaturePath, kSignatureFileLimit);
    std::optional<std::string> pending =
        pendingName ? files.ReadFileUpTo(pendingPath, kSignatureFileLimit) : std::nullopt;
    const bool signatureThere = signature || files.GetAttributes(signaturePath);
    if (!signatureThere && !pending)
        return {Result::Unsigned, ""};

    const std::string named = std::string(databaseName) + " (signature " + signatureName + ")";
    if (!signatures)
        return {Result::Refused, named + " cannot be checked in this program"};
    const std::vector<TrustedKey> keys = LoadTrustedKeys(files, appFolder + "\\" + kKeysFolderName);
    if (pending) {
        if (std::optional<std::string> key = VerifyDetachedSignature(*signatures, keys, bytes, *pending)) {
            // The rename an installation or rollback did not get to.
            (void)files.MoveFile(pendingPath, signaturePath);
            return {Result::Verified, *key};
        }
    }
    if (!signatureThere)
        return {Result::Unsigned, ""};  // a pending signature of a database never put in place
    if (keys.empty())
        return {Result::Refused, named + " cannot be checked: there is no trusted key in " + kKeysFolderName};
    if (!signature)
        return {Result::Refused, std::string(signatureName) + " cannot be read"};
    if (std::optional<std::string> key = VerifyDetachedSignature(*signatures, keys, bytes, *signature))
        return {Result::Verified, *key};
    return {Result::Refused, std::string(databaseName) + " does not match its signature " + signatureName};
}

std::string KeepNewerAfterUpgrade(FileSystemPort& files, SignaturePort* signatures, const std::string& appFolder) {
    const std::string setAside = appFolder + "\\" + kSetAsideDatabaseFileName;
    const std::string installed = appFolder + "\\" + kDatabaseFileName;
    std::optional<std::string> previous = files.ReadFileUpTo(setAside, kMaxDatabaseLength);
    if (!previous)
        return "";
    std::optional<std::string> release = files.ReadFileUpTo(installed, kMaxDatabaseLength);
    const uint64_t releaseSerial = release ? DatabaseSerial(*release).value_or(0) : 0;
    const std::optional<uint64_t> previousSerial = DatabaseSerial(*previous);
    const DatabaseSignatureCheck check =
        CheckDatabaseSignature(files, signatures, appFolder, *previous, kSetAsideDatabaseFileName,
                               kDatabaseSignatureFileName, kPendingSignatureFileName);
    if (check.Accepted() && previousSerial && *previousSerial > releaseSerial && UnlocksToDatabase(*previous)) {
        if (std::optional<uint32_t> attributes = files.GetAttributes(installed);
            attributes && (*attributes & file_attr::kReadOnly))
            (void)files.SetAttributes(installed, file_attr::kNormal);
        if (files.MoveFile(setAside, installed))
            return "kept the installed database (serial " + std::to_string(*previousSerial) +
                   ") over the release's (serial " + std::to_string(releaseSerial) + ")";
        return "";
    }
    // The release's database stays; the signature beside it was the other one's.
    for (const char* name : {kDatabaseSignatureFileName, kPendingSignatureFileName}) {
        const std::string path = appFolder + "\\" + name;
        if (files.GetAttributes(path) && !files.DeleteFile(path))
            return "";
    }
    (void)files.SetAttributes(setAside, file_attr::kNormal);
    (void)files.DeleteFile(setAside);
    return "took the release's database (serial " + std::to_string(releaseSerial) + ")" +
           (check.Accepted() ? std::string() : ": the installed one was refused, " + check.detail);
}

}  // namespace pellora
