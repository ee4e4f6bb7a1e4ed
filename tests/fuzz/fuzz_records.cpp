// Quarantine records and saved registry values: a record's stored item that passes the check
// never leads outside its package, however Windows would read the path; a record and a folder
// identity written from what was read read back the same; a saved value that decodes encodes
// back to a text that decodes to the same value; an export let through for a key names no other key.
#include <cstdint>
#include <string>
#include <vector>

#include "core/quarantine/record_format.h"
#include "core/quarantine/reg_export.h"
#include "fuzz/fuzz_check.h"

using namespace pellora;

namespace {

// The steps of `item` as Windows resolves a path below a folder: "\" and "/" both separate,
// trailing dots and blanks of a step are dropped. Returns false when the path would leave the
// folder, name the folder itself, or not be a plain relative path at all.
bool StaysInside(const std::string& item) {
    if (item.empty() || item.find(':') != std::string::npos || item.find('\0') != std::string::npos)
        return false;
    int depth = 0;
    size_t pos = 0;
    while (pos <= item.size()) {
        size_t end = item.find_first_of("\\/", pos);
        if (end == std::string::npos)
            end = item.size();
        std::string step = item.substr(pos, end - pos);
        while (!step.empty() && (step.back() == '.' || step.back() == ' '))
            step.pop_back();
        if (step.empty())
            return false;  // "", ".", "..", "...", ". ." and the like, or a leading "\"
        ++depth;
        pos = end + 1;
    }
    return depth >= 1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    QuarantineRecord record = ParseRecord(text);
    for (bool folderCopy : {false, true}) {
        if (IsSafeStoredItem(record.storedItem, folderCopy))
            FUZZ_CHECK(StaysInside(record.storedItem));
    }
    // A record written from parsed fields parses back to the same fields.
    QuarantineRecord again = ParseRecord(FormatRecord(record));
    FUZZ_CHECK(again.type == record.type && again.storedItem == record.storedItem && again.source == record.source &&
               again.parentIdentity == record.parentIdentity);
    // A folder identity read from a record is written back to a text that reads the same.
    if (std::optional<FileIdentity> folder = ParseFolderIdentity(text)) {
        std::optional<FileIdentity> back = ParseFolderIdentity(FormatFolderIdentity(*folder));
        FUZZ_CHECK(back && back->volumeSerial == folder->volumeSerial && back->fileIdHigh == folder->fileIdHigh &&
                   back->fileIdLow == folder->fileIdLow && back->finalPath == folder->finalPath);
    }

    if (std::optional<RegValue> value = DecodeSavedValue(text)) {
        std::optional<RegValue> back = DecodeSavedValue(EncodeSavedValue(*value));
        FUZZ_CHECK(back && back->type == value->type && back->data == value->data);
    }
    // An export let through for a key holds no section, as the export reader cuts it either,
    // outside that key.
    const std::string key = "HKEY_CURRENT_USER\\Software\\Bad";
    const std::string sid = "S-1-5-21-1-2-3-1001";
    if (!ForeignSection(text, key, sid)) {
        for (const auto& [section, values] : ParseRegExport(text)) {
            (void)values;
            FUZZ_CHECK(!ForeignSection(section, key, sid));
        }
    }
    (void)IsRecordName(text);
    (void)ImageOfRecordType(text);
    return 0;
}
