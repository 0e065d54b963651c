// Synthetic robot descriptions of any size that look like real ones, for measuring imports.
#pragma once

#include <cstddef>
#include <string>

namespace corvane::bench {

// How the generated robots are laid out; the functions below give each link's part in it, so that
// tests can check a generated text against the layout.
namespace RobotLayout {
// Links come in limbs: serial chains of this many links. The first link of every limb hangs on
// an earlier link of the tree, so the tree branches throughout, not only at the root.
inline constexpr std::size_t kLimbLength = 6;
// Every seventh link has no inertial data and hangs on a fixed joint.
inline constexpr std::size_t kMasslessEvery = 7;

// "link_<index>"; link 0 is the root.
std::string linkName(std::size_t index);
// True for the links without inertial data on fixed joints.
bool isMassless(std::size_t index);
// The index of the parent link of link `index` (> 0).
std::size_t parentOf(std::size_t index);
}  // namespace RobotLayout

// The URDF text of a robot named "synthetic_<links>" with `links` links (at least 1) and one joint
// per link but the root. Most links carry inertial data, one collision and one visual of mixed
// kinds (sphere, box, cylinder, mesh), the visuals with materials; joints are revolute,
// continuous and prismatic with limits, dynamics and rotated origins, and fixed for the massless
// links. The same `links` always gives the same text.
std::string generateRobot(std::size_t links);

}  // namespace corvane::bench
