// SHA-256 in plain C++, for hashing where no platform service is at hand (the file-system
// port's default, the tests). Digests travel as 64 lower-case hex digits.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace pellora {

class Sha256 {
  public:
    Sha256();
    void Update(std::string_view bytes);
    // The digest as 64 lower-case hex digits; the object is spent afterwards.
    std::string FinishHex();

  private:
    void Block(const uint8_t* block);

    std::array<uint32_t, 8> state_;
    std::array<uint8_t, 64> buffer_{};
    size_t buffered_ = 0;
    uint64_t length_ = 0;
};

std::string Sha256Hex(std::string_view bytes);

}  // namespace pellora
