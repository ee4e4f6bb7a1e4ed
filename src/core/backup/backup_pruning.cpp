#include "core/backup/backup_pruning.h"

#include <algorithm>
#include <vector>

#include "core/settings/settings_files.h"
#include "core/util/text.h"

namespace pellora {

namespace {

// Days from 1601-01-01 to the given date of the proleptic Gregorian calendar.
int64_t DaysSince1601(int64_t year, int64_t month, int64_t day) {
    // Howard Hinnant's days_from_civil, shifted from the Unix epoch to 1601.
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yoe = year - era * 400;
    const int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    constexpr int64_t kUnixEpochFrom1601 = 134774;
    return era * 146097 + doe - 719468 + kUnixEpochFrom1601;
}

bool IsLeapYear(int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int64_t DaysInMonth(int64_t year, int64_t month) {
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

struct Backup {
    std::string name;
    uint64_t age = 0;  // file-time scale; smaller is older
};

}  // namespace

std::optional<uint64_t> BackupNameTime(std::string_view name) {
    if (name.size() < 4 || !EqualsIgnoreCase(name.substr(name.size() - 4), ".reg"))
        return std::nullopt;
    std::string_view stamp = name.substr(0, name.size() - 4);
    std::vector<int64_t> parts;
    for (size_t start = 0;;) {
        const size_t dash = stamp.find('-', start);
        const std::string_view piece = stamp.substr(start, dash == std::string_view::npos ? dash : dash - start);
        if (piece.empty() || piece.size() > 4 || parts.size() == 6)
            return std::nullopt;
        int64_t value = 0;
        for (char c : piece) {
            if (c < '0' || c > '9')
                return std::nullopt;
            value = value * 10 + (c - '0');
        }
        parts.push_back(value);
        if (dash == std::string_view::npos)
            break;
        start = dash + 1;
    }
    if (parts.size() != 6)
        return std::nullopt;
    const int64_t day = parts[0], month = parts[1], year = parts[2];
    const int64_t hour = parts[3], minute = parts[4], second = parts[5];
    if (year < 1601 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59) {
        return std::nullopt;
    }
    const int64_t seconds = DaysSince1601(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return static_cast<uint64_t>(seconds) * 10'000'000ULL;
}

int64_t BackupsToKeep(const AppState& state) {
    int64_t keep = 0;
    return ParseWholeNumber(Line(state.lstSettingsFile, 10), keep) ? keep : kDefaultBackupsToKeep;
}

void PruneRegistryBackups(AppState& state, FileSystemPort& files) {
    const std::string folder = AppFilePath(state.appFolder, kRegistryBackupsFolder, "");
    std::vector<FindEntry> entries;
    (void)files.FindEntries(folder + "*.reg", entries);

    std::vector<Backup> backups;
    for (const FindEntry& entry : entries) {
        // The platform's "*.reg" also matches longer extensions through short names; only real
        // .reg files count.
        if ((entry.attributes & file_attr::kDirectory) || !EndsWith(ToLowerAscii(entry.name), ".reg"))
            continue;
        // A name without a stamp is dated by its last write, on the same scale; the hours
        // between local and universal time are of no weight against days between backups.
        backups.push_back(Backup{entry.name, BackupNameTime(entry.name).value_or(entry.lastWriteTime)});
    }

    auto byName = [](const std::string& a, const std::string& b) { return ToLowerAscii(a) < ToLowerAscii(b); };
    state.lstRegistryBackups.clear();
    for (const Backup& backup : backups)
        state.lstRegistryBackups.push_back(backup.name);
    std::stable_sort(state.lstRegistryBackups.begin(), state.lstRegistryBackups.end(), byName);

    const int64_t keep = BackupsToKeep(state);
    if (static_cast<int64_t>(backups.size()) <= keep)
        return;

    std::stable_sort(backups.begin(), backups.end(), [&](const Backup& a, const Backup& b) {
        return a.age != b.age ? a.age < b.age : byName(a.name, b.name);
    });
    const size_t toDelete = backups.size() - static_cast<size_t>(keep);
    for (size_t i = 0; i < toDelete; ++i) {
        const std::string path = folder + backups[i].name;
        (void)files.SetAttributes(path, file_attr::kNormal);
        if (files.DeleteFile(path)) {
            std::erase(state.lstRegistryBackups, backups[i].name);
        }
    }
}

}  // namespace pellora
