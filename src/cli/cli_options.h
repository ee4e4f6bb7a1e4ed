// The command line of pellora-cli: its commands, their options and their help texts, parsed
// with CLI11. Parsing never ends the program itself: it hands back either the options of one
// command, or the text to print and the exit code (0 after --help, 2 for anything it cannot
// take, with a one-line message).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pellora::cli {

inline constexpr int kExitClean = 0;
inline constexpr int kExitFound = 1;
inline constexpr int kExitError = 2;

enum class Command {
    Scan,
    Remove,
    QuarantineList,
    QuarantineShow,
    QuarantineRestore,
    QuarantineDelete,
    IgnoreList,
    Settings,
    SettingsSet,
    FoldersList,
    FoldersAdd,
    FoldersRemove,
    Update,
    UpdateRollback,
    // The installer's step: gives the folder the application folder's access list (not listed
    // in the help; it runs before anything of the application folder is read).
    SecureFolder,
    Inventory,
    RulesMatch,
    RulesList,
};

struct Options {
    Command command = Command::Scan;
    // Settings.stg line 9 for this run only ("0" smart, "1" custom, "2" folders); none keeps it.
    std::optional<std::string> scanModeLine;
    std::string jsonPath;  // "" writes no report file
    bool quarantine = false;
    bool resetHomePage = false;
    std::vector<std::string> packages;  // quarantine show/restore/delete
    std::string updateUrl;              // update --url, for this run only ("" uses Settings\Update.stg)
    std::string updateFile;             // update --file: a database on a disk or a share instead
    // scan/remove --folder: the folders of a folders scan for this run only (not saved).
    std::vector<std::string> folders;
    std::string settingName;    // settings set
    std::string settingValue;   // settings set
    std::string folderPath;     // folders add/remove
    bool inventoryAll = false;  // inventory --all: entries signed by the system's publisher too
    std::string reportPath;     // inventory --report ("" writes none)
    std::string rulesPath;                // rules match: a rule file or a folder of them
    std::vector<std::string> matchPaths;  // rules match: the files and folders to match
};

struct ParseResult {
    std::optional<Options> options;  // set when a command is to run
    int exitCode = kExitClean;       // otherwise: what the program ends with
    std::string out;                 // help text for standard output
    std::string err;                 // one-line message for standard error
};

// `args` are the program's arguments as UTF-8, without the program name.
ParseResult ParseCommandLine(const std::vector<std::string>& args);

// The --mode word of a Settings.stg line 9 value: "smart", "custom", "folders", or "" for any
// other value.
std::string ModeWord(const std::string& scanModeLine);

}  // namespace pellora::cli
