// DatabaseUpdate: the update panel's logic (picFrmUpdate) and the downloader's listener. "Start
// Update" downloads the database from the update address into DataBase.tmp with clsIFileDL and
// installs it only when it is sound: status 200, as long as its Content-Length says, at least
// 900,000 bytes, unlocking to a version line and a well-formed item, whole by its trailer line
// (core/database/database_format.h), and signed (ECDSA P-256
// over SHA-256, the detached signature at the same address plus ".sig") by a key of the
// application folder's Keys folder. Anything else is refused and DataBase.ref stays as it was.
//
// Installing: DataBase.tmp is already flushed by the downloader; the current DataBase.ref is
// kept as DataBase.bak (with its signature as DataBase.bak.sig), and one rename puts
// DataBase.tmp in its place, with the signature it was judged by as DataBase.sig (written
// before, as DataBase.new.sig, and renamed after), so a crash at any moment leaves either the
// old or the new database, each loadable with its signature; only then is it loaded. Rollback
// checks DataBase.bak against its signature the same way before it puts it back. DataBase.tmp is removed at
// the end of every update, whatever its outcome.
//
// Editions only move forward: a download whose serial ("@serial N") is not above the installed
// database's is refused, so an older, validly signed database cannot be replayed. A download
// longer than 64 MiB is refused while it arrives. Running out of memory anywhere in an update
// ends it as a failure with its reason, never the process.
//
// The same checks and installation serve a database offered as a file (UpdateFromFile), read
// once by the file source and written as DataBase.tmp, so the bytes judged are those installed.
//
// The update address lives in Settings\Update.stg (one line), shown and edited on the panel.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/database/database.h"
#include "core/ports/ports.h"
#include "core/state/app_state.h"
#include "core/update/file_downloader.h"
#include "core/update/update_checks.h"

namespace pellora {

inline constexpr const char* kUpdateAddressFile = "Update.stg";
inline constexpr const char* kDownloadFileName = "DataBase.tmp";
inline constexpr const char* kBackupDatabaseFileName = "DataBase.bak";
inline constexpr const char* kKeysFolder = "Keys";
inline constexpr const char* kSignatureSuffix = ".sig";
inline constexpr size_t kSignatureLimit = 65536;

inline constexpr const char* kUpdateRefusedText =
    "An error has occured while retrieving the update. Please try again in one hour.";
inline constexpr const char* kUpdateRefusedTitle = "Error";
inline constexpr const char* kUpdateFailedText =
    "An error occured while trying to download the update.\r\nPlease try again in one hour.";
inline constexpr const char* kUpdateDoneText = "Download completed!";
inline constexpr const char* kUpdateInstalledCaption = "Update installed successfully.";
inline constexpr const char* kUpdateCancelledCaption = "Update cancelled.";
inline constexpr const char* kNoAddressText =
    "No update address is set. Enter the address of the database (http://... or https://...) above "
    "\"Start Update\" and press it again.";
inline constexpr const char* kBadAddressText = "The update address must begin with http:// or https://.";
inline constexpr const char* kNoTrustedKeyText =
    "The update was refused: there is no trusted key in the Keys folder of Pellora to check the signature of a "
    "database with.";

enum class UpdateOutcome { None, Installed, Refused, Failed, Cancelled };

// Steps of the installation, in order (a test may stop the update before any of them, as a
// crash would).
enum class InstallStep { KeepBackup, Replace, KeepSignature, Reload };

class DatabaseUpdate : public FileDownloadListener {
  public:
    DatabaseUpdate(AppState& state, Ports& ports, Database& database);
    ~DatabaseUpdate() override;

    // Reads Settings\Update.stg into the panel's address.
    void LoadAddress();
    // Keeps the panel's address and writes it to Settings\Update.stg; false when it cannot.
    bool SaveAddress(const std::string& address);

    // "Start Update": the update of the panel's address (or of `url` when given, for this run
    // only). Does nothing while the busy flag is set.
    void cmdUpdateNow_Click();
    void UpdateFrom(const std::string& url);
    // The same update from a file on a disk or a share (for machines without internet access),
    // its signature beside it as PATH.sig: every check of a download but the HTTP ones.
    void UpdateFromFile(const std::string& path);
    // "Cancel": the running download stops after its current chunk.
    void cmdCancelUpdate_Click();
    // Puts DataBase.bak back as DataBase.ref (the replaced one becomes DataBase.bak), each with
    // its signature file, and loads it; false, with the reason, when there is no sound previous
    // database or it does not match its signature.
    bool Rollback(std::string& reason);

    void ctlIFileDownloadProgress(int64_t lBytesRead) override;
    void ctlIFileDownloadComplete() override;
    void ctlIFileDownloadError(const std::string& sErrorDescription) override;

    UpdateOutcome LastOutcome() const { return outcome_; }
    const std::string& LastReason() const { return reason_; }
    clsIFileDL* downloader() { return downloader_.get(); }

    // Each line the update logs (also appended to DavEre.roz when logging is on).
    std::function<void(const std::string&)> onLogLine;
    // Test seam: returns true to stop before a step as a crash would (nothing after it runs).
    std::function<bool(InstallStep)> stopBefore;

  private:
    std::string PathOf(const char* name) const;
    void Log(const std::string& line);
    void Refuse(const std::string& reason);
    // Ends the update as failed with `reason`, logged and told.
    void Fail(const std::string& reason);
    // Checked before anything is fetched or read: without a key nothing could ever be
    // installed (the update is then refused).
    bool HasTrustedKey();
    // The reason a finished download may not be installed, or "" when it may (its bytes and
    // the signing key's name are then in `bytes` and `keyName`).
    std::string Judge(std::string& bytes, std::string& keyName, std::string& version);
    // Where the detached signature of the judged bytes comes from (nothing, with why).
    using SignatureSource = std::function<std::optional<std::string>(std::string& detail)>;
    // The checks every source shares: size, unlocking, signature by a trusted key, serial.
    std::string JudgeDatabase(const std::string& body,
                              std::string& keyName,
                              std::string& version,
                              const SignatureSource& fetchSignature);
    // Installs judged bytes or refuses them; false when a test stopped the installation.
    bool Conclude(const std::string& reason, const std::string& version, const std::string& keyName);
    void InstallFromFile();
    bool Install(const std::string& version, const std::string& keyName);
    bool Stopped(InstallStep step);
    // The serial of the installed DataBase.ref (0 without one, or when it holds none).
    uint64_t InstalledSerial();
    std::optional<std::string> ReadSignature(const char* name);
    // Writes DataBase.bak and, when there is one, its signature DataBase.bak.sig.
    bool KeepAsBackup(const std::string& bytes, const std::optional<std::string>& signature);
    bool RollbackSteps(std::string& reason);
    void Finish();
    void StartDownload();
    // The update ran out of memory: a failure with its reason, and nothing left behind.
    void FailOutOfMemory();

    AppState& state_;
    Ports& ports_;
    Database& database_;
    std::unique_ptr<clsIFileDL> downloader_;
    std::string url_;
    std::string bodyUrl_;  // where the database really came from (after redirects)
    UpdateOutcome outcome_ = UpdateOutcome::None;
    std::string reason_;
    std::string signature_;  // the detached signature the download was judged by
    bool stopped_ = false;
};

}  // namespace pellora
