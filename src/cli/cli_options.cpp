#include "cli/cli_options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <sstream>

namespace pellora::cli {

namespace {

constexpr const char* kProgram = "pellora-cli";
// The commands a user may type, as the refusals name them.
constexpr const char* kCommandList = "scan, remove, quarantine, ignore, settings, folders, update, inventory";

const std::vector<std::pair<std::string, std::string>> kModes = {{"smart", "0"}, {"custom", "1"}, {"folders", "2"}};

constexpr const char* kModeHelp = "smart, custom or folders, for this run only (not saved)";
constexpr const char* kJsonHelp = "Also write the report as one UTF-8 JSON object to FILE";

constexpr const char* kScanFooter =
    "Without --mode the scan runs in the mode of the settings; custom uses the custom scan's options\n"
    "and folders the selected folders, as in the window.\n"
    "Prints the scan panel's counters, then one line per result and per irremovable object in the\n"
    "log's format (\"     type:object   |category\", irremovable ones followed by \"   |URL\").\n"
    "The JSON report holds schema (the report layout's version), machine (the computer's name), stamp,\n"
    "mode, counters, results, irremovable and log.\n"
    "With --quarantine every result is stored in the quarantine package named by this scan's stamp.\n"
    "--folder PATH (repeatable) scans those folders in the folders mode; the saved list stays as it is.\n"
    "The folders mode with no folder chosen (none selected, no --folder) is refused with exit code 2.\n"
    "Exit codes: 0 nothing found, 1 something found, 2 error (no reference database, a result that\n"
    "could not be quarantined, a report that could not be written).";

constexpr const char* kRemoveFooter =
    "Scans as \"scan\" does, then removes every result without asking and prints the removal's\n"
    "log lines; the log file and the statistics are written as by the window. The home-page\n"
    "question is answered by --reset-homepage (otherwise No). The JSON report is the scan's, its\n"
    "log the whole log of the run, plus \"remaining\": every object still on the system after the run,\n"
    "irremovable ones included, each once; \"irremovable\" lists only those still there.\n"
    "Exit codes: 0 every result removed (or nothing found), 1 something found that is still there\n"
    "(including irremovable objects, which are never removed), 2 error.";

constexpr const char* kQuarantineFooter =
    "list: one line per package: name, size and number of items, separated by tabs.\n"
    "show: one line per item of the package: type, stored item and original path, separated by tabs.\n"
    "restore/delete: one line per package telling what became of it.\n"
    "Exit codes: 0 done, 1 a package could not be restored or deleted completely, 2 error (such as\n"
    "an unknown package name, in which case nothing is done).";

constexpr const char* kFolderHelp =
    "Scan this folder (repeatable) instead of the selected folders, for this run only; implies --mode folders";

constexpr const char* kSettingsFooter =
    "Without a subcommand: every setting on one line each as name=value. Flags are 1 or 0 (set also\n"
    "takes on/off, yes/no, true/false); scan-mode is smart, custom or folders; scan-interval is a\n"
    "whole number of minutes from 0 to 90000 and backups-to-keep one from 0 to 99, as in the window's\n"
    "dialogs. start-with-windows writes or removes the value that starts Pellora.exe at logon.\n"
    "set: checks and stores one value in the settings files.\n"
    "Exit codes: 0 done, 2 error (an unknown name or a value the setting does not take, which\n"
    "changes nothing).";

constexpr const char* kFoldersFooter =
    "The folders the \"folders\" scan mode lists (\"Select Drives/Folders to Scan\" in the window).\n"
    "list: one folder per line. add: the folder must exist; a folder already listed is kept once.\n"
    "remove: the folder as listed (letter case does not matter).\n"
    "Exit codes: 0 done, 2 error (no such folder, a folder not in the list).";

constexpr const char* kIgnoreFooter =
    "list: one line per entry of the ignore list in the log's format. Exit code 0, or 2 on an error.";

constexpr const char* kUpdateFooter =
    "Downloads the reference database from the update address (Settings\\Update.stg, as set on the update\n"
    "panel, or --url for this run only) and its signature from the same address plus \".sig\", and installs\n"
    "it only when it is whole, a database, and signed by a key in the Keys folder; the previous database\n"
    "is kept as DataBase.bak. Progress and the reason of a refusal go to standard error.\n"
    "--file PATH takes the database from a file on a disk or a share instead, its signature from PATH.sig,\n"
    "with the same checks.\n"
    "--rollback puts DataBase.bak back (the database it replaces becomes DataBase.bak).\n"
    "Exit codes: 0 a new database was installed (or rolled back), 1 the download was refused, 2 any other\n"
    "error (no address, server unreachable, cancelled, no previous database).";

constexpr const char* kInventoryFooter =
    "Lists everything that starts with Windows (Run keys, Startup folders, tasks, services, Winlogon,\n"
    "debuggers, AppInit, Active Setup, shell hooks, boot programs, known DLLs, hosts lines, proxy and DNS\n"
    "settings, browser extensions and policies), each with its program's verified signer, one entry a line.\n"
    "Entries whose program the system's publisher signed are left out unless --all is given.\n"
    "--json FILE writes the entries as JSON (see the README), --report FILE the plain-text report.\n"
    "Exit codes: 0 no entry flagged, 1 some entry flagged (unsigned, user-writable, missing, database),\n"
    "2 error.";

constexpr const char* kMainFooter =
    "Every command works on the application folder of this program, with the same settings,\n"
    "reference database, quarantine and log as Pellora.exe, which must not be running meanwhile.\n"
    "Questions the window would ask take the answer the options give, otherwise No; the messages\n"
    "go to standard error. \"pellora-cli COMMAND --help\" describes each command.";

std::string OneLine(std::string text) {
    std::replace(text.begin(), text.end(), '\n', ' ');
    std::replace(text.begin(), text.end(), '\r', ' ');
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

bool IsCommandWord(const std::string& word) {
    return word == "scan" || word == "remove" || word == "quarantine" || word == "ignore" || word == "settings" ||
           word == "folders" || word == "update" || word == "secure-folder" || word == "inventory";
}

}  // namespace

std::string ModeWord(const std::string& scanModeLine) {
    for (const auto& [word, line] : kModes) {
        if (line == scanModeLine)
            return word;
    }
    return "";
}

ParseResult ParseCommandLine(const std::vector<std::string>& args) {
    ParseResult result;
    if (args.empty()) {
        result.exitCode = kExitError;
        result.err = std::string(kProgram) + ": a command is needed (commands: " + kCommandList + "; see " + kProgram +
                     " --help)";
        return result;
    }
    if (!args.empty() && !args[0].empty() && args[0][0] != '-' && !IsCommandWord(args[0])) {
        result.exitCode = kExitError;
        result.err = std::string(kProgram) + ": unknown command \"" + OneLine(args[0]) +
                     "\" (commands: " + kCommandList + "; see " + kProgram + " --help)";
        return result;
    }

    CLI::App app{"Pellora on the command line: scan, remove, quarantine and restore without the window.", kProgram};
    app.require_subcommand(1);
    app.footer(kMainFooter);
    app.get_formatter()->column_width(28);

    Options options;
    std::string mode;
    std::string packageName;

    auto addScanOptions = [&](CLI::App* command) {
        std::vector<std::string> words;
        for (const auto& entry : kModes)
            words.push_back(entry.first);
        command->add_option("--mode", mode, kModeHelp)->check(CLI::IsMember(words).description(""))->type_name("MODE");
        command->add_option("--json", options.jsonPath, kJsonHelp)->type_name("FILE");
        command->add_option("--folder", options.folders, kFolderHelp)
            ->type_name("PATH")
            ->allow_extra_args(false)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    };

    CLI::App* scan = app.add_subcommand("scan", "Scan the system with the current settings");
    addScanOptions(scan);
    scan->add_flag("--quarantine", options.quarantine, "Quarantine every result after the scan");
    scan->footer(kScanFooter);

    CLI::App* remove = app.add_subcommand("remove", "Scan, then remove everything found");
    addScanOptions(remove);
    remove->add_flag("--quarantine", options.quarantine,
                     "Quarantine every result (files, folders, cookies, registry keys and values) before it is "
                     "removed; one that cannot be stored is not removed");
    remove->add_flag("--reset-homepage", options.resetHomePage,
                     "Answer Yes to resetting the browser home page after the removal");
    remove->footer(kRemoveFooter);

    CLI::App* quarantine = app.add_subcommand("quarantine", "List, show, restore or delete quarantine packages");
    quarantine->require_subcommand(1);
    quarantine->footer(kQuarantineFooter);
    CLI::App* list = quarantine->add_subcommand("list", "List the packages with their size and number of items");
    CLI::App* show = quarantine->add_subcommand("show", "List the items of one package");
    show->add_option("NAME", packageName, "Package name (the scan stamp)")->required();
    CLI::App* restore = quarantine->add_subcommand("restore", "Put everything in the packages back and empty them");
    restore->add_option("NAME", options.packages, "Package names")->required();
    CLI::App* del = quarantine->add_subcommand("delete", "Delete the packages for good");
    del->add_option("NAME", options.packages, "Package names")->required();

    CLI::App* ignore = app.add_subcommand("ignore", "Show the ignore list");
    ignore->require_subcommand(1);
    ignore->footer(kIgnoreFooter);
    CLI::App* ignoreList = ignore->add_subcommand("list", "List the entries of the ignore list");

    CLI::App* settings = app.add_subcommand("settings", "Show the settings, or change one");
    settings->require_subcommand(0, 1);
    settings->footer(kSettingsFooter);
    CLI::App* settingsSet = settings->add_subcommand("set", "Change one setting");
    settingsSet->add_option("NAME", options.settingName, "Setting name, as \"settings\" lists it")->required();
    settingsSet->add_option("VALUE", options.settingValue, "New value")->required();

    CLI::App* folders = app.add_subcommand("folders", "List, add or remove the folders of the folders scan");
    folders->require_subcommand(1);
    folders->footer(kFoldersFooter);
    CLI::App* foldersList = folders->add_subcommand("list", "List the selected folders");
    CLI::App* foldersAdd = folders->add_subcommand("add", "Add a folder");
    foldersAdd->add_option("PATH", options.folderPath, "Folder")->required();
    CLI::App* foldersRemove = folders->add_subcommand("remove", "Remove a folder");
    foldersRemove->add_option("PATH", options.folderPath, "Folder")->required();

    bool rollback = false;
    CLI::App* update = app.add_subcommand("update", "Download, check and install the newest reference database");
    CLI::Option* urlOption =
        update->add_option("--url", options.updateUrl, "Address of the database, for this run only")->type_name("URL");
    CLI::Option* fileOption =
        update->add_option("--file", options.updateFile, "Database file on a disk or a share (signature: PATH.sig)")
            ->type_name("PATH")
            ->excludes(urlOption);
    update->add_flag("--rollback", rollback, "Put the previous database (DataBase.bak) back")
        ->excludes(urlOption)
        ->excludes(fileOption);
    update->footer(kUpdateFooter);

    CLI::App* inventory = app.add_subcommand("inventory", "List everything that starts with Windows, with signers");
    inventory->footer(kInventoryFooter);
    inventory->add_flag("--all", options.inventoryAll, "Also list entries signed by the system's publisher");
    inventory->add_option("--json", options.jsonPath, "Write the entries as JSON to FILE")->type_name("FILE");
    inventory->add_option("--report", options.reportPath, "Write the plain-text report to FILE")->type_name("FILE");
    CLI::App* secure = app.add_subcommand("secure-folder", "Give an application folder its access list");
    secure->group("");
    secure->add_option("PATH", options.folderPath, "Folder")->required();

    // CLI11 takes the arguments last first.
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::ParseError& error) {
        std::ostringstream out, err;
        int code = app.exit(error, out, err);
        if (code == 0) {
            result.out = out.str();
            if (!result.out.empty() && result.out.back() != '\n')
                result.out += '\n';
            return result;
        }
        // CLI11's own codes start at 100; every refusal of the command line is 2 here.
        result.exitCode = kExitError;
        result.err = std::string(kProgram) + ": " + OneLine(error.what());
        return result;
    }

    if (!options.folders.empty()) {
        if (!mode.empty() && mode != "folders") {
            result.exitCode = kExitError;
            result.err = std::string(kProgram) + ": --folder scans folders; it cannot go with --mode " + mode;
            return result;
        }
        mode = "folders";
    }
    if (!mode.empty()) {
        for (const auto& [word, line] : kModes) {
            if (word == mode)
                options.scanModeLine = line;
        }
    }
    if ((scan->parsed() || remove->parsed()) && (scan->count("--json") || remove->count("--json")) &&
        options.jsonPath.empty()) {
        result.exitCode = kExitError;
        result.err = std::string(kProgram) + ": --json needs a file name";
        return result;
    }

    if (scan->parsed()) {
        options.command = Command::Scan;
    } else if (remove->parsed()) {
        options.command = Command::Remove;
    } else if (list->parsed()) {
        options.command = Command::QuarantineList;
    } else if (show->parsed()) {
        options.command = Command::QuarantineShow;
        options.packages = {packageName};
    } else if (restore->parsed()) {
        options.command = Command::QuarantineRestore;
    } else if (del->parsed()) {
        options.command = Command::QuarantineDelete;
    } else if (ignoreList->parsed()) {
        options.command = Command::IgnoreList;
    } else if (settingsSet->parsed()) {
        options.command = Command::SettingsSet;
    } else if (settings->parsed()) {
        options.command = Command::Settings;
    } else if (foldersList->parsed()) {
        options.command = Command::FoldersList;
    } else if (foldersAdd->parsed()) {
        options.command = Command::FoldersAdd;
    } else if (foldersRemove->parsed()) {
        options.command = Command::FoldersRemove;
    } else if (update->parsed()) {
        if (update->count("--url") && options.updateUrl.empty()) {
            result.exitCode = kExitError;
            result.err = std::string(kProgram) + ": --url needs an address";
            return result;
        }
        if (update->count("--file") && options.updateFile.empty()) {
            result.exitCode = kExitError;
            result.err = std::string(kProgram) + ": --file needs a path";
            return result;
        }
        options.command = rollback ? Command::UpdateRollback : Command::Update;
    } else if (inventory->parsed()) {
        if ((inventory->count("--json") && options.jsonPath.empty()) ||
            (inventory->count("--report") && options.reportPath.empty())) {
            result.exitCode = kExitError;
            result.err = std::string(kProgram) + ": --json and --report need a file name";
            return result;
        }
        options.command = Command::Inventory;
    } else if (secure->parsed()) {
        options.command = Command::SecureFolder;
    }
    result.options = std::move(options);
    return result;
}

}  // namespace pellora::cli
