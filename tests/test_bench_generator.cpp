// The synthetic robots the benchmarks import must be real, parseable robot descriptions of the
// requested size and shape, or the figures measured on them mean nothing.
#include <gtest/gtest.h>

#include <set>

#include "ParsedUrdf.hpp"
#include "RobotGenerator.hpp"

namespace {

using namespace corvane::bench;

corvane::Plugins::Urdf::ParsedUrdf parsed(std::size_t links) {
    corvane::Plugins::Urdf::ParsedUrdf robot(generateRobot(links));
    EXPECT_TRUE(robot) << "urdfdom refused the robot of " << links << " links";
    return robot;
}

TEST(RobotGenerator, GivesTheRequestedNumberOfLinksInOneTree) {
    for (const std::size_t links : {1u, 2u, 7u, 300u}) {
        const auto robot = parsed(links);
        ASSERT_TRUE(robot);
        EXPECT_EQ(robot->links_.size(), links);
        EXPECT_EQ(robot->joints_.size(), links - 1);
        ASSERT_TRUE(robot->getRoot());
        EXPECT_EQ(robot->getRoot()->name, "link_0");
    }
}

TEST(RobotGenerator, EverySeventhLinkIsMasslessOnAFixedJointAndNoOtherIs) {
    const std::size_t links = 700;
    const auto robot = parsed(links);
    ASSERT_TRUE(robot);
    std::size_t massless = 0;
    for (const auto& [name, link] : robot->links_) {
        if (link->inertial) {
            EXPECT_TRUE(!link->parent_joint || link->parent_joint->type != urdf::Joint::FIXED)
                << name;
            continue;
        }
        ++massless;
        ASSERT_TRUE(link->parent_joint) << name;
        EXPECT_EQ(link->parent_joint->type, urdf::Joint::FIXED) << name;
    }
    EXPECT_EQ(massless, links / 7);
}

TEST(RobotGenerator, BranchesAndMixesGeometryAndJointKinds) {
    const auto robot = parsed(400);
    ASSERT_TRUE(robot);
    std::size_t branchingLinks = 0;
    std::set<int> collisionKinds;
    std::set<int> visualKinds;
    std::set<int> jointKinds;
    for (const auto& [name, link] : robot->links_) {
        if (link->child_links.size() >= 2) ++branchingLinks;
        ASSERT_EQ(link->collision_array.size(), 1u) << name;
        ASSERT_EQ(link->visual_array.size(), 1u) << name;
        collisionKinds.insert(link->collision_array.front()->geometry->type);
        visualKinds.insert(link->visual_array.front()->geometry->type);
    }
    for (const auto& [name, joint] : robot->joints_) {
        jointKinds.insert(joint->type);
        if (joint->type != urdf::Joint::FIXED) {
            EXPECT_TRUE(joint->limits) << name;
        }
    }
    EXPECT_GE(branchingLinks, 10u);
    EXPECT_EQ(collisionKinds.size(), 4u);
    EXPECT_EQ(visualKinds.size(), 4u);
    EXPECT_EQ(jointKinds, (std::set<int>{urdf::Joint::REVOLUTE, urdf::Joint::CONTINUOUS,
                                         urdf::Joint::PRISMATIC, urdf::Joint::FIXED}));
}

TEST(RobotGenerator, SameSizeGivesTheSameText) {
    EXPECT_EQ(generateRobot(50), generateRobot(50));
}

}  // namespace
