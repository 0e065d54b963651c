// Names that are nearly right: the distance counts a swap of neighbours as one edit, and the
// closest known name is offered only when it is near enough to be a slip.
#include <gtest/gtest.h>

#include <array>
#include <string_view>

#include "support/Spelling.hpp"

namespace {

using corvane::tools::closestName;
using corvane::tools::editDistance;

TEST(EditDistance, CountsInsertionsDeletionsSubstitutionsAndSwaps) {
    EXPECT_EQ(editDistance("origin", "origin"), 0u);
    EXPECT_EQ(editDistance("orgin", "origin"), 1u);       // a letter left out
    EXPECT_EQ(editDistance("inertail", "inertial"), 1u);  // two neighbours swapped
    EXPECT_EQ(editDistance("xzy", "xyz"), 1u);
    EXPECT_EQ(editDistance("kitten", "sitting"), 3u);
    EXPECT_EQ(editDistance("", "abc"), 3u);
    EXPECT_EQ(editDistance("abc", ""), 3u);
    EXPECT_EQ(editDistance("ca", "abc"), 3u);  // a swapped pair is not edited again
}

TEST(ClosestName, OffersANearNameOnlyAndNeverTheNameItself) {
    constexpr std::array<std::string_view, 3> children{"origin", "geometry", "material"};
    EXPECT_EQ(closestName("orgin", children), "origin");
    EXPECT_EQ(closestName("geomtery", children), "geometry");
    EXPECT_EQ(closestName("origin", children), std::nullopt);
    EXPECT_EQ(closestName("contact", children), std::nullopt);
    // Short names allow one edit only.
    constexpr std::array<std::string_view, 2> axis{"xyz", "rpy"};
    EXPECT_EQ(closestName("xzy", axis), "xyz");
    EXPECT_EQ(closestName("xy", axis), "xyz");
    EXPECT_EQ(closestName("ab", axis), std::nullopt);
    EXPECT_EQ(closestName("D", std::array<std::string_view, 1>{"damping"}), std::nullopt);
}

}  // namespace
