#include "core/database/database.h"

#include "core/database/database_format.h"
#include "core/database/database_rules.h"
#include "core/database/database_signature.h"
#include "core/database/item_parser.h"
#include "core/database/unlock.h"
#include "core/settings/log_file.h"
#include "core/settings/settings_files.h"

namespace pellora {

bool Database::LoadListView(const std::string& folderPath,
                            const std::string& fileName,
                            std::vector<std::string>& list) {
    list.clear();
    std::optional<std::string> bytes = files_.ReadFile(AppFilePath(state_.appFolder, folderPath, fileName));
    if (!bytes)
        return false;
    // A lone CR is a character of the scrambled text, not a line end.
    list = SplitTextLines(*bytes, false);
    return true;
}

void Database::LoadAndUnlock() {
    Unlock();
    state_.databaseProblemText = ProblemText();
    ui_.Changed(View::StatusFigures);
}

void Database::Refuse(uint32_t eventId, const std::string& why) {
    refusal_ = why;
    ReportEvent(events, eventId, EventLevel::Error, {refusal_});
    state_.lstDBaseFile.clear();
    state_.contentRules = ContentRules{};
    state_.status.dbaseVersion = "Not loaded: " + refusal_;
    ui_.Changed(View::StatusFigures);
}

void Database::Unlock() {
    const uint64_t generation = ++loadGeneration_;
    std::vector<std::string> table;
    refusal_.clear();
    state_.databaseNoteText.clear();
    // After an upgrade the newer of the installed and the release's database is the one loaded.
    (void)KeepNewerAfterUpgrade(files_, signatures, state_.appFolder);
    std::optional<std::string> bytes = files_.ReadFile(AppFilePath(state_.appFolder, "\\", kDatabaseFileName));
    lastReadFailed_ = !bytes;
    if (bytes) {
        DatabaseSignatureCheck check =
            CheckDatabaseSignature(files_, signatures, state_.appFolder, *bytes, kDatabaseFileName,
                                   kDatabaseSignatureFileName, kPendingSignatureFileName);
        if (!check.Accepted())
            return Refuse(event_id::kDatabaseSignatureFailed, check.detail);
        // A lone CR is a character of the scrambled text, not a line end.
        table = SplitTextLines(*bytes, false);
    }
    for (size_t n = 0; n < table.size(); ++n) {
        table[n] = UnlockText(table[n], kDatabaseKey);
        ui_.Yield();
        if (generation != loadGeneration_)
            return;
    }
    // The trailer's digest is over the file's own codes, before they are turned into UTF-8.
    if (bytes) {
        const DatabaseIntegrity integrity = CheckDatabaseIntegrity(table);
        if (integrity.result == DatabaseIntegrity::Result::Damaged)
            return Refuse(event_id::kDatabaseDamaged, std::string(kDatabaseFileName) + ": " + integrity.detail);
        if (integrity.result == DatabaseIntegrity::Result::Unchecked)
            state_.databaseNoteText = std::string("The reference database ") + kDatabaseFileName +
                                      " could not be checked: " + integrity.detail + ".";
    }
    for (std::string& line : table)
        line = system_.AnsiToUtf8(line);
    state_.contentRules = CompileDatabaseRules(table);
    state_.lstDBaseFile = std::move(table);
    LogRefusedRules();
}

void Database::LogRefusedRules() {
    const ContentRules& rules = state_.contentRules;
    if (rules.refused.empty())
        return;
    std::vector<std::string> lines = {"Content rules of " + std::string(kDatabaseFileName) + ": " +
                                      std::to_string(rules.items) + " items, " + std::to_string(rules.refused.size()) +
                                      " refused"};
    for (const rules::Refusal& refusal : rules.refused)
        lines.push_back(kRefusedRuleLog + RefusalText(refusal));
    state_.lstLog.insert(state_.lstLog.end(), lines.begin(), lines.end());
    if (LoggingEnabled(state_))
        AppendLogEntry(files_, system_, ui_, state_.appFolder, lines);
}

void Database::LoadAndApplyDatabase() {
    LoadAndUnlock();
    if (applySettings)
        applySettings();
}

std::string Database::Problem() const {
    if (lastReadFailed_)
        return "it could not be read";
    if (!refusal_.empty())
        return "it was not loaded: " + refusal_;
    if (state_.lstDBaseFile.empty())
        return "it is empty";
    for (size_t n = 0; n < state_.lstDBaseFile.size(); ++n) {
        const std::string& line = state_.lstDBaseFile[n];
        if (ClassifyLine(n + 1, line) == LineKind::Signature && KindOfLine(line) != ItemKind::Unknown)
            return "";
    }
    return "it holds no signature item (damaged, or not a reference database)";
}

std::string Database::ProblemText() const {
    std::string problem = Problem();
    if (problem.empty())
        return "";
    return std::string("The reference database ") + kDatabaseFileName + " cannot be used: " + problem +
           ". No scan can find anything without it: update the database (Update on the status panel).";
}

bool Database::DatabaseFileExists() {
    std::optional<uint32_t> attributes = files_.GetAttributes(AppFilePath(state_.appFolder, "\\", kDatabaseFileName));
    return attributes && !(*attributes & file_attr::kDirectory);
}

}  // namespace pellora
