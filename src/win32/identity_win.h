// Identity helpers of the Windows adapters that are not port methods (see identity_win.cpp).
#pragma once

#include <string>

#include "core/ports/registry.h"

namespace pellora::win32 {

// CompareStringOrdinal ignoring case: the system's own comparison of names.
bool OrdinalEqualIgnoreCase(const std::string& a, const std::string& b);
// Deletes the registry link at `subkey` itself, never its target; false when it is not there.
bool DeleteRegistryLink(RootKey root, const std::string& subkey);

}  // namespace pellora::win32
