#include "RobotGenerator.hpp"

#include <fmt/format.h>

#include <cstdint>
#include <iterator>
#include <string_view>

namespace corvane::bench {

namespace RobotLayout {

std::string linkName(std::size_t index) {
    return fmt::format("link_{}", index);
}

bool isMassless(std::size_t index) {
    return index % kMasslessEvery == kMasslessEvery - 1;
}

namespace {
// A well-mixed 64-bit value of `index` and `salt` (splitmix64), so that every figure of a link is
// a pure function of where it stands: no generator state to carry around.
std::uint64_t mix(std::uint64_t index, std::uint64_t salt) {
    std::uint64_t z = index * 0x9e3779b97f4a7c15ULL + salt * 0xbf58476d1ce4e5b9ULL + 1;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}
}  // namespace

std::size_t parentOf(std::size_t index) {
    if (index % kLimbLength != 0) return index - 1;
    return static_cast<std::size_t>(mix(index, 0) % index);
}

}  // namespace RobotLayout

namespace {

using RobotLayout::isMassless;
using RobotLayout::linkName;
using RobotLayout::parentOf;

// A figure in [low, high) that depends only on the link and the purpose (`salt`).
double figure(std::size_t index, std::uint64_t salt, double low, double high) {
    const std::uint64_t bits = RobotLayout::mix(index, salt) >> 11;  // 53 random bits
    const double unit = static_cast<double>(bits) / 9007199254740992.0;
    return low + unit * (high - low);
}

using Out = std::back_insert_iterator<fmt::memory_buffer>;

void writeOrigin(Out out, std::size_t index, std::uint64_t salt, double reach) {
    fmt::format_to(out, R"(<origin xyz="{:.4f} {:.4f} {:.4f}" rpy="{:.5f} {:.5f} {:.5f}"/>)",
                   figure(index, salt, -reach, reach), figure(index, salt + 1, -reach, reach),
                   figure(index, salt + 2, -reach, reach), figure(index, salt + 3, -3.14, 3.14),
                   figure(index, salt + 4, -1.57, 1.57), figure(index, salt + 5, -3.14, 3.14));
}

void writeInertial(Out out, std::size_t index) {
    fmt::format_to(out, "\n    <inertial>\n      ");
    writeOrigin(out, index, 10, 0.05);
    const double mass = figure(index, 20, 0.2, 8.0);
    fmt::format_to(out,
                   "\n      <mass value=\"{:.4f}\"/>\n      <inertia ixx=\"{:.6g}\" ixy=\"{:.6g}\" "
                   "ixz=\"{:.6g}\" iyy=\"{:.6g}\" iyz=\"{:.6g}\" izz=\"{:.6g}\"/>\n    </inertial>",
                   mass, mass * figure(index, 21, 0.001, 0.02), figure(index, 22, -1e-4, 1e-4),
                   figure(index, 23, -1e-4, 1e-4), mass * figure(index, 24, 0.001, 0.02),
                   figure(index, 25, -1e-4, 1e-4), mass * figure(index, 26, 0.001, 0.02));
}

// Sphere, box, cylinder or mesh, chosen by `kind`.
void writeGeometry(Out out, std::size_t index, std::size_t kind, std::uint64_t salt) {
    fmt::format_to(out, "\n      <geometry>");
    switch (kind % 4) {
        case 0:
            fmt::format_to(out, R"(<sphere radius="{:.4f}"/>)", figure(index, salt, 0.01, 0.2));
            break;
        case 1:
            fmt::format_to(out, R"(<box size="{:.4f} {:.4f} {:.4f}"/>)",
                           figure(index, salt, 0.02, 0.5), figure(index, salt + 1, 0.02, 0.5),
                           figure(index, salt + 2, 0.02, 0.5));
            break;
        case 2:
            fmt::format_to(out, R"(<cylinder radius="{:.4f}" length="{:.4f}"/>)",
                           figure(index, salt, 0.01, 0.1), figure(index, salt + 1, 0.05, 0.6));
            break;
        default:
            if (index % 2 == 0) {
                fmt::format_to(out, R"(<mesh filename="package://synthetic/meshes/link_{}.stl"/>)",
                               index);
            } else {
                fmt::format_to(out,
                               R"(<mesh filename="package://synthetic/meshes/link_{}.dae" )"
                               R"(scale="0.001 0.001 0.001"/>)",
                               index);
            }
            break;
    }
    fmt::format_to(out, "</geometry>");
}

void writeCollision(Out out, std::size_t index) {
    if (index % 3 == 0) {
        fmt::format_to(out, "\n    <collision name=\"{}_collision\">\n      ", linkName(index));
    } else {
        fmt::format_to(out, "\n    <collision>\n      ");
    }
    writeOrigin(out, index, 30, 0.1);
    writeGeometry(out, index, index, 40);
    fmt::format_to(out, "\n    </collision>");
}

void writeVisual(Out out, std::size_t index) {
    if (index % 2 == 0) {
        fmt::format_to(out, "\n    <visual name=\"{}_visual\">\n      ", linkName(index));
    } else {
        fmt::format_to(out, "\n    <visual>\n      ");
    }
    writeOrigin(out, index, 50, 0.1);
    writeGeometry(out, index, index + 2, 60);
    fmt::format_to(out,
                   "\n      <material name=\"grey\"><color rgba=\"0.6 0.6 0.6 1\"/></material>"
                   "\n    </visual>");
}

void writeLink(Out out, std::size_t index) {
    fmt::format_to(out, "  <link name=\"{}\">", linkName(index));
    if (!isMassless(index)) writeInertial(out, index);
    writeCollision(out, index);
    writeVisual(out, index);
    fmt::format_to(out, "\n  </link>\n");
}

std::string_view jointType(std::size_t index) {
    if (isMassless(index)) return "fixed";
    switch (RobotLayout::mix(index, 70) % 8) {
        case 5:
        case 6:
            return "continuous";
        case 7:
            return "prismatic";
        default:
            return "revolute";
    }
}

void writeAxis(Out out, std::size_t index) {
    static constexpr std::string_view kAxes[] = {"0 0 1", "0 1 0", "1 0 0", "0 0 -1"};
    fmt::format_to(out, "\n    <axis xyz=\"{}\"/>", kAxes[RobotLayout::mix(index, 71) % 4]);
}

void writeJoint(Out out, std::size_t index) {
    const std::string_view type = jointType(index);
    fmt::format_to(out, "  <joint name=\"joint_{}\" type=\"{}\">\n    ", index, type);
    writeOrigin(out, index, 80, 0.4);
    fmt::format_to(out, "\n    <parent link=\"{}\"/>\n    <child link=\"{}\"/>",
                   linkName(parentOf(index)), linkName(index));
    if (type != "fixed") {
        writeAxis(out, index);
        const double effort = figure(index, 90, 5.0, 300.0);
        const double velocity = figure(index, 91, 0.5, 4.0);
        if (type == "revolute") {
            fmt::format_to(out,
                           R"(
    <limit lower="{:.4f}" upper="{:.4f}" effort="{:.1f}" velocity="{:.2f}"/>)",
                           figure(index, 92, -3.1, -0.2), figure(index, 93, 0.2, 3.1), effort,
                           velocity);
        } else if (type == "prismatic") {
            fmt::format_to(out,
                           R"(
    <limit lower="{:.4f}" upper="{:.4f}" effort="{:.1f}" velocity="{:.2f}"/>)",
                           figure(index, 92, -0.3, 0.0), figure(index, 93, 0.05, 0.5), effort,
                           velocity);
        } else {
            fmt::format_to(out, R"(
    <limit effort="{:.1f}" velocity="{:.2f}"/>)",
                           effort, velocity);
        }
        fmt::format_to(out, R"(
    <dynamics damping="{:.3f}" friction="{:.3f}"/>)",
                       figure(index, 94, 0.0, 1.0), figure(index, 95, 0.0, 0.5));
    }
    fmt::format_to(out, "\n  </joint>\n");
}

}  // namespace

std::string generateRobot(std::size_t links) {
    if (links == 0) links = 1;
    fmt::memory_buffer text;
    // About 1.3 KB a link.
    text.reserve(links * 1400 + 256);
    const Out out(text);
    fmt::format_to(out, "<?xml version=\"1.0\"?>\n<robot name=\"synthetic_{}\">\n", links);
    for (std::size_t index = 0; index < links; ++index) {
        writeLink(out, index);
        if (index > 0) writeJoint(out, index);
    }
    fmt::format_to(out, "</robot>\n");
    return fmt::to_string(text);
}

}  // namespace corvane::bench
