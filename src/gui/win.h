// The Windows headers as the GUI includes them.
#pragma once

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

// winbase.h defines an empty Yield() macro that would swallow UiPort::Yield.
#undef Yield
