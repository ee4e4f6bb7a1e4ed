// The quarantine store on disk: the Quarantine folder below the application folder holds one
// package folder per scan, named by the scan stamp; a package holds a record file N.qnf and a
// payload N.qit per object (a folder copy instead of the payload for folders). Numbers come from
// the quarantine counter, which starts at 10000 with every scan and moves past numbers whose
// record already exists. Record and saved-value files hold one line without a terminator, in
// the ANSI code page; a text that code page cannot hold is written as UTF-8 behind a byte-order
// mark instead, so that names from any language survive the round trip.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "core/state/app_state.h"
#include "core/ports/file_system.h"
#include "core/ports/system.h"
#include "core/ports/ui.h"

namespace pellora {

// The longest record (N.qnf) read back, as for the settings files; a stored value (a registry
// value's saved data) may be longer.
inline constexpr uint64_t kMaxRecordLength = 16u << 20;
inline constexpr uint64_t kMaxStoredValueLength = 256u << 20;

class QuarantineStore {
  public:
    QuarantineStore(AppState& state, FileSystemPort& files, SystemPort& system, UiPort& ui)
        : state_(state), files_(files), system_(system), ui_(ui) {}

    // Application folder, "\Quarantine".
    std::string RootFolder() const { return state_.appFolder + "\\Quarantine"; }
    std::string PackageFolder(const std::string& packageName) const { return RootFolder() + "\\" + packageName; }
    // The package of the current scan stamp.
    std::string CurrentPackageFolder() const { return PackageFolder(state_.scanStamp); }
    // "Temp.reg" in the application folder's registry exports folder (created for administrators
    // only), through which keys go to and from the registry editor; "" when that folder cannot
    // be made.
    std::string TempExportFile() const;

    // Creates the current package folder when it is missing. False when there is no scan stamp
    // yet (the package would be the quarantine root itself) or the folder cannot be made.
    [[nodiscard]] bool EnsureCurrentPackage();

    // The next free number in the current package: the counter, moved past every number whose
    // record (or folder copy) is already there. The counter stays at the number returned.
    // Nothing when the numbers up to 32767 are all taken.
    std::optional<int16_t> AllocateNumber();

    // Writes `data` as the whole content of `fileName` in the current package, in one step.
    [[nodiscard]] bool SaveLineToFile(const std::string& fileName, const std::string& data);
    // Reads the file at `path` below the quarantine root (package name, "\", file name). A file
    // that cannot be read, or is longer than `maxLength` (a record is one line: a damaged or
    // planted file of gigabytes is not read into memory), leaves `data` as it was and gives
    // false; nothing is created.
    [[nodiscard]] bool LoadLineFromFile(const std::string& path,
                                        std::string& data,
                                        uint64_t maxLength = kMaxRecordLength);

  private:
    AppState& state_;
    FileSystemPort& files_;
    SystemPort& system_;
    UiPort& ui_;
};

}  // namespace pellora
