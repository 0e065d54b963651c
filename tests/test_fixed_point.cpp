// The short way to fixed-point literals must write exactly what std::to_chars writes, or decline.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "FixedPoint.hpp"

using corvane::Plugins::Urdf::writeFixedPoint;

namespace {

std::string byToChars(double value, int decimals) {
    char text[512];
    const auto result =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, result.ptr);
}

// Compares the two ways for one value; true when the short way took it.
bool agrees(double value, int decimals) {
    char text[64];
    const char* end = writeFixedPoint(text, value, decimals);
    if (!end) return false;
    EXPECT_EQ(std::string(static_cast<const char*>(text), end), byToChars(value, decimals))
        << "value " << std::hexfloat << value << " decimals " << decimals;
    return true;
}

}  // namespace

TEST(FixedPoint, EdgesAreWrittenAsToCharsWritesThem) {
    const double edges[] = {0.0,
                            -0.0,
                            0.5,
                            1.5,
                            2.5,
                            -2.5,
                            0.125,
                            0.375,
                            -0.0000001,
                            1e-20,
                            std::numeric_limits<double>::denorm_min(),
                            -std::numeric_limits<double>::denorm_min(),
                            std::numeric_limits<double>::min(),
                            9.9999999995,
                            0.1,
                            0.7071,
                            3.141592653589793,
                            1e17,
                            9007199254740993.0,
                            18446744073709549568.0,
                            1844674407.3709551615,
                            std::ldexp(1.0, 63),
                            std::ldexp(1.0, 64)};
    for (const double value : edges) {
        for (int decimals = 0; decimals <= 19; ++decimals) agrees(value, decimals);
    }
}

TEST(FixedPoint, DeclinesWhatItDoesNotHandle) {
    char text[64];
    EXPECT_EQ(writeFixedPoint(text, std::numeric_limits<double>::infinity(), 3), nullptr);
    EXPECT_EQ(writeFixedPoint(text, std::numeric_limits<double>::quiet_NaN(), 3), nullptr);
    EXPECT_EQ(writeFixedPoint(text, 1.0, 20), nullptr);
    EXPECT_EQ(writeFixedPoint(text, 1e300, 0), nullptr);
    EXPECT_EQ(writeFixedPoint(text, 1e10, 10), nullptr);  // 10^20 does not fit in 64 bits
}

// The numbers of robot descriptions (short decimals of moderate size) at the usual precisions
// are all taken by the short way; random doubles of every size and exact binary fractions (where
// ties to even matter) agree with to_chars wherever the short way takes them.
TEST(FixedPoint, AgreesWithToCharsOnManyNumbers) {
    std::mt19937_64 random(20261208);
    std::uniform_int_distribution<int> anyDecimals(0, 19);
    std::uniform_int_distribution<int> usualDecimals(0, 10);
    std::uniform_int_distribution<std::int64_t> digits(-99999999, 99999999);
    std::uniform_int_distribution<int> point(0, 8);
    std::uniform_int_distribution<int> binaryPlaces(0, 60);
    for (int i = 0; i < 200000; ++i) {
        const double decimal = static_cast<double>(digits(random)) / std::pow(10.0, point(random));
        EXPECT_TRUE(agrees(decimal, usualDecimals(random))) << decimal;

        const std::uint64_t bits = random();
        double any = 0.0;
        std::memcpy(&any, &bits, sizeof any);
        if (std::isfinite(any)) agrees(any, anyDecimals(random));

        const double fraction =
            std::ldexp(static_cast<double>(digits(random)), -binaryPlaces(random));
        agrees(fraction, anyDecimals(random));
    }
}
