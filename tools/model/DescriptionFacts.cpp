#include "model/DescriptionFacts.hpp"

#include <console_bridge/console.h>
#include <urdf_model/model.h>

#include <functional>
#include <utility>

#include "NestingGuard.hpp"
#include "ParsedUrdf.hpp"
#include "model/UrdfElements.hpp"

namespace corvane::tools {

namespace {

// urdfdom's diagnostics are off while the description is read a second time.
class UrdfdomSilenced {
  public:
    UrdfdomSilenced() : previous_(console_bridge::getLogLevel()) {
        console_bridge::setLogLevel(console_bridge::CONSOLE_BRIDGE_LOG_NONE);
    }
    ~UrdfdomSilenced() { console_bridge::setLogLevel(previous_); }
    UrdfdomSilenced(const UrdfdomSilenced&) = delete;
    UrdfdomSilenced& operator=(const UrdfdomSilenced&) = delete;

  private:
    console_bridge::LogLevel previous_;
};

using Names = std::vector<std::optional<std::string>>;

Names jointsWhere(const urdf::ModelInterface& robot,
                  const std::function<bool(const urdf::Joint&)>& holds) {
    Names names;
    for (const auto& [name, joint] : robot.joints_) {
        if (joint && holds(*joint)) names.push_back(name);
    }
    return names;
}

Names materialNames(const urdf::ModelInterface& robot) {
    Names names;
    for (const auto& [name, material] : robot.materials_) names.push_back(name);
    return names;
}

// One name per visual that shows a material: its link's name.
Names linksOfVisualsWithMaterial(const urdf::ModelInterface& robot) {
    Names names;
    for (const auto& [name, link] : robot.links_) {
        if (!link) continue;
        for (const auto& visual : link->visual_array) {
            if (visual && visual->material) names.push_back(name);
        }
    }
    return names;
}

void addIfAny(std::vector<LeftBehind>& leftBehind, std::string what, Names names,
              std::string unnamed = "(unnamed)") {
    if (names.empty()) return;
    leftBehind.push_back(LeftBehind{std::move(what), std::move(names), std::move(unnamed)});
}

std::vector<LeftBehind> leftBehindByUrdfdom(const urdf::ModelInterface& robot) {
    std::vector<LeftBehind> leftBehind;
    addIfAny(leftBehind, "materials and colours", materialNames(robot));
    addIfAny(leftBehind, "visuals with a material", linksOfVisualsWithMaterial(robot));
    addIfAny(leftBehind, "joint dynamics",
             jointsWhere(robot, [](const urdf::Joint& joint) { return bool(joint.dynamics); }));
    addIfAny(leftBehind, "mimic joints",
             jointsWhere(robot, [](const urdf::Joint& joint) { return bool(joint.mimic); }));
    addIfAny(leftBehind, "safety controllers",
             jointsWhere(robot, [](const urdf::Joint& joint) { return bool(joint.safety); }));
    addIfAny(leftBehind, "calibration",
             jointsWhere(robot, [](const urdf::Joint& joint) { return bool(joint.calibration); }));
    // urdfdom requires a velocity in every limit element.
    addIfAny(leftBehind, "velocity limits",
             jointsWhere(robot, [](const urdf::Joint& joint) { return bool(joint.limits); }));
    return leftBehind;
}

}  // namespace

DescriptionFacts readDescriptionFacts(std::string_view source, const UrdfElements& elements) {
    DescriptionFacts facts;
    {
        const UrdfdomSilenced silenced;
        const Plugins::Urdf::ParsedUrdf robot(Plugins::Urdf::parserText(source));
        if (robot) {
            facts.joints = robot->joints_.size();
            facts.leftBehind = leftBehindByUrdfdom(*robot);
        }
    }
    const UnreadElements& unread = elements.unread();
    addIfAny(facts.leftBehind, "transmissions", unread.transmissions);
    addIfAny(facts.leftBehind, "gazebo extension elements", unread.gazeboReferences, "(robot)");
    addIfAny(facts.leftBehind, "sensors", unread.sensors);
    return facts;
}

}  // namespace corvane::tools
