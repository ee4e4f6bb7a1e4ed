// Item kinds of the places spyware starts from, beside the classic seven: "task" (a scheduled
// task by its full path), "service" (a service or driver by its key name), "hosts" (the hosts
// file's lines that map a host name) and "shortcut" (a .lnk whose target or arguments hold a
// text). Their first four letters select
// none of the classic kinds (KindOfLine gives Unknown), so a reader that does not know them counts them and never
// matches them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pellora {

enum class PersistenceKind { None, Task, Service, Hosts, Shortcut };

PersistenceKind PersistenceKindOfLine(std::string_view line);

// A task's full path: "\" and names separated by "\", none empty, "." or "..", none ending in a
// dot or blank or holding "/", ":", a control character or the characters a file name cannot
// hold; at most 260 characters in all.
bool IsTaskPath(std::string_view path);
// Below "\Microsoft\" (any letter case): tasks of Windows, never removed.
bool IsWindowsTask(std::string_view path);

// A service's key name as the service manager takes it: 1 to 256 characters, no "\\", "/",
// control character or comma (a comma would end the name in a row's object).
bool IsServiceName(std::string_view name);
// One of the services Windows itself installs (any letter case): never removed, whatever the
// image path says.
bool IsWindowsServiceName(std::string_view name);

// Longest text a "shortcut" item may hold, in characters.
inline constexpr size_t kMaxShortcutTextLength = 1024;
// Why a "shortcut" item's text cannot be matched ("" when it can): blank, longer than
// kMaxShortcutTextLength characters, or holding a control character.
std::string ShortcutTextRefusal(std::string_view text);
// Why the text would match nearly every shortcut ("" when it would not): shorter than four
// characters, or nothing but a part every link's target or address holds ("exe", "http", ...).
std::string LooseShortcutText(std::string_view text);

}  // namespace pellora
