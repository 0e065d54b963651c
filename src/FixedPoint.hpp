// Real literals in fixed-point notation, written the way std::to_chars(chars_format::fixed,
// precision) writes them (correctly rounded, ties to even, no exponent, no locale), by a shorter
// way for the numbers robot descriptions hold.
#pragma once

namespace corvane::Plugins::Urdf {

// Writes `value` with `decimals` digits after the point into `out` and returns the end of what it
// wrote, byte for byte what std::to_chars would write; or returns nullptr without writing when
// the value is not one it handles (not finite, 2^64 or more once scaled by 10^decimals, or more
// than 19 decimals), for std::to_chars to write instead. `out` must hold decimals + 22 bytes.
char* writeFixedPoint(char* out, double value, int decimals);

}  // namespace corvane::Plugins::Urdf
