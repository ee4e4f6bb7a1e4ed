#include "core/update/database_update.h"

#include <cstdio>
#include <new>

#include "core/database/database_signature.h"
#include "core/settings/settings_files.h"
#include "core/update/file_source.h"
#include "core/update/http_text.h"
#include "core/update/update_checks.h"
#include "core/util/text.h"

namespace pellora {

namespace {

// Settings.stg line of "Log Dozevur Ezavuri activites".
constexpr size_t kLogActivitiesLine = 3;
constexpr const char* kLogFile = "DavEre.roz";

}  // namespace

DatabaseUpdate::DatabaseUpdate(AppState& state, Ports& ports, Database& database)
    : state_(state), ports_(ports), database_(database) {}

DatabaseUpdate::~DatabaseUpdate() = default;

std::string DatabaseUpdate::PathOf(const char* name) const {
    return state_.appFolder + "\\" + name;
}

void DatabaseUpdate::LoadAddress() {
    std::optional<std::string> bytes =
        ports_.files.ReadFile(AppFilePath(state_.appFolder, kSettingsFolder, kUpdateAddressFile));
    std::vector<std::string> lines = bytes ? SplitTextLines(*bytes, false) : std::vector<std::string>{};
    state_.update.address = lines.empty() ? "" : TrimSpaces(ports_.system.AnsiToUtf8(lines[0]));
    ports_.ui.Changed(View::Update);
}

bool DatabaseUpdate::SaveAddress(const std::string& address) {
    // One line: whatever would start a second one is not part of an address.
    const std::string line = TrimSpaces(address.substr(0, address.find_first_of("\r\n")));
    state_.update.address = line;
    ports_.ui.Changed(View::Update);
    return ports_.files.WriteFileAtomic(AppFilePath(state_.appFolder, kSettingsFolder, kUpdateAddressFile),
                                        ports_.system.Utf8ToAnsi(line) + "\r\n");
}

void DatabaseUpdate::Log(const std::string& line) {
    if (Line(state_.lstSettingsFile, kLogActivitiesLine) == "1") {
        LocalTime t = ports_.clock.Now();
        char time[16];
        std::snprintf(time, sizeof time, "%02d:%02d:%02d", t.hour, t.minute, t.second);
        std::string stamped = ports_.clock.ShortDate(t) + " " + time + " " + line;
        (void)ports_.files.AppendFile(PathOf(kLogFile), ports_.system.Utf8ToAnsi(stamped) + "\r\n");
    }
    if (onLogLine)
        onLogLine(line);
}

bool DatabaseUpdate::HasTrustedKey() {
    if (!LoadTrustedKeys(ports_.files, PathOf(kKeysFolder)).empty())
        return true;
    outcome_ = UpdateOutcome::Refused;
    reason_ = "no trusted key (*.pem) in " + PathOf(kKeysFolder);
    Log("Database update from " + url_ + " refused: " + reason_);
    ReportEvent(ports_.events, event_id::kUpdateRefused, EventLevel::Warning, {url_, reason_});
    ports_.ui.Message(kNoTrustedKeyText, kAppTitle, MsgButtons::Ok, MsgIcon::Error);
    return false;
}

void DatabaseUpdate::Fail(const std::string& reason) {
    outcome_ = UpdateOutcome::Failed;
    reason_ = reason;
    Log("Database update from " + url_ + " failed: " + reason_);
    ports_.ui.Message(kUpdateFailedText, kAppTitle, MsgButtons::Ok, MsgIcon::Exclamation);
}

void DatabaseUpdate::cmdUpdateNow_Click() {
    UpdateFrom(state_.update.address);
}

void DatabaseUpdate::UpdateFrom(const std::string& address) {
    if (state_.busy)
        return;
    outcome_ = UpdateOutcome::None;
    reason_.clear();
    const std::string trimmed = TrimSpaces(address);
    if (trimmed.empty()) {
        outcome_ = UpdateOutcome::Failed;
        reason_ = "no update address is set";
        ports_.ui.Message(kNoAddressText, kAppTitle, MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    url_ = WithScheme(trimmed);
    if (!IsHttpAddress(url_)) {
        outcome_ = UpdateOutcome::Failed;
        reason_ = "not an http:// or https:// address: " + trimmed;
        ports_.ui.Message(kBadAddressText, kAppTitle, MsgButtons::Ok, MsgIcon::Exclamation);
        return;
    }
    if (!ports_.http || !ports_.signatures) {
        Fail("no network access in this program");
        return;
    }
    if (!HasTrustedKey())
        return;

    state_.busy = true;
    state_.update.downloading = true;
    state_.update.lblBytesRead.clear();
    state_.update.progressValue = 0;
    state_.update.bytesRead = 0;
    ports_.ui.Changed(View::Update);
    try {
        StartDownload();
    } catch (const std::bad_alloc&) {
        FailOutOfMemory();
    }
}

void DatabaseUpdate::FailOutOfMemory() {
    outcome_ = UpdateOutcome::Failed;
    reason_ = "out of memory";
    downloader_.reset();
    try {
        Log("Database update from " + url_ + " failed: " + reason_);
        ports_.ui.Message(kUpdateFailedText, kAppTitle, MsgButtons::Ok, MsgIcon::Exclamation);
        state_.update.lblBytesRead.clear();
        Finish();
    } catch (const std::bad_alloc&) {
        // Still none to spare: at least the update is no longer running.
        state_.busy = false;
        state_.update.downloading = false;
    }
}

void DatabaseUpdate::StartDownload() {
    Log("Database update from " + url_ + " started");
    downloader_ = std::make_unique<clsIFileDL>(*ports_.http, ports_.files, ports_.ui, *this);
    clsIFileDL& downloader = *downloader_;
    downloader.Url = url_;
    downloader.Port = 80;
    downloader.ConnectType = 0;
    downloader.ProxyServer = "";
    downloader.ProxyPort = 0;
    downloader.LocalFile = PathOf(kDownloadFileName);
    downloader.MaxLength = kMaxDatabaseLength;
    downloader.StartDownload();

    // A cancelled transfer reports nothing more; the update ends here.
    if (downloader.Cancelled() && state_.busy && state_.update.downloading) {
        outcome_ = UpdateOutcome::Cancelled;
        reason_ = "cancelled";
        Log("Database update from " + url_ + " cancelled after " + std::to_string(state_.update.bytesRead) + " bytes");
        Finish();
        state_.update.lblBytesRead = kUpdateCancelledCaption;
        ports_.ui.Changed(View::Update);
    }
}

void DatabaseUpdate::cmdCancelUpdate_Click() {
    if (downloader_ && state_.update.downloading)
        downloader_->CancelDownload();
}

void DatabaseUpdate::ctlIFileDownloadProgress(int64_t lBytesRead) {
    state_.update.bytesRead = lBytesRead;
    const int32_t fileSize = downloader_ ? downloader_->FileSize() : -1;
    if (fileSize > 0) {
        state_.update.progressMax = fileSize;
        state_.update.progressValue = std::min<int64_t>(lBytesRead, fileSize);
    }
    state_.update.lblBytesRead = BytesReadCaption(lBytesRead, fileSize, ports_.clock.ThousandsSeparator());
    ports_.ui.Changed(View::Update);
}

std::string DatabaseUpdate::Judge(std::string& bytes, std::string& keyName, std::string& version) {
    clsIFileDL& downloader = *downloader_;
    const std::string from = downloader.FinalUrl();
    bodyUrl_ = from;
    if (downloader.StatusCode() != 200)
        return "the server answered " + std::to_string(downloader.StatusCode()) + " for " + from;
    std::optional<std::string> body = ports_.files.ReadFileUpTo(downloader.LocalFile, kMaxDatabaseLength);
    if (!body)
        return "cannot read " + downloader.LocalFile;
    const int64_t length = static_cast<int64_t>(body->size());
    if (downloader.ContentLength() >= 0 && length != downloader.ContentLength())
        return "received " + std::to_string(length) + " bytes, but the Content-Length of " + from + " is " +
               std::to_string(downloader.ContentLength());
    bytes = std::move(*body);
    return JudgeDatabase(bytes, keyName, version, [&](std::string& detail) {
        return downloader.FetchSmall(url_ + kSignatureSuffix, kSignatureLimit, detail);
    });
}

std::string DatabaseUpdate::JudgeDatabase(const std::string& body,
                                          std::string& keyName,
                                          std::string& version,
                                          const SignatureSource& fetchSignature) {
    const int64_t length = static_cast<int64_t>(body.size());
    if (length < kMinimumDatabaseLength)
        return "the file has " + std::to_string(length) + " bytes, fewer than " +
               std::to_string(kMinimumDatabaseLength);
    if (!UnlocksToDatabase(body, &version))
        return "the file does not unlock to a version line followed by a database item";

    const std::vector<TrustedKey> keys = LoadTrustedKeys(ports_.files, PathOf(kKeysFolder));
    if (keys.empty())
        return "no trusted key (*.pem) in " + PathOf(kKeysFolder);
    std::string detail;
    std::optional<std::string> signature = fetchSignature(detail);
    if (!signature)
        return "no signature: " + detail;
    std::optional<std::string> signer = VerifyDetachedSignature(*ports_.signatures, keys, body, *signature);
    if (!signer)
        return "the signature " + url_ + kSignatureSuffix + " does not verify with any trusted key";
    // A replayed older edition carries a valid signature too: only a later serial is new.
    const std::optional<uint64_t> serial = DatabaseSerial(body);
    if (!serial)
        return "its serial line (line 2, \"@serial N\") holds no decimal number";
    const uint64_t installed = InstalledSerial();
    if (*serial <= installed)
        return "its serial " + std::to_string(*serial) + " is not above the installed database's serial " +
               std::to_string(installed);
    keyName = *signer;
    signature_ = std::move(*signature);
    return "";
}

void DatabaseUpdate::Refuse(const std::string& reason) {
    outcome_ = UpdateOutcome::Refused;
    reason_ = reason;
    Log("Database update from " + url_ + " refused: " + reason);
    ReportEvent(ports_.events, event_id::kUpdateRefused, EventLevel::Warning, {url_, reason});
    ports_.ui.Message(kUpdateRefusedText, kUpdateRefusedTitle, MsgButtons::Ok, MsgIcon::Error);
    // The panel keeps the reason in view (the log has it too, when logging is on).
    state_.update.lblBytesRead = "Update refused: " + reason;
    ports_.ui.Changed(View::Update);
}

uint64_t DatabaseUpdate::InstalledSerial() {
    std::optional<std::string> installed = ports_.files.ReadFileUpTo(PathOf(kDatabaseFileName), kMaxDatabaseLength);
    if (!installed)
        return 0;
    // A database that fails its signature was not loaded; its serial holds nothing back either.
    DatabaseSignatureCheck check =
        CheckDatabaseSignature(ports_.files, ports_.signatures, state_.appFolder, *installed, kDatabaseFileName,
                               kDatabaseSignatureFileName, kPendingSignatureFileName);
    if (!check.Accepted()) {
        Log("The installed database is not counted: " + check.detail);
        return 0;
    }
    std::optional<uint64_t> serial = DatabaseSerial(*installed);
    if (!serial)
        Log("The serial line of the installed " + std::string(kDatabaseFileName) + " holds no number; taken as 0");
    return serial.value_or(0);
}

std::optional<std::string> DatabaseUpdate::ReadSignature(const char* name) {
    return ports_.files.ReadFileUpTo(PathOf(name), kSignatureLimit);
}

bool DatabaseUpdate::KeepAsBackup(const std::string& bytes, const std::optional<std::string>& signature) {
    // The old signature goes first: DataBase.bak is never beside a signature of another file.
    const std::string backupSignature = PathOf(kBackupSignatureFileName);
    if (ports_.files.GetAttributes(backupSignature) && !ports_.files.DeleteFile(backupSignature))
        return false;
    if (!ports_.files.WriteFileAtomic(PathOf(kBackupDatabaseFileName), bytes))
        return false;
    return !signature || ports_.files.WriteFileAtomic(backupSignature, *signature);
}

bool DatabaseUpdate::Stopped(InstallStep step) {
    stopped_ = stopBefore && stopBefore(step);
    return stopped_;
}

bool DatabaseUpdate::Install(const std::string& version, const std::string& keyName) {
    const std::string target = PathOf(kDatabaseFileName);
    const std::string download = PathOf(kDownloadFileName);
    if (Stopped(InstallStep::KeepBackup))
        return false;
    if (std::optional<uint32_t> attributes = ports_.files.GetAttributes(target)) {
        std::optional<std::string> current = ports_.files.ReadFile(target);
        if (!current || !KeepAsBackup(*current, ReadSignature(kDatabaseSignatureFileName))) {
            reason_ = "cannot keep the current database as " + std::string(kBackupDatabaseFileName);
            return false;
        }
        // The rename refuses a read-only target.
        if (*attributes & file_attr::kReadOnly)
            (void)ports_.files.SetAttributes(target, file_attr::kNormal);
    }
    ports_.ui.Yield();
    if (Stopped(InstallStep::Replace))
        return false;
    // The signature goes in first, as pending: whichever file a crash leaves in place, the
    // database there still has a signature that verifies it (see database_signature.h).
    if (!ports_.files.WriteFileAtomic(PathOf(kPendingSignatureFileName), signature_)) {
        reason_ = "cannot write " + std::string(kPendingSignatureFileName);
        return false;
    }
    if (!ports_.files.MoveFile(download, target)) {
        (void)ports_.files.DeleteFile(PathOf(kPendingSignatureFileName));
        reason_ = "cannot put " + std::string(kDownloadFileName) + " in the place of " + kDatabaseFileName;
        return false;
    }
    ports_.ui.Yield();
    if (Stopped(InstallStep::KeepSignature))
        return false;
    // Failing here is no harm: the next load completes the rename.
    (void)ports_.files.MoveFile(PathOf(kPendingSignatureFileName), PathOf(kDatabaseSignatureFileName));
    ports_.ui.Yield();
    if (Stopped(InstallStep::Reload))
        return false;
    database_.LoadAndApplyDatabase();
    ports_.ui.Yield();
    outcome_ = UpdateOutcome::Installed;
    Log("Database update installed \"" + ports_.system.AnsiToUtf8(version) + "\" from " + bodyUrl_ + " (signed with " +
        keyName + ")");
    ReportEvent(ports_.events, event_id::kUpdateInstalled, EventLevel::Information,
                {ports_.system.AnsiToUtf8(version), bodyUrl_, keyName});
    state_.update.lblBytesRead = kUpdateInstalledCaption;
    ports_.ui.Changed(View::Update);
    ports_.ui.Message(kUpdateDoneText, kAppTitle, MsgButtons::Ok, MsgIcon::Information);
    return true;
}

void DatabaseUpdate::ctlIFileDownloadComplete() {
    std::string bytes, keyName, version;
    std::string reason = Judge(bytes, keyName, version);
    if (Conclude(reason, version, keyName))
        Finish();
}

bool DatabaseUpdate::Conclude(const std::string& reason, const std::string& version, const std::string& keyName) {
    if (!reason.empty()) {
        Refuse(reason);
    } else if (!Install(version, keyName)) {
        if (stopped_)
            return false;  // stopped as by a crash: nothing more happens
        outcome_ = UpdateOutcome::Failed;
        Log("Database update from " + url_ + " failed: " + reason_);
        ports_.ui.Message(kUpdateFailedText, kAppTitle, MsgButtons::Ok, MsgIcon::Exclamation);
        state_.update.lblBytesRead.clear();
    }
    return true;
}

void DatabaseUpdate::UpdateFromFile(const std::string& path) {
    if (state_.busy)
        return;
    outcome_ = UpdateOutcome::None;
    reason_.clear();
    url_ = TrimSpaces(path);
    bodyUrl_ = url_;
    if (url_.empty()) {
        outcome_ = UpdateOutcome::Failed;
        reason_ = "no file is given";
        return;
    }
    // What the user typed comes first: a path that names no file says so, whatever else is missing.
    if (std::string problem = OfferedFileProblem(ports_.files, url_); !problem.empty()) {
        Fail(problem);
        return;
    }
    if (!ports_.signatures) {
        Fail("no signature check in this program");
        return;
    }
    if (!HasTrustedKey())
        return;
    state_.busy = true;
    state_.update.downloading = true;
    ports_.ui.Changed(View::Update);
    try {
        InstallFromFile();
    } catch (const std::bad_alloc&) {
        FailOutOfMemory();
    }
}

void DatabaseUpdate::InstallFromFile() {
    Log("Database update from " + url_ + " started");
    OfferedFile offered = ReadOfferedFile(ports_.files, url_, kMaxDatabaseLength);
    if (offered.tooLarge) {
        Refuse("larger than " + std::to_string(kMaxDatabaseLength) + " bytes: " + offered.detail);
        Finish();
        return;
    }
    // What is judged is what is installed: the bytes read once, written here as the download.
    if (!offered.bytes || !ports_.files.WriteFileAtomic(PathOf(kDownloadFileName), *offered.bytes)) {
        Fail(offered.bytes ? "cannot write " + PathOf(kDownloadFileName) : offered.detail);
        Finish();
        return;
    }
    std::string keyName, version;
    const std::string reason = JudgeDatabase(*offered.bytes, keyName, version, [&](std::string& detail) {
        OfferedFile signature = ReadOfferedFile(ports_.files, url_ + kSignatureSuffix, kSignatureLimit);
        detail = signature.detail;
        return signature.bytes;
    });
    if (Conclude(reason, version, keyName))
        Finish();
}

void DatabaseUpdate::ctlIFileDownloadError(const std::string& sErrorDescription) {
    const std::string detail = downloader_ ? downloader_->FailureDetail() : "";
    if (downloader_ && downloader_->RedirectRefused()) {
        Refuse("redirected to " + detail);
    } else if (downloader_ && downloader_->TooLarge()) {
        Refuse("larger than " + std::to_string(kMaxDatabaseLength) + " bytes: " + detail);
    } else {
        outcome_ = UpdateOutcome::Failed;
        reason_ = sErrorDescription + (detail.empty() ? "" : " (" + detail + ")");
        Log("Database update from " + url_ + " failed: " + reason_);
        ports_.ui.Message(kUpdateFailedText, kAppTitle, MsgButtons::Ok, MsgIcon::Exclamation);
        state_.update.lblBytesRead.clear();
    }
    Finish();
}

void DatabaseUpdate::Finish() {
    ports_.ui.Yield();
    // A partial or refused download must not linger beside the database.
    const std::string download = PathOf(kDownloadFileName);
    if (ports_.files.GetAttributes(download)) {
        (void)ports_.files.SetAttributes(download, file_attr::kNormal);
        (void)ports_.files.DeleteFile(download);
    }
    ports_.ui.Yield();
    state_.busy = false;
    state_.update.downloading = false;
    state_.update.progressValue = 0;
    ports_.ui.Changed(View::Update);
}

bool DatabaseUpdate::Rollback(std::string& reason) {
    if (state_.busy) {
        reason = "an update, scan or removal is running";
        return false;
    }
    try {
        return RollbackSteps(reason);
    } catch (const std::bad_alloc&) {
        reason = "out of memory";
        return false;
    }
}

bool DatabaseUpdate::RollbackSteps(std::string& reason) {
    const std::string target = PathOf(kDatabaseFileName);
    const std::string backup = PathOf(kBackupDatabaseFileName);
    std::optional<std::string> previous = ports_.files.ReadFileUpTo(backup, kMaxDatabaseLength);
    if (!previous) {
        reason = "there is no previous database (" + std::string(kBackupDatabaseFileName) + ")";
        return false;
    }
    if (!UnlocksToDatabase(*previous)) {
        reason = std::string(kBackupDatabaseFileName) + " is not a database";
        return false;
    }
    DatabaseSignatureCheck check = CheckDatabaseSignature(ports_.files, ports_.signatures, state_.appFolder, *previous,
                                                          kBackupDatabaseFileName, kBackupSignatureFileName);
    if (!check.Accepted()) {
        reason = check.detail;
        Log("Database rollback refused: " + reason);
        return false;
    }
    const std::optional<std::string> previousSignature = ReadSignature(kBackupSignatureFileName);
    std::optional<std::string> current = ports_.files.ReadFile(target);
    const std::optional<std::string> currentSignature = ReadSignature(kDatabaseSignatureFileName);

    // As an installation: the signature first (pending), then the database, then the rename.
    // The previous database may be the installer's, which has none: DataBase.sig goes then.
    const std::string signaturePath = PathOf(kDatabaseSignatureFileName);
    const std::string pendingPath = PathOf(kPendingSignatureFileName);
    if (previousSignature ? !ports_.files.WriteFileAtomic(pendingPath, *previousSignature)
                          : (ports_.files.GetAttributes(signaturePath) && !ports_.files.DeleteFile(signaturePath))) {
        reason =
            "cannot write " + std::string(previousSignature ? kPendingSignatureFileName : kDatabaseSignatureFileName);
        return false;
    }
    if (std::optional<uint32_t> attributes = ports_.files.GetAttributes(target);
        attributes && (*attributes & file_attr::kReadOnly))
        (void)ports_.files.SetAttributes(target, file_attr::kNormal);
    if (!ports_.files.WriteFileAtomic(target, *previous)) {
        reason = "cannot write " + target;
        return false;
    }
    if (previousSignature)
        (void)ports_.files.MoveFile(pendingPath, signaturePath);
    if (current && !KeepAsBackup(*current, currentSignature))
        Log("Database rollback: the replaced database could not be kept as " + std::string(kBackupDatabaseFileName));
    Log("Database rolled back to the previous database" + (check.result == DatabaseSignatureCheck::Result::Verified
                                                               ? " (signed with " + check.detail + ")"
                                                               : std::string(" (the installer's, unsigned)")));
    database_.LoadAndApplyDatabase();
    return true;
}

}  // namespace pellora
