// The texts of the quarantine store: record lines, saved registry values, the package-size
// captions and the checks that keep a damaged record from reaching outside its package.
//
// A record is "Type|stored item|source location", and for files and folders a fourth field with
// the identity of the folder the object was taken from (see FormatFolderIdentity); a reader that
// knows three fields drops the fourth, so older readers still list and restore the record. A saved value is a type
// word, "|" and the data: "String|" text and "DWORD|" signed decimal as the classic store wrote them, and for the types
// it could not keep "ExpandString|" text, "QWORD|" unsigned decimal, "MultiString|" and "Binary|" with the bytes in
// hex, and "Hex(<type number>)|" hex for anything else (a text with an embedded NUL, a number of the wrong length, a
// rare type).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/ports/file_system.h"
#include "core/ports/registry.h"
#include "core/state/app_state.h"

namespace pellora {

// The record type of members taken out of a browser's profile file (lower case as compared).
inline constexpr const char* kBrowserEditRecordType = "browseredit";

struct QuarantineRecord {
    std::string type;        // as the result row showed it ("path", "RegKey", ...)
    std::string storedItem;  // "10000.qit", or the folder copy's place in the package
    std::string source;      // where the object came from
    // The folder that held the object, as FormatFolderIdentity writes it; empty in records
    // from before it was kept and for registry objects.
    std::string parentIdentity;
};

std::string FormatRecord(const QuarantineRecord& record);
// Splits at "|" into four fields; a fifth field and beyond are dropped, so a source location
// that held a bar ends at it, as the classic reader did.
QuarantineRecord ParseRecord(std::string text);

// A folder's identity as one field: volume serial (8 hex digits), ":", file id (32 hex digits,
// high half first), ":", final path. Nothing when the text is not of that form.
std::string FormatFolderIdentity(const FileIdentity& folder);
std::optional<FileIdentity> ParseFolderIdentity(std::string_view text);

// Where a record's object was, for people: the source, named by its kind where the source is
// only a name ("service X", "scheduled task \X", "hosts file: host").
std::string OriginalPlace(const QuarantineRecord& record);

// The contents view's image of a record type (storable_kinds.h); kImageNone for a type no
// restore knows.
ObjectImage ImageOfRecordType(std::string_view type);

// True for a stored item that names a place inside the package: not empty, not absolute, no
// drive, no "." or ".." step. Payload files must be a bare name; folder copies may sit one
// folder down ("10000\Bad").
bool IsSafeStoredItem(std::string_view item, bool folderCopy);

// True for a record file name ("10000.qnf"), whatever the letter case.
bool IsRecordName(std::string_view name);
// The number of a record file name ("10000" for "10000.qnf"); nothing unless it is digits.
std::optional<std::string> RecordNumber(std::string_view recordName);
// True when a record numbered `number` names its own payload: "N.qit" for every kind but
// folders, "N\name" for a folder copy, or a folder copy stored directly under its name by the
// older layout (a name that cannot be another record's payload). A damaged record that names
// another record's payload would otherwise put that object back and delete it twice.
bool IsOwnPayload(std::string_view item, std::string_view number, bool folderCopy);
// The file beside the payload that holds its SHA-256 ("10000.sha256").
std::string DigestFileName(std::string_view number);

std::string EncodeSavedValue(const RegValue& value);
// Nothing for a text that is not a saved value (no bar, unknown type word, bad number or hex).
std::optional<RegValue> DecodeSavedValue(std::string_view text);

// "1023 bytes", "1 KB", "1.5 KB", "1 MB", "2 GB": the figure rounded to three decimals in its
// shortest form, with the given decimal separator.
std::string SizeText(uint64_t bytes, std::string_view decimalSeparator = ".");

}  // namespace pellora
