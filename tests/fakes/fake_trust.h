// The trust port in memory: verdicts and version texts a test gives by path (any letter case);
// every other file is unsigned and has no version text. It records each file it checks.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "core/ports/trust.h"
#include "core/util/text.h"

namespace pellora::fakes {

class FakeTrust : public TrustPort {
  public:
    FileTrust VerifyFile(const std::string& path) override {
        verified.push_back(path);
        auto it = verdicts.find(ToLowerAscii(path));
        return it != verdicts.end() ? it->second : FileTrust{TrustStatus::Unsigned, "", ""};
    }
    VersionText ReadVersionText(const std::string& path) override {
        auto it = versions.find(ToLowerAscii(path));
        return it != versions.end() ? it->second : VersionText{};
    }
    void Sign(const std::string& path, TrustStatus status, const std::string& signer) {
        verdicts[ToLowerAscii(path)] = FileTrust{status, signer, ""};
    }
    void Describe(const std::string& path, const std::string& company, const std::string& description) {
        versions[ToLowerAscii(path)] = VersionText{company, description};
    }

    std::map<std::string, FileTrust> verdicts;  // by lower-case path
    std::map<std::string, VersionText> versions;
    std::vector<std::string> verified;
};

}  // namespace pellora::fakes
