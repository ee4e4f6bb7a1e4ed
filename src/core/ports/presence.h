// Whether an object is on the machine, as the platform answers it. Only an answer of "no such
// object" is Absent: a refusal (access denied, sharing violation, a damaged name) says nothing
// about presence and is Unknown, so that nothing is counted as gone that may still be there.
#pragma once

namespace pellora {

enum class Presence { Absent, Present, Unknown };

}  // namespace pellora
