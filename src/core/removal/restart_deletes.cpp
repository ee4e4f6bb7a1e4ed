#include "core/removal/restart_deletes.h"

#include <limits>

#include "core/util/text.h"

namespace pellora {

namespace {

// The list is the program's own (administrators only); a damaged one is not read into memory.
constexpr uint64_t kMaxPendingListLength = 1024 * 1024;

}  // namespace

bool RecordPendingDelete(FileSystemPort& files, const std::string& appFolder, const std::string& path) {
    return files.AppendFile(appFolder + kPendingDeletesFile, path + "\r\n");
}

std::vector<std::string> ConfirmPendingDeletes(AppState& state, FileSystemPort& files) {
    std::vector<std::string> log;
    const std::string list = state.appFolder + kPendingDeletesFile;
    if (files.Probe(list) == Presence::Absent)
        return log;
    const std::optional<std::string> text = files.ReadFileUpTo(list, kMaxPendingListLength);
    int64_t gone = 0;
    if (text) {
        size_t pos = 0;
        while (pos < text->size()) {
            size_t end = text->find('\n', pos);
            if (end == std::string::npos)
                end = text->size();
            std::string path = text->substr(pos, end - pos);
            pos = end + 1;
            if (!path.empty() && path.back() == '\r')
                path.pop_back();
            if (path.empty())
                continue;
            const bool isGone = files.Probe(path) == Presence::Absent;
            gone += isGone ? 1 : 0;
            log.push_back((isGone ? "Removed at restart=" : "Not removed at restart=") + path);
        }
    } else {
        log.push_back("List of files to be removed at restart not read: " + list);
    }
    files.SetAttributes(list, file_attr::kNormal);
    files.DeleteFile(list);
    if (gone > 0) {
        int64_t total = LeadingInteger(Line(state.lstScanInfoFile, 2));
        const int64_t most = std::numeric_limits<int64_t>::max();
        total = total > most - gone ? most : total + gone;
        SetLine(state.lstScanInfoFile, 2, std::to_string(total));
    }
    return log;
}

}  // namespace pellora
