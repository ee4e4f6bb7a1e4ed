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
    for (const InventoryEntry& entry : entries) {
        std::string line = "[" + Shown(entry.place) + "] " + Shown(entry.location);
        if (!entry.name.empty())
            line += ": " + Shown(entry.name);
        if (!entry.command.empty())
            line += " = " + Shown(entry.command);
        if (!entry.program.empty()) {
            line += " -> " + Shown(entry.program);
            if (!entry.exists)
                line += " (missing)";
            else if (entry.signature == TrustStatus::Unchecked)
                line += " (not checked)";
            else
                line += " (" + SignatureName(entry.signature) +
                        (entry.signer.empty() ? "" : ": " + Shown(entry.signer)) + ")";
            if (!entry.company.empty() || !entry.description.empty())
                line += " [" + Shown(entry.company) +
                        (entry.description.empty() ? "" : "; " + Shown(entry.description)) + "]";
        }
        if (!entry.enabled)
            line += " (disabled)";
        if (entry.flags != 0)
            line += " {" + JoinFlags(entry.flags) + "}";
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
        item["note"] = entry.note;
        list.push_back(std::move(item));
    }
    document["entries"] = std::move(list);
    // Stored names need not be valid UTF-8: bad bytes are written as U+FFFD instead of failing.
    return document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace pellora::inventory
