// The flat look-ups the import makes per joint: the body of a link, found by the link, and
// whether some link has a name.
#include <gtest/gtest.h>
#include <urdf_model/link.h>

#include <corvane/Syntax.hpp>
#include <memory>
#include <string>
#include <vector>

#include "LinkLookup.hpp"

using corvane::VarAssignment;
using corvane::Plugins::Urdf::LinkBodies;
using corvane::Plugins::Urdf::NameTable;

namespace {

struct LinksAndBodies {
    std::vector<std::unique_ptr<urdf::Link>> links;
    std::vector<std::shared_ptr<VarAssignment>> bodies;

    explicit LinksAndBodies(std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            links.push_back(std::make_unique<urdf::Link>());
            bodies.push_back(
                VarAssignment::createAssignment(std::vector<corvane::Token>{}, nullptr));
        }
    }
};

}  // namespace

TEST(LinkBodies, FindsTheBodyOfEveryLinkAndNoneForOthers) {
    for (const std::size_t announced : {std::size_t{0}, std::size_t{1}, std::size_t{5000}}) {
        // More links than announced make the table grow; what it holds must survive that.
        const LinksAndBodies robot(5000);
        LinkBodies table;
        table.reset(announced);
        for (std::size_t i = 0; i < robot.links.size(); ++i) {
            table.insert(robot.links[i].get(), robot.bodies[i].get());
        }
        for (std::size_t i = 0; i < robot.links.size(); ++i) {
            ASSERT_EQ(table.find(robot.links[i].get()), robot.bodies[i].get())
                << "link " << i << " of 5000, " << announced << " announced";
        }
        const urdf::Link stranger;
        EXPECT_EQ(table.find(&stranger), nullptr);
        EXPECT_EQ(table.find(nullptr), nullptr);
    }
}

TEST(LinkBodies, KeepsTheFirstBodyAndForgetsAllOnReset) {
    const LinksAndBodies robot(2);
    LinkBodies table;
    EXPECT_EQ(table.find(robot.links[0].get()), nullptr) << "never reset";
    table.reset(1);
    table.insert(robot.links[0].get(), robot.bodies[0].get());
    table.insert(robot.links[0].get(), robot.bodies[1].get());
    table.insert(nullptr, robot.bodies[1].get());
    EXPECT_EQ(table.find(robot.links[0].get()), robot.bodies[0].get());
    table.reset(1);
    EXPECT_EQ(table.find(robot.links[0].get()), nullptr);
    table.insert(robot.links[0].get(), robot.bodies[1].get());
    table.clear();
    EXPECT_EQ(table.find(robot.links[0].get()), nullptr);
}

TEST(NameTable, HoldsExactlyTheNamesAddedWhateverRoomWasAnnounced) {
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i) names.push_back("link_" + std::to_string(i));
    names.push_back("");
    for (const std::size_t announced : {std::size_t{0}, std::size_t{1}, names.size()}) {
        NameTable table;
        EXPECT_FALSE(table.contains("link_7")) << "never reset";
        table.reset(announced);
        for (const auto& name : names) EXPECT_TRUE(table.insert(name)) << name;
        EXPECT_FALSE(table.insert("link_7")) << "added twice";
        EXPECT_FALSE(table.insert(""));
        for (const auto& name : names) EXPECT_TRUE(table.contains(name)) << name;
        for (const std::string absent : {"link_3000", "link_", "Link_7", "link_7 ", "joint_1"}) {
            EXPECT_FALSE(table.contains(absent)) << absent;
        }
        table.reset(0);
        EXPECT_FALSE(table.contains("link_7"));
        EXPECT_FALSE(table.contains(""));
    }
}

TEST(NameTable, KeepsAMarkPerNameThroughGrowth) {
    NameTable table;
    table.reset(1);
    ASSERT_TRUE(table.insert("base"));
    bool* const mark = table.markOf("base");
    ASSERT_NE(mark, nullptr);
    EXPECT_FALSE(*mark) << "unset when added";
    *mark = true;
    std::vector<std::string> more;
    for (int i = 0; i < 100; ++i) more.push_back("arm_" + std::to_string(i));
    for (const auto& name : more) table.insert(name);
    ASSERT_NE(table.markOf("base"), nullptr);
    EXPECT_TRUE(*table.markOf("base")) << "lost when the table grew";
    EXPECT_FALSE(*table.markOf("arm_50"));
    EXPECT_EQ(table.markOf("arm_100"), nullptr);
    table.clear();
    EXPECT_EQ(table.markOf("base"), nullptr);
}
