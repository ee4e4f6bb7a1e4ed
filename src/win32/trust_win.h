// TrustWin: the trust port on WinVerifyTrust (embedded Authenticode signatures, and the
// system's catalogs through the catalog administrator) and version.dll. The file is opened once
// for reading and verified through that handle; nothing of it is run or loaded as code.
#pragma once

#include "core/ports/trust.h"

namespace pellora::win32 {

class TrustWin : public TrustPort {
  public:
    FileTrust VerifyFile(const std::string& path) override;
    VersionText ReadVersionText(const std::string& path) override;
};

}  // namespace pellora::win32
