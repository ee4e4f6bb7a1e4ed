// In-memory fakes of every port, for the native unit tests. They follow the Windows behaviour
// the core relies on: case-insensitive paths and key names, wildcard finds, keys that are never
// created by a value write, a key with subkeys that DeleteKey refuses (as current Windows does).
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/ports/ports.h"

namespace pellora::fakes {

// ---- registry ------------------------------------------------------------------------------
class FakeRegistry : public RegistryPort {
  public:
    struct Key {
        std::string name;
        std::map<std::string, std::unique_ptr<Key>> subkeys;             // by lower-case name, sorted
        std::map<std::string, std::pair<std::string, RegValue>> values;  // lower-case name -> (name, value)
        bool denyWrite = false;
        bool denyAll = false;  // opens with no access at all: its values cannot be read or deleted
    };

    bool KeyOpens(RootKey root, const std::string& subkey, RegAccess access) override;
    std::optional<RegValue> QueryValue(RootKey root, const std::string& subkey, const std::string& name) override;
    bool SetValue(RootKey root, const std::string& subkey, const std::string& name, const RegValue& value) override;
    bool DeleteValue(RootKey root, const std::string& subkey, const std::string& name) override;
    bool DeleteKey(RootKey root, const std::string& subkey) override;
    std::optional<std::vector<std::string>> EnumSubKeys(RootKey root,
                                                        const std::string& subkey,
                                                        RegAccess access) override;
    bool CreateKey(RootKey root, const std::string& subkey) override;
    Presence ProbeKey(RootKey root, const std::string& subkey) override;
    Presence ProbeValue(RootKey root, const std::string& subkey, const std::string& name) override;
    std::optional<std::string> LinkTarget(RootKey root, const std::string& subkey) override;
    std::string CurrentUserSid() override { return sid; }
    std::optional<std::vector<std::string>> EnumValueNames(RootKey root, const std::string& subkey) override;

    // A registry link at `keyPath` to `target` ("\REGISTRY\MACHINE\..."); only LinkTarget
    // knows it.
    void AddLink(const std::string& keyPath, const std::string& target);
    std::string sid = "S-1-5-21-1000-2000-3000-1001";

    // Test helpers: full key paths ("HKEY_CURRENT_USER\Software\X").
    void AddKey(const std::string& keyPath);
    void AddString(const std::string& keyPath, const std::string& name, const std::string& text);
    void AddDword(const std::string& keyPath, const std::string& name, uint32_t number);
    void AddValue(const std::string& keyPath, const std::string& name, const RegValue& value);
    void DenyWrite(const std::string& keyPath);
    void DenyAll(const std::string& keyPath);  // access denied for every operation on the key
    bool HasKey(const std::string& keyPath);
    std::optional<RegValue> Value(const std::string& keyPath, const std::string& name);

    int queryCount = 0;

  private:
    Key* Find(RootKey root, const std::string& subkey);
    Key* FindPath(const std::string& keyPath);
    Key& RootOf(RootKey root);
    std::map<RootKey, Key> roots_;
    std::map<std::string, std::string> links_;  // lower-case full key path -> target
};

// ---- file system ---------------------------------------------------------------------------
class FakeFileSystem : public FileSystemPort {
  public:
    bool FindEntries(const std::string& pattern, std::vector<FindEntry>& out) override;
    std::optional<uint32_t> GetAttributes(const std::string& path) override;
    bool SetAttributes(const std::string& path, uint32_t attributes) override;
    bool DeleteFile(const std::string& path) override;
    bool RemoveDirectory(const std::string& path) override;
    bool CreateDirectory(const std::string& path) override;
    std::optional<std::string> ReadFile(const std::string& path) override;
    bool WriteFileAtomic(const std::string& path, const std::string& bytes) override;
    bool AppendFile(const std::string& path, const std::string& bytes) override;
    bool MoveFile(const std::string& from, const std::string& to) override;
    Presence Probe(const std::string& path) override;
    // Resolves as Windows does: "/", "\\?\" and "\\.\" prefixes, "." and "..", trailing dots
    // and blanks, aliases, and links on the way; a junction at the end is the link itself, a
    // Wine-style link (not marked) is followed to the end.
    std::optional<FileIdentity> Identify(const std::string& path) override;
    bool IsSystemProtectedFile(const std::string& path) override;
    // An object's list is what a test gave it (accessEntries), else that of a folder installed
    // as it should be (Administrators and SYSTEM full control, Users read and execute).
    std::optional<std::vector<AccessEntry>> ReadAccessList(const std::string& path) override;
    // An object's owner is what a test gave it (owners), else Administrators.
    std::optional<std::string> ReadOwner(const std::string& path) override;
    // Recorded in accessListsSet; the object's list then reads as the installer's.
    bool SetAccessList(const std::string& path, const std::string& sddl) override;

    // Another name for the same object (a short name, a SUBST drive, a network share).
    void AddAlias(const std::string& alias, const std::string& target);
    // A folder link to `target`: a junction is listed with the reparse attribute; a Wine-style
    // (Unix) link is listed as a plain folder.
    void AddFolderLinkTo(const std::string& path, const std::string& target, bool junction);
    std::vector<std::string> systemProtected;  // what the system's file protection guards
    // Drives the system reports as remote ("Z"), and the target a marked link names.
    std::string remoteDrives;
    bool IsRemoteDrive(char letter) override;
    std::optional<std::string> ReadLinkTarget(const std::string& path) override;
    // Every path asked about through GetAttributes, Identify, FindEntries, ReadFile, ReadFileUpTo
    // and ReadAccessList, in order (a test sees what was touched).
    std::vector<std::string> touched;

    // Test helpers. AddFile and AddFolder create missing parent folders.
    void AddFile(const std::string& path, const std::string& bytes = "", uint32_t attributes = file_attr::kArchive);
    void AddFolder(const std::string& path, uint32_t attributes = file_attr::kDirectory);
    // A link to a folder: listed as a folder entry with the reparse attribute, pointing nowhere.
    void AddFolderLink(const std::string& path);
    bool Exists(const std::string& path) const;
    bool IsFolder(const std::string& path) const;
    std::string Content(const std::string& path) const;
    void Lock(const std::string& path);  // deletion and writes fail, as for a file in use
    void Unlock(const std::string& path);
    // Access denied below `folder`: nothing in it can be listed, looked at, read or deleted.
    void DenyAccess(const std::string& folder);
    void SetWriteTime(const std::string& path, uint64_t time);  // reported as FindEntry::lastWriteTime
    // Every path below `folder` (recursively), sorted.
    std::vector<std::string> Tree(const std::string& folder) const;
    bool CopyTree(const std::string& from, const std::string& to);

    bool failWrites = false;                                          // simulates a full disk
    std::map<std::string, std::vector<AccessEntry>> accessEntries;    // by path as written
    std::map<std::string, std::string> owners;                        // by path as written
    std::vector<std::string> unreadableAccess;                        // paths whose list cannot be read
    std::vector<std::pair<std::string, std::string>> accessListsSet;  // (path, sddl)
    bool failSetAccess = false;
    // When set, answers FinalPath (a link without the reparse attribute, as under Wine);
    // otherwise every path is its own final path.
    std::function<std::optional<std::string>(const std::string&)> finalPath;
    std::optional<std::string> FinalPath(const std::string& path) override {
        return finalPath ? finalPath(path) : FileSystemPort::FinalPath(path);
    }

  private:
    struct Node {
        std::string path;  // as written when created
        bool folder = false;
        uint32_t attributes = 0;
        std::string bytes;
        bool locked = false;
        uint64_t writeTime = 0;
        bool denied = false;
    };
    bool BelowDenied(const std::string& path) const;
    static std::string KeyOf(const std::string& path);
    static std::string ParentOf(const std::string& path);
    Node* Get(const std::string& path);
    const Node* Get(const std::string& path) const;
    bool HasChildren(const std::string& path) const;
    std::map<std::string, Node> nodes_;                          // by lower-case path without trailing backslash
    std::map<std::string, std::string> aliases_;                 // key -> target path
    std::map<std::string, std::pair<std::string, bool>> links_;  // key -> (target path, junction)

  public:
    // Recorded; Restart deletes them as the system does when it starts.
    bool DeleteAtRestart(const std::string& path) override {
        deletedAtRestart.push_back(path);
        return !refuseDeleteAtRestart;
    }
    void Restart() {
        for (const std::string& path : deletedAtRestart) {
            if (Node* node = Get(path))
                node->locked = false;
            FakeFileSystem::DeleteFile(path);
        }
        deletedAtRestart.clear();
    }
    std::vector<std::string> deletedAtRestart;
    bool refuseDeleteAtRestart = false;
};

bool WildcardMatch(const std::string& pattern, const std::string& name);
// The arguments of a command line as the C runtime splits them, for the quoting the core writes
// (an argument with a blank in double quotes, no quote inside).
std::vector<std::string> SplitCommandLine(const std::string& line);

// A registry editor that keeps only key names: an export ("regedit /e FILE KEY") writes
// "[KEY]" when the key is there, an import ("regedit /c FILE") creates the key named in it.
bool KeyNameRegedit(FakeFileSystem& files, FakeRegistry& registry, const std::string& line);

// ---- processes -----------------------------------------------------------------------------
class FakeProcesses : public ProcessPort {
  public:
    struct Process {
        std::string exeName;
        uint32_t pid = 0;
        int topLevelWindows = 0;
        bool closesOnWmClose = true;
        std::string imagePath;  // "" and 0: the fake does not tell who the process is
        uint64_t creationTime = 0;
    };
    std::vector<ProcessEntry> Snapshot() override;
    bool PostToProcessWindows(uint32_t pid, uint32_t message, uintptr_t wParam) override;
    bool IsRunning(uint32_t pid) override;
    bool Terminate(uint32_t pid, uint32_t exitCode) override;
    uint32_t CurrentProcessId() override { return selfPid; }
    WindowsVersion Version() override { return version; }
    BoundedRun RunAndWaitBounded(const std::string& commandLine, int showWindow, uint32_t timeoutMs) override;
    std::optional<ProcessEntry> Describe(uint32_t pid) override;

    void Add(const std::string& exeName, uint32_t pid, int windows = 1, bool closesOnWmClose = true);

    std::vector<Process> processes;
    std::vector<std::pair<uint32_t, uint32_t>> posted;  // (pid, message)
    std::vector<uint32_t> terminated;
    std::vector<std::string> commands;
    // Runs for every command line; returns whether the program started. Default: started.
    std::function<bool(const std::string&)> onRun;
    // A started command line holding one of these never ends by itself: the wait runs out.
    std::vector<std::string> neverEnding;
    std::vector<uint32_t> waitBounds;  // of every command
    uint32_t selfPid = 4242;
    WindowsVersion version{10, 0, 2};
};

// ---- shell ---------------------------------------------------------------------------------
class FakeShell : public ShellPort {
  public:
    explicit FakeShell(FakeFileSystem& files) : files_(files) {}
    int FileOperation(ShellOp op, const std::string& from, const std::string& to, uint32_t flags) override;
    bool OpenDocument(const std::string& path, const std::string& workingFolder) override;

    std::vector<std::string> opened;
    std::vector<std::string> openedIn;  // working folder of each opened document
    int failResult = 0;                 // non-zero: every operation fails with it
    std::vector<uint32_t> flags;        // of every file operation

  private:
    FakeFileSystem& files_;
};

// ---- clock, system, ui ---------------------------------------------------------------------
class FakeClock : public ClockPort {
  public:
    LocalTime Now() override { return now; }
    std::string ShortDate(const LocalTime& t) override;  // dd/mm/yyyy
    uint64_t MonotonicMs() override { return ms += 1; }
    std::string ThousandsSeparator() override { return separator; }
    LocalTime now{2026, 12, 6, 9, 5, 7};
    std::string separator = ",";
    uint64_t ms = 0;
};

class FakeSystem : public SystemPort {
  public:
    std::string SystemDirectory() override { return systemDir; }
    std::string WindowsDirectory() override { return windowsDir; }
    std::string TempPath() override { return tempPath; }
    std::string AnsiToUtf8(std::string_view ansi) override;  // Latin-1
    std::string Utf8ToAnsi(std::string_view utf8) override;  // Latin-1, "?" for the rest
    std::string ApplicationFolder() override { return appFolder; }
    std::string ExecutablePath() override { return appFolder + "\\Pellora.exe"; }
    std::string ProgramVersion() override { return version; }
    HostAddressResult HostAddress() override { return host; }
    std::string DecimalSeparator() override { return decimalSeparator; }
    // Replaces each %NAME% found in `environment` (names in any letter case).
    std::string ExpandEnvironment(const std::string& text) override;

    std::map<std::string, std::string> environment;  // by upper-case name
    std::string systemDir = "C:\\WINDOWS\\system32";
    std::string windowsDir = "C:\\WINDOWS";
    std::string tempPath = "C:\\TEMP\\";
    std::string appFolder = "C:\\Pellora";
    std::string version = "1.0.0";
    std::string decimalSeparator = ".";
    HostAddressResult host{HostAddressResult::Failure::None, 1, 1, 0, {10, 0, 0, 5}, false};
    std::vector<std::string> KnownFolders() override { return knownFolders; }
    std::vector<std::string> knownFolders;
};

class FakeUi : public UiPort {
  public:
    void Yield() override {
        ++yields;
        if (onYield)
            onYield();
    }
    MsgAnswer Message(const std::string& text, const std::string& title, MsgButtons buttons, MsgIcon icon) override;
    void Changed(View view) override { changes.push_back(view); }

    struct Shown {
        std::string text;
        std::string title;
        MsgButtons buttons;
        MsgIcon icon;
    };
    std::vector<Shown> messages;
    std::deque<MsgAnswer> answers;  // taken in order; when empty: Ok, or No for Yes/No
    std::vector<View> changes;
    std::function<void()> onYield;
    uint64_t yields = 0;
    // Runs while a message is shown, before it is answered (the moment a person would take).
    std::function<void(const Shown&)> onMessage;
    // An automatic scan or the console program: nobody is there to answer.
    bool unattended = false;
    bool Unattended() override { return unattended; }
};

// Records every event, in order.
class FakeEventLog : public EventLogPort {
  public:
    struct Event {
        uint32_t id;
        EventLevel level;
        std::vector<std::string> inserts;
    };
    void Report(uint32_t id, EventLevel level, const std::vector<std::string>& inserts) override {
        events.push_back({id, level, inserts});
    }
    // The events of one id.
    std::vector<Event> Of(uint32_t id) const {
        std::vector<Event> found;
        for (const Event& event : events) {
            if (event.id == id)
                found.push_back(event);
        }
        return found;
    }
    std::vector<Event> events;
};

// Everything at once, wired into a Ports.
struct FakePlatform {
    FakeRegistry registry;
    FakeFileSystem files;
    FakeProcesses processes;
    FakeShell shell{files};
    FakeClock clock;
    FakeSystem system;
    FakeUi ui;
    FakeEventLog events;
    Ports ports{registry, files, processes, shell, clock, system, ui, nullptr, nullptr, &events};
};

}  // namespace pellora::fakes
