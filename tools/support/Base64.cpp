#include "support/Base64.hpp"

#include <cstdint>

namespace corvane::tools {

std::string base64Encode(std::string_view bytes) {
    static constexpr char alphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    encoded.resize((bytes.size() + 2) / 3 * 4);
    std::size_t out = 0;
    std::size_t in = 0;
    const auto byteAt = [&](std::size_t i) {
        return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i]));
    };
    for (; in + 3 <= bytes.size(); in += 3) {
        const std::uint32_t group = byteAt(in) << 16 | byteAt(in + 1) << 8 | byteAt(in + 2);
        encoded[out++] = alphabet[group >> 18 & 63];
        encoded[out++] = alphabet[group >> 12 & 63];
        encoded[out++] = alphabet[group >> 6 & 63];
        encoded[out++] = alphabet[group & 63];
    }
    const std::size_t rest = bytes.size() - in;
    if (rest > 0) {
        const std::uint32_t group = byteAt(in) << 16 | (rest == 2 ? byteAt(in + 1) << 8 : 0);
        encoded[out++] = alphabet[group >> 18 & 63];
        encoded[out++] = alphabet[group >> 12 & 63];
        encoded[out++] = rest == 2 ? alphabet[group >> 6 & 63] : '=';
        encoded[out++] = '=';
    }
    return encoded;
}

}  // namespace corvane::tools
