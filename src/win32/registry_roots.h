// The predefined key of each root the core names, shared by the registry and identity
// adapters. Only for files that include windows.h themselves.
#pragma once

#include <windows.h>

#include "core/ports/registry.h"

namespace pellora::win32 {

// The predefined root key, or nullptr for RootKey::None.
HKEY RootHandle(RootKey root);

}  // namespace pellora::win32
