// Pieces of URDF text for the robot descriptions that tests write inline. Names and attribute
// values are put in as given, unescaped, so that tests can also write hostile ones.
#pragma once

#include <string>

namespace corvane::testing {

// A robot element named `name` around `body`.
inline std::string robot(const std::string& body, const std::string& name = "r") {
    return "<robot name=\"" + name + "\">" + body + "</robot>";
}

// An empty link element. A link with content is linkWith: a call link(name, content) would be
// taken for POSIX link(2), which also takes two strings.
inline std::string link(const std::string& name) {
    return "<link name=\"" + name + "\"/>";
}

// A link element around `content` (inertial data, visuals, collisions).
inline std::string linkWith(const std::string& name, const std::string& content) {
    return "<link name=\"" + name + "\">" + content + "</link>";
}

// Inertial data of mass `mass` with the unit inertia tensor, at the link's origin.
inline std::string unitInertial(const std::string& mass = "1") {
    return "<inertial><mass value=\"" + mass +
           "\"/><inertia ixx=\"1\" ixy=\"0\" ixz=\"0\" iyy=\"1\" iyz=\"0\" izz=\"1\"/></inertial>";
}

// A link with a mass of its own (and so in no kinematic lock of its own making).
inline std::string linkWithMass(const std::string& name, const std::string& mass = "1") {
    return linkWith(name, unitInertial(mass));
}

// A joint element of `type` from `parent` to `child`; `content` (axis, limit, origin) goes last.
inline std::string joint(const std::string& name, const std::string& type,
                         const std::string& parent, const std::string& child,
                         const std::string& content = "") {
    return "<joint name=\"" + name + "\" type=\"" + type + "\"><parent link=\"" + parent +
           "\"/><child link=\"" + child + "\"/>" + content + "</joint>";
}

inline std::string fixedJoint(const std::string& name, const std::string& parent,
                              const std::string& child) {
    return joint(name, "fixed", parent, child);
}

}  // namespace corvane::testing
