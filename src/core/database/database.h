// The reference database: DataBase.ref in the application folder, one scrambled line per entry,
// read into lstDBaseFile and unlocked entry by entry with the fixed key. Lines end in CR LF or
// a lone LF. Unlocking works on the file's single-byte codes; each unlocked line is then turned
// from the ANSI code page into UTF-8, the text form of the whole core.
//
// Before it is unlocked, the file is checked against the signature kept beside it
// (core/database/database_signature.h); once unlocked, against its trailer line
// (core/database/database_format.h). A database that fails either is not loaded, and the status
// panel's database line and Problem() say why; one of the older format without a trailer is
// loaded, and state.databaseNoteText says that it could not be checked. The rule items are then
// compiled into state.contentRules (core/database/database_rules.h).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "core/ports/event_log.h"
#include "core/ports/file_system.h"
#include "core/ports/signature.h"
#include "core/ports/system.h"
#include "core/ports/ui.h"
#include "core/state/app_state.h"

namespace pellora {

inline constexpr const char* kDatabaseFileName = "DataBase.ref";
// The log's line for each content rule a load refused, followed by "<set>/<file>:<line>: ...".
inline constexpr const char* kRefusedRuleLog = "Content rule refused=";

class Database {
  public:
    Database(AppState& state, FileSystemPort& files, SystemPort& system, UiPort& ui)
        : state_(state), files_(files), system_(system), ui_(ui) {}

    // Called by LoadAndApplyDatabase once the table is loaded (ApplySettings, wired by the composer).
    std::function<void()> applySettings;
    // Checks the database's signature file with the trusted keys (set by the composer).
    SignaturePort* signatures = nullptr;
    // Where a database refused by its signature is reported (set by the composer).
    EventLogPort* events = nullptr;

    // Replaces `list` with the raw lines of application folder + folder path + file name; an
    // unreadable file gives an empty list and false.
    bool LoadListView(const std::string& folderPath, const std::string& fileName, std::vector<std::string>& list);
    // Reads DataBase.ref, checks it against its signature file and unlocks every entry into
    // lstDBaseFile, yielding after each entry. The table changes only once the whole file is
    // unlocked; a load started inside one of the yields (a database update) supersedes this one,
    // which then leaves the table alone. A file that fails its signature leaves the table empty.
    // Either way, state.databaseProblemText says afterwards whether the table can be scanned with.
    void LoadAndUnlock();
    // LoadAndUnlock, then the applySettings hook.
    void LoadAndApplyDatabase();
    // True when a file DataBase.ref is in the application folder.
    bool DatabaseFileExists();
    // Why the table of the last load cannot be scanned with ("" when it can): the file could not
    // be read, did not match its signature file, held nothing, or unlocked into no signature
    // item at all (damaged or not a database). An unattended run reports this instead of a scan that finds nothing.
    std::string Problem() const;
    // The status panel's and the scan's text for Problem() ("" when the database can be used).
    std::string ProblemText() const;

  private:
    void Unlock();
    // Puts every rule the load refused in the log (and the log file when logging is on).
    void LogRefusedRules();
    // Leaves the table empty and reports why the file was not loaded.
    void Refuse(uint32_t eventId, const std::string& why);

    AppState& state_;
    FileSystemPort& files_;
    SystemPort& system_;
    UiPort& ui_;
    uint64_t loadGeneration_ = 0;
    bool lastReadFailed_ = false;
    std::string refusal_;  // why the last load refused the file, "" when it did not
};

}  // namespace pellora
