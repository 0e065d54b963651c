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
using corvane::Plugins::Urdf::LinkNames;

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

TEST(LinkNames, HoldsExactlyTheNamesAdded) {
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i) names.push_back("link_" + std::to_string(i));
    names.push_back("");
    names.push_back("link_7");  // added twice
    LinkNames set;
    set.reset(names.size());
    for (const auto& name : names) set.add(name);
    set.seal();
    for (const auto& name : names) EXPECT_TRUE(set.contains(name)) << name;
    for (const std::string absent : {"link_3000", "link_", "Link_7", "link_7 ", "joint_1"}) {
        EXPECT_FALSE(set.contains(absent)) << absent;
    }
    set.reset(0);
    set.seal();
    EXPECT_FALSE(set.contains("link_7"));
    EXPECT_FALSE(set.contains(""));
}
