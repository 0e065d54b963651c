#include "FixedPoint.hpp"

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace corvane::Plugins::Urdf {

namespace {

__extension__ typedef unsigned __int128 Wide;

constexpr int kMaxDecimals = 19;  // 10^19 still fits in 64 bits

constexpr std::array<std::uint64_t, kMaxDecimals + 1> kPowersOfFive = [] {
    std::array<std::uint64_t, kMaxDecimals + 1> powers{};
    std::uint64_t power = 1;
    for (auto& entry : powers) {
        entry = power;
        power *= 5;
    }
    return powers;
}();

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// `magnitude` * 10^decimals rounded to the nearest integer, ties to even, computed exactly: a
// finite double is m * 2^e with an integer m below 2^53, so the scaled value is m * 5^decimals
// (below 2^98) times a power of two. False when the result does not fit in 64 bits.
bool scaledInteger(double magnitude, int decimals, std::uint64_t& scaled) {
    const auto bits = std::bit_cast<std::uint64_t>(magnitude);
    const auto biasedExponent = static_cast<int>(bits >> 52);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    // Normal numbers carry an implicit leading bit; subnormal ones have the smallest exponent.
    const std::uint64_t mantissa =
        biasedExponent == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
    const int exponent = (biasedExponent == 0 ? 1 : biasedExponent) - 1075;
    const Wide product =
        static_cast<Wide>(mantissa) * kPowersOfFive[static_cast<std::size_t>(decimals)];
    const int shift = exponent + decimals;  // scaled value = product * 2^shift
    if (shift >= 0) {
        if (shift >= 64 || (product >> (64 - shift)) != 0) return false;
        scaled = static_cast<std::uint64_t>(product << shift);
        return true;
    }
    const int drop = -shift;
    if (drop >= 127) {  // product < 2^98, so what is left is below one half
        scaled = 0;
        return true;
    }
    const Wide kept = product >> drop;
    const Wide rest = product - (kept << drop);
    const Wide half = static_cast<Wide>(1) << (drop - 1);
    const Wide rounded = kept + ((rest > half || (rest == half && (kept & 1) != 0)) ? 1 : 0);
    if ((rounded >> 64) != 0) return false;
    scaled = static_cast<std::uint64_t>(rounded);
    return true;
}

}  // namespace

char* writeFixedPoint(char* out, double value, int decimals) {
    if (!std::isfinite(value) || decimals < 0 || decimals > kMaxDecimals) return nullptr;
    std::uint64_t scaled = 0;
    if (!scaledInteger(std::fabs(value), decimals, scaled)) return nullptr;

    // Written backwards from the end of a buffer, two digits at a time where it can: the decimals,
    // the point, then the integer part (at least one digit) and the sign.
    std::array<char, 48> buffer;
    char* const last = buffer.data() + buffer.size();
    char* first = last;
    int decimalsLeft = decimals;
    while (decimalsLeft >= 2) {
        first -= 2;
        std::memcpy(first, &kDigitPairs[2 * (scaled % 100)], 2);
        scaled /= 100;
        decimalsLeft -= 2;
    }
    if (decimalsLeft == 1) {
        *--first = static_cast<char>('0' + scaled % 10);
        scaled /= 10;
    }
    if (decimals > 0) *--first = '.';
    do {
        *--first = static_cast<char>('0' + scaled % 10);
        scaled /= 10;
    } while (scaled != 0);
    if (std::signbit(value)) *--first = '-';
    const auto length = static_cast<std::size_t>(last - first);
    std::memcpy(out, first, length);
    return out + length;
}

}  // namespace corvane::Plugins::Urdf
