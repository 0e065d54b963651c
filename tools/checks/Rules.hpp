// Every rule of --check in one table: its id (what a finding prints in brackets), its severity,
// what it checks in one line and, where it has one, the threshold it judges by. A finding is made
// from a rule of this table, so its severity is written here alone; `rule("id")` is resolved at
// compile time and an id missing from the table does not compile.
#pragma once

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "checks/Findings.hpp"

namespace corvane::tools {

struct Rule {
    std::string_view id;
    Severity severity = Severity::Error;
    std::string_view summary;
    // The limit the rule judges by, where it has a fixed one (0: it has none).
    double threshold = 0;
    // For --explain and the rules of a SARIF log: why a simulator (or the user) cares, and how
    // to mend the robot.
    std::string_view why;
    std::string_view remedy;
};

// In the order the checks of one body or one interaction apply them.
inline constexpr std::array kRules{
    Rule{"non-finite", Severity::Error, "a number of the document is an infinity or a NaN", 0,
         "a simulator cannot integrate an infinity or a NaN: the first step spreads it through the "
         "whole state, or the model compiler refuses the file",
         "write the number out in the URDF; look for a division by zero or an unset property in "
         "the program that wrote it"},
    Rule{"mass-negative", Severity::Error, "mass < 0", 0,
         "a negative mass makes the equations of motion accelerate the body against the force on "
         "it; simulators refuse it",
         "write the body's mass, in kilograms, as a positive number"},
    Rule{"mass-zero", Severity::Warning,
         "mass = 0 with an inertia tensor that is not 0 (a mass of 0 and a tensor of 0 locked to a "
         "body with mass is a frame, and fine)",
         0,
         "a tensor on a body without mass describes nothing a simulator can use, and a body that "
         "moves needs a mass",
         "give the body its mass, or set the tensor of a frame held by a fixed joint to 0"},
    Rule{"inertia-not-positive", Severity::Error,
         "smallest principal moment < -eps, on the URDF's numbers (eps = 0 for a diagonal "
         "tensor, else 4 DBL_EPSILON (|I1| + |I2| + |I3|): the rounding of the eigenvalues); a "
         "tensor whose moments are all below 1e-15 in size is 0 to a simulator and not judged",
         0,
         "a tensor with a negative principal moment gives a body negative kinetic energy for some "
         "rotations; simulators refuse it",
         "take the tensor from a CAD tool or a formula for the body's shape, in kg m^2, about the "
         "centre of mass"},
    Rule{"inertia-product", Severity::Error, "2|ixy| > izz + eps, and cyclic", 0,
         "no real body has a product of inertia this large against its moment; the tensor is not "
         "physical and simulators refuse it",
         "check the sign and the units of the products, or set them to 0 for a roughly symmetric "
         "body"},
    Rule{"inertia-triangle", Severity::Error, "I1 + I2 < I3 - eps for the principal moments", 0,
         "the principal moments of any real body satisfy the triangle inequality; simulators "
         "refuse a tensor that breaks it",
         "recompute the tensor for the body's shape; the message gives moments that satisfy it"},
    // A ring or a hollow shell, which concentrate mass away from their centre, stay well below
    // this factor; beyond it the inertia is taken for a mistake (units, or another body's values).
    Rule{"inertia-box", Severity::Warning,
         "the uniform box with the body's mass and principal moments has a side over this many "
         "times the largest extent of the body's contact geometry",
         10,
         "a tensor far too large for the body's size makes it sluggish and hides a unit mistake (g "
         "mm^2 for kg m^2) or another body's values",
         "check the tensor's units and that it belongs to this body; compute it from the body's "
         "shape"},
    Rule{"moving-body-massless", Severity::Error,
         "a body of a hinge or prismatic, with the bodies locked to it, is lighter than this "
         "(the URDF's masses; the import's negligible 1e-14 of a link without <inertial> does not "
         "count): a simulator refuses it",
         1e-15,
         "a body moved by a joint needs mass and inertia, or its acceleration is undefined; "
         "simulators refuse it",
         "give the body (or a body fixed to it) an <inertial> with its mass and tensor"},
    Rule{"mass-ratio", Severity::Warning,
         "the heaviest moving body is over this many times the lightest: stiff equations", 1000,
         "a very light body beside a very heavy one makes the equations stiff: the simulation "
         "needs small time steps or turns unstable",
         "check the light body's mass and units, or fix it to its neighbour if it need not move"},
    Rule{"moving-body-inertia-zero", Severity::Error,
         "a moving body with mass (its one body with mass, with the massless bodies locked to it) "
         "has a principal moment below this: a simulator refuses it",
         1e-15,
         "a body with mass but no moment about an axis would spin about it without resistance; "
         "simulators refuse it",
         "give the body its full inertia tensor, computed for its shape"},
    Rule{"root-world", Severity::Warning,
         "the root link is named 'world': the host fixes it to nothing, it becomes an ordinary "
         "body and the robot is free",
         0,
         "in ROS 'world' stands for the fixed frame, but the host knows no such name: the robot "
         "falls or drifts instead of standing fixed",
         "fix the robot in the host's model where it is used, or leave out the world link"},
    Rule{"precision-loss", Severity::Warning,
         "the document's numbers, rounded at the import's precision, break a mass or an inertia "
         "that the URDF's numbers keep",
         0,
         "the simulator gets the document's rounded numbers, not the URDF's: a sound tensor can "
         "turn indefinite and a small mass turn 0",
         "import with the precision the message names (-p), or write the numbers in larger units"},
    Rule{"geometry-size", Severity::Error, "a size, radius or height <= 0", 0,
         "a shape without volume cannot collide or be drawn; simulators refuse it",
         "give the sphere, box or cylinder its real, positive size in metres"},
    Rule{"mesh-scale-zero", Severity::Error, "a mesh scale factor is 0", 0,
         "a zero scale flattens the mesh to nothing: it neither collides nor shows",
         "write the scale factor, usually 1 (or 0.001 for a mesh in millimetres)"},
    Rule{"mesh-mirrored", Severity::Warning, "the product of the mesh scale factors is negative", 0,
         "a mirrored mesh has its faces turned inside out; contacts and shading come out wrong",
         "mirror the mesh file itself, or use a mesh of the other side"},
    Rule{"mesh-not-found", Severity::Error, "the mesh file is not where the locator looks", 0,
         "a mesh that cannot be found gives the body no shape: it does not collide or show",
         "give --package-path for package:// URIs, or correct the mesh file's path"},
    Rule{"mesh-unreadable", Severity::Error,
         "the mesh file is empty, no regular file or unreadable", 0,
         "an unreadable mesh gives the body no shape: it does not collide or show",
         "replace the file with a readable mesh (STL, OBJ or Collada)"},
    Rule{"axis-zero", Severity::Warning,
         "the URDF axis has a norm below this: no direction a simulator can use", 1e-8,
         "a zero axis gives the joint no direction; the import replaces it by (1, 0, 0), which is "
         "rarely what was meant",
         "write the joint's direction in the xyz of its <axis>, in the joint's frame"},
    Rule{"axis-not-unit", Severity::Warning, "| |axis| - 1 | is over this", 1e-6,
         "the host takes the axis as written, so a long or short axis scales the joint's motion "
         "and its limits",
         "write the axis as a unit vector; the message gives it"},
    Rule{"range-inverted", Severity::Error, "the range's start is above its end", 0,
         "a lower limit above the upper one leaves no position the joint may take; simulators "
         "refuse or clamp it",
         "swap the joint's lower and upper limits"},
    Rule{"range-empty", Severity::Warning, "the range's start equals its end", 0,
         "equal limits freeze the joint: it is a fixed joint in disguise, with the cost of a "
         "moving one",
         "give the joint its real range, or make it a fixed joint"},
    Rule{"initial-clamped", Severity::Note,
         "0 lies outside the range: the initial value sits on a bound", 0,
         "the initial value 0 lies outside the range, so the simulation starts with the joint "
         "pushed onto a limit",
         "check the range, or start the simulation at a position inside it"},
    Rule{"effort-negative", Severity::Error, "effort < 0", 0,
         "the effort limit bounds the actuator on both sides, so a negative one leaves no force to "
         "drive the joint",
         "write the effort limit as a positive number (N m for a hinge, N for a prismatic)"},
    Rule{"effort-zero", Severity::Warning, "effort = 0", 0,
         "an effort limit of 0 means the joint cannot be driven at all",
         "write the actuator's real effort limit, or make the joint passive on purpose"},
    Rule{"mimic-not-carried", Severity::Warning,
         "a joint mimics another: the document does not carry it, the host moves it on its own", 0,
         "the follower is not coupled to its leader: a gripper's fingers move apart, a linkage "
         "comes undone",
         "couple the joints in the host's model where it is used, or drive the follower too"},
    Rule{"mimic-invalid", Severity::Error,
         "a mimic names no joint of the robot, its own joint, or closes a cycle of mimics", 0,
         "a coupling to nothing, to itself or in a circle cannot be solved; programs that read "
         "mimics refuse it",
         "name an existing joint other than the follower as the mimic's joint, with no cycle"},
    // 10 m and 1 mm: no robot part is larger or smaller; a mesh drawn in millimetres and read as
    // metres lands a thousand times above its size, one scaled twice a thousand times below.
    Rule{"mesh-size", Severity::Warning,
         "the largest side of the mesh's box, after its scale and (Collada) its unit, is over "
         "this many metres or under 1 mm: a unit mistake",
         10,
         "a mesh a thousand times too large or too small gives the body the wrong shape for "
         "contacts and drawing, and usually a wrong inertia beside it",
         "set the mesh's scale (0.001 for a mesh drawn in millimetres), as the message says"},
    // A widely used simulator refuses meshes of more triangles than this.
    Rule{"mesh-heavy", Severity::Warning,
         "a mesh has over this many triangles, or a contact mesh over kContactMeshTriangles "
         "(50,000)",
         200000,
         "every contact test walks the mesh's triangles: a heavy contact mesh makes a simulation "
         "crawl, and a widely used simulator refuses meshes over 200,000 triangles",
         "use a simplified mesh or primitive shapes for <collision>, and keep the detailed mesh "
         "for <visual>"},
    Rule{"mesh-undecodable", Severity::Warning,
         "the mesh file's contents cannot be read as STL, OBJ or Collada", 0,
         "a simulator that cannot decode the mesh gives the body no shape, or refuses the robot",
         "export the mesh again from its source (STL, OBJ or Collada)"},
    Rule{"name-clash", Severity::Error,
         "two members of the document have one name: a joint renamed to joint_X (as a link is "
         "named X) beside a joint or link named joint_X, a name the import derives (X_range, "
         "X_actuator, a kinematic lock's) meeting another member's",
         0,
         "the host knows a model's members by their names alone: it cannot tell the two apart, "
         "so what names one of them may reach the other",
         "rename one of the two URDF elements the message names"},
    // What urdfdom reads past: judged on the URDF text, as the document keeps no trace of it.
    Rule{"xacro-unexpanded", Severity::Error,
         "an element of the xacro namespace in a file imported as URDF: the file was not expanded",
         0,
         "urdfdom reads past xacro elements, so the links, joints and values they would make are "
         "missing from the robot the simulator gets",
         "expand the file: declare the xacro namespace on its root element (a file written in "
         "xacro is expanded whatever its name), or give --xacro; do not give --no-xacro"},
    Rule{"element-misplaced", Severity::Warning,
         "an element urdfdom reads elsewhere stands where it is ignored (<origin> in <link> or "
         "<geometry>, <inertial> outside a link)",
         0,
         "urdfdom passes over the element without a word: the robot imports without what it "
         "says (a geometry stays at the link's origin, a mass goes to no body)",
         "move the element to where it belongs; the message names the places urdfdom reads it"},
    Rule{"element-misspelt", Severity::Warning,
         "an element urdfdom does not read is within a small edit distance of one it reads there "
         "(1 edit for names of up to 4 letters, 2 for longer)",
         0, "a misspelt element is skipped without a word: the robot imports without it",
         "correct the name; the message says which one was likely meant"},
    Rule{"attribute-misspelt", Severity::Warning,
         "an attribute urdfdom does not read is within a small edit distance of one it reads on "
         "that element (1 edit for names of up to 4 letters, 2 for longer)",
         0,
         "a misspelt attribute is skipped without a word and the value keeps its default (an "
         "axis written xzy= becomes (1, 0, 0))",
         "correct the attribute's name; the message says which one was likely meant"},
    Rule{"attribute-ignored", Severity::Warning,
         "an attribute that says something urdfdom does not read there: rpy on <axis>, iyx, izx "
         "or izy on <inertia>, safety-controller values on <limit>",
         0,
         "the value is dropped without a word: an axis is not turned by rpy, and of the "
         "symmetric tensor's products only ixy, ixz and iyz are read",
         "write the value where urdfdom reads it; the message says where"},
    Rule{"element-unknown", Severity::Note,
         "a child element of the core format that urdfdom does not read (other than the known "
         "extensions: gazebo, transmission, ros2_control, sensor, other XML namespaces)",
         0, "the element is for another program, or a mistake; urdfdom and the host ignore it",
         "nothing, if another program reads it; otherwise remove it"},
    Rule{"attribute-unknown", Severity::Note,
         "an attribute of the core format that urdfdom does not read", 0,
         "the attribute is for another program, or a mistake; urdfdom and the host ignore it",
         "nothing, if another program reads it; otherwise remove it"},
};

// Triangles a contact mesh may have before mesh-heavy warns. The real robots of the shared
// collection use contact meshes of 90 to 340 triangles where made for contact (the PR2) and
// their visual meshes of up to 44,578 (a Kinova hand) where those serve for contact too, and
// simulate well with them; a contact mesh past 50,000 is heavier than any of them, and every
// contact test walks it.
inline constexpr std::size_t kContactMeshTriangles = 50000;

// The rule with id `id`; an id that is not in the table stops the compilation.
consteval const Rule& rule(std::string_view id) {
    for (const Rule& candidate : kRules) {
        if (candidate.id == id) return candidate;
    }
    throw "no rule of this id in kRules";
}

// Every rule, in the order of the table.
std::span<const Rule> allRules();

// The rule with id `id`, or null: for ids known only at run time.
const Rule* findRule(std::string_view id);

// The findings of one check, in the order they are made.
class Findings {
  public:
    void add(const Rule& rule, std::string subject, std::string message, UrdfPlace place);
    std::vector<Finding> take() &&;

  private:
    std::vector<Finding> findings_;
};

}  // namespace corvane::tools
