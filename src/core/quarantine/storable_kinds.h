// What the quarantine can store, and how each stored kind comes back: the one answer that every
// path asks. The window's Quarantine button and the removal run (before each row goes, under
// automatic erase or when the console's user asked for a copy first) store a result row through
// Quarantine::QuarantineResultRow, which stores it as its kind's entry says; restore and the
// contents view read a record by its type through the same table. A kind is added here, with
// its way of storing and restoring, and reaches every path at once; the tests walk the table.
//
// A result row's type word and a record's type word are compared in lower case. Some rows are
// stored as a record of another type: one element of a list value ("regpart") as its whole value
// ("RegVal"), a browser find as the folder, file, key or value it is, or as the edit that takes
// it out of a profile file ("BrowserEdit").
#pragma once

#include <span>
#include <string_view>

#include "core/state/app_state.h"

namespace pellora {

// How a kind's object is kept in a package and put back.
enum class StoredForm {
    File,          // a copy of the file (path, file, cookie)
    Folder,        // a copy of the folder's tree
    Key,           // the registry editor's export of the key
    Value,         // the value's type and data
    ListPart,      // a row only: one element of a list value, stored as that whole value
    Task,          // the task's definition
    Service,       // the service's configuration and every value of its keys
    HostsLines,    // the hosts file's lines of a name, with their places
    Shortcut,      // the .lnk's bytes and its folder's identity
    BrowserPlace,  // a row only: stored as the folder, file, key, value or edit it is
    BrowserEdit,   // a record only: the members or pref lines taken out of a profile file
};

struct StorableKind {
    std::string_view type;  // lower case
    StoredForm form;
    bool row;           // a result row of this type is stored
    bool record;        // a record of this type is restored
    ObjectImage image;  // the contents view's image of such a record
};

// Every kind, rows and records alike.
std::span<const StorableKind> StorableKinds();

// The kind a result row of `type` is stored as; nothing when the quarantine cannot store it.
const StorableKind* StorableRowKind(std::string_view type);
// The kind a record of `type` restores as; nothing when no restore knows it.
const StorableKind* RestorableRecordKind(std::string_view type);

}  // namespace pellora
