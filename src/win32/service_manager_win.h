// Services and drivers through the service control manager: configuration read with
// QueryServiceConfig(2), stop requested with ControlService and waited for by polling the
// status within the given time, deletion with DeleteService, creation with CreateService.
#pragma once

#include "core/ports/services.h"

namespace pellora::win32 {

class ServiceManagerWin : public ServicePort {
  public:
    Presence ProbeService(const std::string& name) override;
    std::vector<Presence> ProbeServices(const std::vector<std::string>& names) override;
    std::optional<ServiceConfig> Configuration(const std::string& name) override;
    bool StopService(const std::string& name, uint32_t timeoutMs) override;
    bool DeleteService(const std::string& name) override;
    bool AddService(const ServiceConfig& config) override;
};

}  // namespace pellora::win32
