// The inventory written out: a plain-text report a person pastes into a forum post, one entry a
// line after a header, and a JSON document for programs (schema 1, described in the README).
#include <cstdio>
#include <nlohmann/json.hpp>

#include "core/inventory/inventory.h"

namespace pellora::inventory {
namespace {

// Stored data may hold anything: control characters become "?" so that one entry stays one line.
std::string Shown(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    return out;
}

std::string JoinFlags(uint32_t flags) {
    std::string text;
    for (const std::string& name : FlagNames(flags))
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

// What "(...)" after the program says about it: missing, not a program, not checked, or its
// signature's verdict with the signer.
std::string ProgramState(const InventoryEntry& entry) {
    if (!entry.exists)
        return "missing";
    if (entry.notProgram)
        return "not a program";
    if (entry.signature == TrustStatus::Unchecked)
        return "not checked";
    return SignatureName(entry.signature) + (entry.signer.empty() ? "" : ": " + Shown(entry.signer));
}

// The flags "{...}" adds: those the program's state does not already say.
uint32_t FlagsNotSaid(const InventoryEntry& entry) {
    uint32_t flags = entry.flags;
    if (!entry.program.empty() && !entry.exists)
        flags &= ~flag::kMissing;
    if (!entry.program.empty() && entry.exists && (entry.signature == TrustStatus::Unsigned || entry.notProgram))
        flags &= ~flag::kUnsigned;
    return flags;
}

// For someone reading the report on a help forum: every mark of an entry line.
constexpr const char* kLegend =
    "How to read an entry:\n"
    "  [place] location: name = command -> program (state) [company; description] (disabled) {flags} <note>\n"
    "  [ ]  first: where Windows keeps the entry; after the program: the company and description its\n"
    "       version information gives\n"
    "  ->   the program the command runs\n"
    "  ( )  the program: signed (with the signer), untrusted (signed, but not by a trusted publisher),\n"
    "       unsigned, bad (a signature that does not match the file), missing (no such file),\n"
    "       not a program, not checked; (disabled): Windows does not start the entry\n"
    "  { }  why the entry is flagged, beyond the state: unsigned (no valid trusted signature),\n"
    "       user-writable (a standard user may change the program or its folder), missing, database\n"
    "       (the reference database names it), ignored (on the ignore list: not counted as flagged)\n"
    "  < >  a note: what could not be checked, or what is wrong with the entry's data\n"
    "  ?    a control character of the stored text\n";

}  // namespace

std::string DateText(int year, int month, int day, int hour, int minute, int second) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day, hour, minute, second);
    return buffer;
}

std::string ReportText(const ReportHeader& header, const std::vector<InventoryEntry>& entries) {
    size_t flagged = 0;
    for (const InventoryEntry& entry : entries)
        flagged += IsFlagged(entry) ? 1 : 0;
    std::string text;
    text += "Windows: " + Shown(header.windows) + "\n";
    text += "Pellora: " + Shown(header.pellora) + "\n";
    text += "Database: " + Shown(header.database) + "\n";
    text += "Date: " + Shown(header.date) + "\n";
    text += "Machine: " + Shown(header.machine) + "\n";
    text += "Entries: " + std::to_string(entries.size()) + ", flagged: " + std::to_string(flagged) +
            ", signed by the system's publisher and not shown: " + std::to_string(header.hidden) + "\n";
    text += "\n";
    text += kLegend;
    text += "\n";
    for (const InventoryEntry& entry : entries) {
        std::string line = "[" + Shown(entry.place) + "] " + Shown(entry.location);
        if (!entry.name.empty())
            line += ": " + Shown(entry.name);
        if (!entry.command.empty())
            line += " = " + Shown(entry.command);
        if (!entry.program.empty()) {
            line += " -> " + Shown(entry.program) + " (" + ProgramState(entry) + ")";
            if (!entry.company.empty() || !entry.description.empty())
                line += " [" + Shown(entry.company) +
                        (entry.description.empty() ? "" : "; " + Shown(entry.description)) + "]";
        }
        if (!entry.enabled)
            line += " (disabled)";
        if (const uint32_t flags = FlagsNotSaid(entry); flags != 0)
            line += " {" + JoinFlags(flags) + "}";
        if (!entry.note.empty())
            line += " <" + Shown(entry.note) + ">";
        text += line + "\n";
    }
    return text;
}

std::string ReportJson(const ReportHeader& header, const std::vector<InventoryEntry>& entries) {
    nlohmann::ordered_json document;
    document["schema"] = 1;
    document["machine"] = header.machine;
    document["windows"] = header.windows;
    document["pellora"] = header.pellora;
    document["database"] = header.database;
    document["date"] = header.date;
    document["hidden"] = header.hidden;
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const InventoryEntry& entry : entries) {
        nlohmann::ordered_json item;
        item["place"] = entry.place;
        item["location"] = entry.location;
        item["name"] = entry.name;
        item["command"] = entry.command;
        item["program"] = entry.program;
        item["exists"] = entry.exists;
        item["enabled"] = entry.enabled;
        if (entry.signature == TrustStatus::Unchecked)
            item["signature"] = nullptr;
        else
            item["signature"] = SignatureName(entry.signature);
        item["signer"] = entry.signer;
        item["company"] = entry.company;
        item["description"] = entry.description;
        item["flags"] = FlagNames(entry.flags);
        // No new field for it: a program that is none says so in the note.
        item["note"] = !entry.notProgram    ? entry.note
                       : entry.note.empty() ? std::string("not a program")
                                            : "not a program; " + entry.note;
        list.push_back(std::move(item));
    }
    document["entries"] = std::move(list);
    // Stored names need not be valid UTF-8: bad bytes are written as U+FFFD instead of failing.
    return document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace pellora::inventory
