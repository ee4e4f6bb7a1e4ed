// The name of this computer as the reports carry it, so that reports collected from many
// machines say which machine each comes from.
#pragma once

#include <string>

namespace pellora::cli {

// The DNS host name (the NetBIOS name when there is none); "" when the system gives neither.
std::string MachineName();

}  // namespace pellora::cli
