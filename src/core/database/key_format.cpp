#include "core/database/key_format.h"

#include "core/ports/signature.h"

namespace pellora {

namespace {

constexpr std::string_view kOidEcPublicKey = "\x2A\x86\x48\xCE\x3D\x02\x01";  // 1.2.840.10045.2.1
constexpr std::string_view kOidP256 = "\x2A\x86\x48\xCE\x3D\x03\x01\x07";     // 1.2.840.10045.3.1.7
constexpr size_t kPointLength = 1 + 2 * kP256CoordinateLength;

// A DER reader over one buffer: each Read takes one element of the expected tag.
class Der {
  public:
    explicit Der(std::string_view bytes) : rest_(bytes) {}
    bool empty() const { return rest_.empty(); }

    std::optional<std::string_view> Read(unsigned char tag) {
        if (rest_.size() < 2 || static_cast<unsigned char>(rest_[0]) != tag)
            return std::nullopt;
        size_t length = static_cast<unsigned char>(rest_[1]);
        size_t header = 2;
        if (length & 0x80) {
            size_t count = length & 0x7F;
            // Definite lengths only, minimally encoded, and small enough for any key file.
            if (count == 0 || count > 3 || rest_.size() < 2 + count || rest_[2] == 0)
                return std::nullopt;
            length = 0;
            for (size_t i = 0; i < count; ++i)
                length = (length << 8) | static_cast<unsigned char>(rest_[2 + i]);
            if (length < 0x80)
                return std::nullopt;
            header += count;
        }
        if (rest_.size() - header < length)
            return std::nullopt;
        std::string_view content = rest_.substr(header, length);
        rest_.remove_prefix(header + length);
        return content;
    }
    // The next element's tag, or -1 at the end.
    int PeekTag() const { return rest_.empty() ? -1 : static_cast<unsigned char>(rest_[0]); }

  private:
    std::string_view rest_;
};

constexpr unsigned char kSequence = 0x30;
constexpr unsigned char kInteger = 0x02;
constexpr unsigned char kBitString = 0x03;
constexpr unsigned char kOctetString = 0x04;
constexpr unsigned char kOid = 0x06;
constexpr unsigned char kContext0 = 0xA0;
constexpr unsigned char kContext1 = 0xA1;

// The elements of `der` when it is exactly one SEQUENCE.
std::optional<Der> SoleSequence(std::string_view der) {
    Der outer(der);
    auto body = outer.Read(kSequence);
    if (!body || !outer.empty())
        return std::nullopt;
    return Der(*body);
}

bool IsP256Algorithm(std::string_view algorithmContent) {
    Der der(algorithmContent);
    auto type = der.Read(kOid);
    auto curve = der.Read(kOid);
    return type && curve && der.empty() && *type == kOidEcPublicKey && *curve == kOidP256;
}

// X || Y of an uncompressed point in a BIT STRING's content.
std::optional<std::string> PointFromBitString(std::string_view bits) {
    if (bits.size() != 1 + kPointLength || bits[0] != 0 || bits[1] != 0x04)
        return std::nullopt;
    return std::string(bits.substr(2));
}

// X || Y || D of a SEC1 ECPrivateKey; `outerP256` says the curve was named outside it.
std::optional<std::string> FromSec1(std::string_view der, bool outerP256) {
    std::optional<Der> sequence = SoleSequence(der);
    if (!sequence)
        return std::nullopt;
    Der& fields = *sequence;
    auto version = fields.Read(kInteger);
    auto secret = fields.Read(kOctetString);
    if (!version || *version != "\x01" || !secret || secret->size() != kP256CoordinateLength)
        return std::nullopt;
    bool p256 = outerP256;
    // A tag that is there may still carry a length its bytes do not hold: each Read is checked.
    if (fields.PeekTag() == kContext0) {
        std::optional<std::string_view> parametersContent = fields.Read(kContext0);
        if (!parametersContent)
            return std::nullopt;
        Der parameters(*parametersContent);
        auto curve = parameters.Read(kOid);
        if (!curve || *curve != kOidP256)
            return std::nullopt;
        p256 = true;
    }
    if (!p256 || fields.PeekTag() != kContext1)
        return std::nullopt;
    std::optional<std::string_view> publicContent = fields.Read(kContext1);
    if (!publicContent)
        return std::nullopt;
    Der publicPart(*publicContent);
    auto bits = publicPart.Read(kBitString);
    std::optional<std::string> point = bits ? PointFromBitString(*bits) : std::nullopt;
    if (!point)
        return std::nullopt;
    return *point + std::string(*secret);
}

std::optional<std::string> FromPkcs8(std::string_view der) {
    std::optional<Der> sequence = SoleSequence(der);
    if (!sequence)
        return std::nullopt;
    Der& fields = *sequence;
    auto version = fields.Read(kInteger);
    auto algorithm = fields.Read(kSequence);
    auto key = fields.Read(kOctetString);
    if (!version || *version != std::string_view("\x00", 1) || !algorithm || !IsP256Algorithm(*algorithm) || !key)
        return std::nullopt;
    return FromSec1(*key, true);
}

// A DER INTEGER's content as an unsigned 32-byte number.
std::optional<std::string> Coordinate(std::string_view integer) {
    // Positive and minimally encoded: a leading zero only before a byte with its top bit set.
    if (integer.empty() || (static_cast<unsigned char>(integer[0]) & 0x80))
        return std::nullopt;
    if (integer.size() > 1 && integer[0] == 0 && !(static_cast<unsigned char>(integer[1]) & 0x80))
        return std::nullopt;
    if (integer[0] == 0)
        integer.remove_prefix(1);
    if (integer.size() > kP256CoordinateLength)
        return std::nullopt;
    return std::string(kP256CoordinateLength - integer.size(), '\0') + std::string(integer);
}

std::string DerInteger(std::string_view coordinate) {
    size_t start = 0;
    while (start + 1 < coordinate.size() && coordinate[start] == 0)
        ++start;
    std::string content(coordinate.substr(start));
    if (content.empty() || (static_cast<unsigned char>(content[0]) & 0x80))
        content.insert(content.begin(), '\0');
    return std::string(1, static_cast<char>(kInteger)) + static_cast<char>(content.size()) + content;
}

int Base64Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

}  // namespace

std::optional<std::string> Base64Decode(std::string_view text) {
    std::string out;
    uint32_t buffer = 0;
    int bits = 0;
    size_t padding = 0;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        if (c == '=') {
            ++padding;
            continue;
        }
        int value = Base64Value(c);
        if (value < 0 || padding > 0)
            return std::nullopt;
        buffer = (buffer << 6) | static_cast<uint32_t>(value);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((buffer >> bits) & 0xFF);
        }
    }
    if (padding > 2 || bits >= 6 || (buffer & ((1u << bits) - 1)) != 0)
        return std::nullopt;
    return out;
}

std::string Base64Encode(std::string_view bytes) {
    static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        uint32_t n = (static_cast<unsigned char>(bytes[i]) << 16) | (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                     static_cast<unsigned char>(bytes[i + 2]);
        for (int shift = 18; shift >= 0; shift -= 6)
            out += kAlphabet[(n >> shift) & 63];
    }
    if (i < bytes.size()) {
        uint32_t n = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size())
            n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        out += kAlphabet[(n >> 18) & 63];
        out += kAlphabet[(n >> 12) & 63];
        out += i + 1 < bytes.size() ? kAlphabet[(n >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::vector<std::string> PemBlocks(std::string_view text, std::string_view label) {
    const std::string begin = "-----BEGIN " + std::string(label) + "-----";
    const std::string end = "-----END " + std::string(label) + "-----";
    std::vector<std::string> blocks;
    size_t at = 0;
    while ((at = text.find(begin, at)) != std::string_view::npos) {
        size_t bodyStart = at + begin.size();
        size_t bodyEnd = text.find(end, bodyStart);
        if (bodyEnd == std::string_view::npos)
            break;
        if (std::optional<std::string> der = Base64Decode(text.substr(bodyStart, bodyEnd - bodyStart)))
            blocks.push_back(std::move(*der));
        at = bodyEnd + end.size();
    }
    return blocks;
}

std::optional<std::string> P256PublicKeyFromSpki(std::string_view der) {
    std::optional<Der> sequence = SoleSequence(der);
    if (!sequence)
        return std::nullopt;
    Der& fields = *sequence;
    auto algorithm = fields.Read(kSequence);
    auto bits = fields.Read(kBitString);
    if (!algorithm || !IsP256Algorithm(*algorithm) || !bits || !fields.empty())
        return std::nullopt;
    return PointFromBitString(*bits);
}

std::optional<std::string> P256PublicKeyFromPem(std::string_view pem) {
    for (const std::string& der : PemBlocks(pem, "PUBLIC KEY")) {
        if (std::optional<std::string> key = P256PublicKeyFromSpki(der))
            return key;
    }
    return std::nullopt;
}

std::optional<std::string> P256PrivateKeyFromPem(std::string_view pem) {
    for (const std::string& der : PemBlocks(pem, "EC PRIVATE KEY")) {
        if (std::optional<std::string> key = FromSec1(der, false))
            return key;
    }
    for (const std::string& der : PemBlocks(pem, "PRIVATE KEY")) {
        if (std::optional<std::string> key = FromPkcs8(der))
            return key;
    }
    return std::nullopt;
}

std::optional<std::string> EcdsaSignatureToRaw(std::string_view der) {
    std::optional<Der> sequence = SoleSequence(der);
    if (!sequence)
        return std::nullopt;
    Der& fields = *sequence;
    auto r = fields.Read(kInteger);
    auto s = fields.Read(kInteger);
    if (!r || !s || !fields.empty())
        return std::nullopt;
    std::optional<std::string> rRaw = Coordinate(*r);
    std::optional<std::string> sRaw = Coordinate(*s);
    if (!rRaw || !sRaw)
        return std::nullopt;
    return *rRaw + *sRaw;
}

std::string EcdsaSignatureToDer(std::string_view raw) {
    std::string content = DerInteger(raw.substr(0, raw.size() / 2)) + DerInteger(raw.substr(raw.size() / 2));
    return std::string(1, static_cast<char>(kSequence)) + static_cast<char>(content.size()) + content;
}

}  // namespace pellora
