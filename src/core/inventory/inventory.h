// The startup inventory: everything that starts with Windows, each with the program it runs and
// that program's verified signer, for a person (or a helper reading a pasted report) to spot
// what does not belong. It is read-only: it lists, it never changes anything.
//
// The entries come from the autostart enumerator (Run keys, Startup folders, tasks, services,
// Winlogon, debuggers, AppInit, Active Setup, shell hooks, boot programs, known DLLs, the hosts
// file's own lines), the proxy and auto-configuration settings, the DNS servers of each
// adapter, and the browsers' extensions and policies. Each program is checked once per run
// through the trust port; the verdicts are kept in a cache in the application folder keyed by
// the file's identity (volume and file id), size and last-write time, so an unchanged machine
// is listed again without checking a signature. A program that a standard user may write (or
// whose folder they may write) is always checked again: such a user can put back a file's
// write time, not its identity. A file over 512 MiB is never hashed; its entry says so.
//
// Flags name what a person should look at: `unsigned` (no valid, trusted signature: unsigned,
// untrusted, bad, or not checked), `user-writable`, `missing`, `database` (the reference
// database names the program or extension) and `ignored` (on the ignore list). Damaged data
// gives an entry with a note; nothing throws and nothing is skipped.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "core/ports/file_system.h"
#include "core/ports/registry.h"
#include "core/ports/system.h"
#include "core/ports/trust.h"
#include "core/ports/ui.h"
#include "core/state/app_state.h"

namespace pellora::inventory {

// Places this module adds to the enumerator's (see autostart::place).
namespace place {
inline constexpr const char* kProxy = "proxy";
inline constexpr const char* kAutoConfig = "autoconfig";
inline constexpr const char* kDns = "dns";
inline constexpr const char* kBrowserExtension = "browser-extension";
inline constexpr const char* kBrowserPolicy = "browser-policy";
inline constexpr const char* kBrowserProblem = "browser-problem";
}  // namespace place

namespace flag {
inline constexpr uint32_t kUnsigned = 1;
inline constexpr uint32_t kUserWritable = 2;
inline constexpr uint32_t kMissing = 4;
inline constexpr uint32_t kDatabase = 8;
inline constexpr uint32_t kIgnored = 16;
}  // namespace flag

// Largest file whose signature is checked.
inline constexpr uint64_t kMaxVerifiedLength = kMaxVerifiedFileLength;
// The cache of verdicts, in the application folder, and the most of it read.
inline constexpr const char* kCacheFileName = "Inventory.cache";
// Files named as executables up to this length are read to see whether they are programs at all.
inline constexpr uint64_t kMaxNotProgramProbe = 64 * 1024;
inline constexpr uint64_t kMaxCacheLength = 16 * 1024 * 1024;
// The ignore-list type word of an inventory entry.
inline constexpr const char* kIgnoreKind = "autostart";

struct InventoryEntry {
    std::string place;     // autostart::place::k... or place::k...
    std::string location;  // key, file or folder
    std::string name;
    std::string command;  // as stored
    std::string program;  // the file that runs ("" when the place names none)
    bool exists = false;
    bool enabled = true;
    TrustStatus signature = TrustStatus::Unchecked;
    std::string signer;
    std::string company;
    std::string description;
    uint32_t flags = 0;
    std::string note;  // damaged data, or why the program was not checked
    // The program is there but is no program: smaller than any executable, or without the
    // executable header its name promises. Its signature is not checked (it has none to check).
    bool notProgram = false;
};

// Whether the file's name says it is a Windows executable (.exe, .dll, .sys, ...).
bool NamedAsExecutable(const std::string& path);
// Flags a person should look at (any but `ignored`), and the entry is not ignored.
bool IsFlagged(const InventoryEntry& entry);
// Signed, trusted, by the operating system's publisher.
bool IsOsSigned(const InventoryEntry& entry);
// Flagged entries first, otherwise in listing order.
void SortFlaggedFirst(std::vector<InventoryEntry>& entries);
// "unsigned", "user-writable", ... in flag order.
std::vector<std::string> FlagNames(uint32_t flags);
// "signed", "untrusted", "unsigned", "bad"; "" for Unchecked.
std::string SignatureName(TrustStatus status);

// The ignore-list object of an entry: place, location, name and program, with every backslash
// written as "/" (and "%", "/", "|" and line breaks as %XX first), so that no scan find, which
// always holds a backslash, is ever contained in it.
std::string IgnoreObjectOf(const InventoryEntry& entry);
// The ignore-list line of an entry ("autostart|<object>|<place>").
std::string IgnoreEntryOf(const InventoryEntry& entry);

class InventoryBuilder {
  public:
    InventoryBuilder(RegistryPort& registry, FileSystemPort& files, SystemPort& system, TrustPort& trust, UiPort& ui);

    // Called after each entry is checked, with the entries done and the total.
    std::function<void(size_t done, size_t total)> onProgress;

    // Every entry, in listing order, checked and flagged against the loaded database, the
    // special folders and the ignore list of `state`. The cache is read from and written to
    // state.appFolder.
    std::vector<InventoryEntry> Build(const AppState& state);

    // What the last Build did: signatures checked through the port, verdicts taken from the cache.
    size_t verifiedCount = 0;
    size_t cachedCount = 0;

  private:
    struct Verdict {
        TrustStatus status = TrustStatus::Unchecked;
        std::string signer;
        std::string company;
        std::string description;
        std::string note;
        bool userWritable = false;
        bool notProgram = false;
    };
    std::vector<InventoryEntry> Collect();
    Verdict Check(const std::string& program);
    bool UserWritable(const std::string& program);
    void LoadCache(const std::string& path);
    void SaveCache(const std::string& path);

    RegistryPort& registry_;
    FileSystemPort& files_;
    SystemPort& system_;
    TrustPort& trust_;
    UiPort& ui_;
    std::map<std::string, Verdict> cache_;    // by identity key, as read
    std::map<std::string, Verdict> used_;     // by identity key, kept for the next run
    std::map<std::string, Verdict> checked_;  // by folded program path, this run
};

// Proxy, auto-configuration and DNS settings, as entries (no program).
void ReadNetworkSettings(RegistryPort& registry, std::vector<InventoryEntry>& out);

// ---- report ---------------------------------------------------------------------------------

struct ReportHeader {
    std::string windows;
    std::string pellora;
    std::string database;
    std::string date;
    std::string machine;
    size_t hidden = 0;  // entries signed by the operating system's publisher left out
};

// The plain-text report: header lines, a blank line, one entry a line. Control characters of
// stored data are written as "?", so a crafted name never makes a line of its own.
std::string ReportText(const ReportHeader& header, const std::vector<InventoryEntry>& entries);
// The JSON document (schema 1), see the README.
std::string ReportJson(const ReportHeader& header, const std::vector<InventoryEntry>& entries);
// "2026-12-07 23:15:02".
std::string DateText(int year, int month, int day, int hour, int minute, int second);

}  // namespace pellora::inventory
