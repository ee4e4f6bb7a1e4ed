#include "cli/machine_name.h"

#include <windows.h>

#include "win32/encoding_win.h"

namespace pellora::cli {

std::string MachineName() {
    for (COMPUTER_NAME_FORMAT format : {ComputerNameDnsHostname, ComputerNameNetBIOS}) {
        DWORD length = 0;
        (void)GetComputerNameExW(format, nullptr, &length);
        if (length == 0)
            continue;
        std::wstring name(length, L'\0');
        if (GetComputerNameExW(format, name.data(), &length) && length > 0) {
            name.resize(length);
            return win32::Narrow(name);
        }
    }
    return "";
}

}  // namespace pellora::cli
