// What readDescriptionFacts finds left behind in real robots of ../shared/corpus: the kinds in
// their fixed order, the names urdfdom reads in name order, the unread elements in the order of
// the description, and those without a name standing for the robot.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "TestSupport.hpp"
#include "model/DescriptionFacts.hpp"

namespace {

using corvane::testing::corpusDir;
using corvane::testing::readFile;
using corvane::tools::DescriptionFacts;
using corvane::tools::LeftBehind;
using corvane::tools::readUrdfElements;

// The facts of `source`, read as the tool reads them: its elements once, then urdfdom's model.
DescriptionFacts readDescriptionFacts(const std::string& source) {
    return corvane::tools::readDescriptionFacts(source, readUrdfElements(source));
}

using Names = std::vector<std::optional<std::string>>;

DescriptionFacts factsOfCorpusFile(const std::string& name) {
    return readDescriptionFacts(readFile(*corpusDir() / "valid" / name));
}

std::vector<std::string> kindsOf(const DescriptionFacts& facts) {
    std::vector<std::string> kinds;
    for (const auto& item : facts.leftBehind) kinds.push_back(item.what);
    return kinds;
}

const LeftBehind& kind(const DescriptionFacts& facts, const std::string& what) {
    for (const auto& item : facts.leftBehind) {
        if (item.what == what) return item;
    }
    throw std::out_of_range("no left-behind kind " + what);
}

// A gripper with two transmissions, a mimic joint and gazebo elements, one of them for the
// whole robot.
TEST(DescriptionFacts, GripperWithTransmissionsMimicAndGazebo) {
    CORVANE_SKIP_WITHOUT_CORPUS();
    const DescriptionFacts facts = factsOfCorpusFile(
        "random__xacro_generated__schunk_modular_robotics__schunk_description__urdf__schunk_pg70."
        "urdf");
    EXPECT_EQ(facts.joints, 4u);
    EXPECT_EQ(kindsOf(facts),
              (std::vector<std::string>{"materials and colours", "visuals with a material",
                                        "mimic joints", "velocity limits", "transmissions",
                                        "gazebo extension elements"}));
    EXPECT_EQ(kind(facts, "materials and colours").names,
              (Names{"Schunk/Black", "Schunk/Blue", "Schunk/DarkGolden", "Schunk/DarkGrey",
                     "Schunk/LightGrey", "black"}));
    EXPECT_EQ(kind(facts, "mimic joints").names, (Names{"pg70_finger_right_joint"}));
    EXPECT_EQ(kind(facts, "velocity limits").names,
              (Names{"pg70_finger_left_joint", "pg70_finger_right_joint"}));
    EXPECT_EQ(kind(facts, "transmissions").names,
              (Names{"pg70_finger_left_trans", "pg70_finger_right_trans"}));
    const LeftBehind& gazebo = kind(facts, "gazebo extension elements");
    EXPECT_EQ(gazebo.names, (Names{"pg70_palm_link", "pg70_finger_left_link",
                                   "pg70_finger_right_link", std::nullopt}));
    EXPECT_EQ(gazebo.unnamed, "(robot)");
}

// A mobile robot whose sensors sit inside gazebo elements.
TEST(DescriptionFacts, MobileRobotWithSensorsInsideGazebo) {
    CORVANE_SKIP_WITHOUT_CORPUS();
    const DescriptionFacts facts = factsOfCorpusFile(
        "oems__xacro_generated__turtlebot3_robotis__turtlebot3_description__urdf__turtlebot3_"
        "burger.urdf");
    EXPECT_EQ(facts.joints, 6u);
    EXPECT_EQ(kindsOf(facts),
              (std::vector<std::string>{"materials and colours", "visuals with a material",
                                        "gazebo extension elements", "sensors"}));
    EXPECT_EQ(kind(facts, "sensors").names, (Names{"imu", "lds_lfcd_sensor"}));
    EXPECT_EQ(kind(facts, "gazebo extension elements").names,
              (Names{"base_link", "wheel_left_link", "wheel_right_link", "caster_back_link",
                     "imu_link", std::nullopt, std::nullopt, "base_scan"}));
}

TEST(DescriptionFacts, ARobotWithNothingLeftBehindListsNoKind) {
    const DescriptionFacts facts = readDescriptionFacts(
        "<robot name='r'><link name='a'/><link name='b'/>"
        "<joint name='j' type='fixed'><parent link='a'/><child link='b'/></joint></robot>");
    EXPECT_EQ(facts.joints, 1u);
    EXPECT_TRUE(facts.leftBehind.empty());
}

}  // namespace
