// References to found files: the autostart entries (autostart/) whose program is a file the
// same scan found by a "path" or "file" item. The program an entry resolves to is opened and
// compared with the found files by volume and file id, so another spelling of the same file (a
// short name, another letter case, an environment variable, a link on the way) is a reference
// and a file of the same name elsewhere is not.
//
// Each reference becomes the row its removal acts on: a Run, RunOnce, image-debugger or Active
// Setup command is its value ("RegVal"), a Startup shortcut its .lnk file ("Path"), a scheduled
// task's action the task ("task", removed and stored as that kind is), a service's image (or
// hosted DLL) the service ("service", likewise), one program
// of the Winlogon Shell and Userinit lists or of AppInit_DLLs a list part ("RegPart": only that
// element goes, the value is repaired and never deleted).
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/autostart/autostart.h"
#include "core/ports/file_system.h"
#include "core/state/app_state.h"

namespace pellora {

// Row type of one element of a list value.
inline constexpr const char* kListPartType = "RegPart";

struct StartReference {
    std::string type;    // row type: "RegVal", "Path" or kListPartType
    std::string object;  // the row's object
    int image = kImageNone;
    size_t foundRow = 0;  // the row of `finds` holding the file it starts
};

// The references among `entries` to the path and file rows of `finds` that carry an identity,
// in the order of `entries`; each reference once. Only the entries' programs are opened, each
// path once.
std::vector<StartReference> MatchStartReferences(const std::vector<autostart::AutostartEntry>& entries,
                                                 const std::vector<ResultRow>& finds,
                                                 FileSystemPort& files);

// A list-part row's object: "<key path>,<value name>,<element as stored>". The keys and names
// of the lists (Winlogon, Windows; Shell, Userinit, AppInit_DLLs) hold no comma, nor does an
// element, which a comma would end.
struct ListPart {
    std::string keyPath;
    std::string name;
    std::string part;
};
std::string ListPartObject(const ListPart& part);
// Nothing unless the object names one of the three list values.
std::optional<ListPart> ParseListPart(std::string_view object);
// The separators of a list value: Winlogon splits at commas, AppInit_DLLs at commas and blanks.
std::string_view ListSeparators(std::string_view valueName);
// `text` without its first element equal to `part` (without regard to case, blanks around an
// element not part of it) and one separator beside it; every other byte is kept. Nothing when
// no element is `part`.
std::optional<std::string> WithoutListPart(std::string_view text, std::string_view part, std::string_view separators);

}  // namespace pellora
