// Massless links held by fixed joints: which anchor each group gets, the order of its members, the
// negligible mass and inertia given to its massless members, and the kinematic lock that ties it.
#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "TestSupport.hpp"
#include "UrdfText.hpp"

using namespace corvane;
using namespace corvane::testing;

namespace {

const std::string kMass = "0.00000000000001";
const std::string kInertia = "0.000000000001";

std::string describeValue(const Expression& value) {
    switch (value.expressionKind()) {
        case Expression::Kind::Constant:
            return static_cast<const Constant&>(value).token().lexeme;
        case Expression::Kind::Array: {
            std::string text = "[";
            const auto& elements = static_cast<const Array&>(value).elements();
            for (std::size_t i = 0; i < elements.size(); ++i) {
                if (i > 0) text += ",";
                text += elements[i] ? describeValue(*elements[i]) : "<null>";
            }
            return text + "]";
        }
        case Expression::Kind::Reference: {
            std::string text;
            for (const auto& segment : static_cast<const Reference&>(value).segments()) {
                if (!text.empty()) text += ".";
                text += segment;
            }
            return text;
        }
    }
    return "<unknown>";
}

// "target is Type = value {member, member}", each part only when present.
std::string describe(const VarAssignment& node, bool withMembers) {
    std::string text = targetPath(node);
    if (node.declaresType()) text += " is " + typePath(node);
    if (node.value()) text += " = " + describeValue(*node.value());
    if (withMembers && !node.members().empty()) {
        text += " {";
        for (std::size_t i = 0; i < node.members().size(); ++i) {
            if (i > 0) text += ", ";
            text += describe(*node.members()[i], true);
        }
        text += "}";
    }
    return text;
}

// One line per model member; bodies without their contents, which other tests cover.
std::vector<std::string> outline(const DocumentPtr& document) {
    std::vector<std::string> lines;
    const auto model = modelOf(document);
    if (!model) return lines;
    for (const auto& member : model->members()) {
        const auto node = member ? member->toVarAssignment() : nullptr;
        if (!node) {
            lines.push_back("<not an assignment>");
            continue;
        }
        lines.push_back(describe(*node, typePath(*node) != "Physics3D.Bodies.RigidBody"));
    }
    return lines;
}

// The four lines that give `link` a negligible mass and diagonal inertia.
std::vector<std::string> negligible(const std::string& link) {
    return {link + ".inertia.mass = " + kMass, link + ".inertia.tensor.e00 = " + kInertia,
            link + ".inertia.tensor.e11 = " + kInertia, link + ".inertia.tensor.e22 = " + kInertia};
}

std::vector<std::string> concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::vector<VarAssignmentPtr> locksOf(const ModelDeclaration& model) {
    std::vector<VarAssignmentPtr> locks;
    for (const auto& node : assignments(model)) {
        if (typePath(*node) == "Physics.KinematicLock") locks.push_back(node);
    }
    return locks;
}

std::vector<std::string> lockBodies(const VarAssignment& lock) {
    std::vector<std::string> names;
    const auto bodies = findMember(lock, {"bodies"});
    if (!bodies || !bodies->value() || bodies->value()->expressionKind() != Expression::Kind::Array)
        return names;
    for (const auto& element : std::static_pointer_cast<Array>(bodies->value())->elements()) {
        names.push_back(element ? describeValue(*element) : "<null>");
    }
    return names;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Which links form a group

TEST(KinematicLocks, LinksWithMassNeedNoLockAndNoNegligibleMass) {
    const auto document = importUrdf(
        robot(linkWithMass("base", "2") + linkWithMass("a") + fixedJoint("j", "base", "a")));
    EXPECT_EQ(outline(document),
              (std::vector<std::string>{
                  "a is Physics3D.Bodies.RigidBody", "base is Physics3D.Bodies.RigidBody",
                  "j is Physics3D.Interactions.Lock {connectors = [base.j_mc,a.j_mc]}"}));
}

TEST(KinematicLocks, ChainOfMasslessLinksRidesOnItsLinkWithMass) {
    const auto document =
        importUrdf(robot(linkWithMass("base", "2") + link("a") + link("b") +
                         fixedJoint("j1", "base", "a") + fixedJoint("j2", "a", "b")));
    EXPECT_EQ(outline(document),
              concat({{"a is Physics3D.Bodies.RigidBody", "b is Physics3D.Bodies.RigidBody",
                       "base is Physics3D.Bodies.RigidBody",
                       "j2 is Physics3D.Interactions.Lock {connectors = [a.j2_mc,b.j2_mc]}",
                       "j1 is Physics3D.Interactions.Lock {connectors = [base.j1_mc,a.j1_mc]}"},
                      negligible("a"),
                      negligible("b"),
                      {"base_a_b_kinematic_lock is Physics.KinematicLock {bodies = [base,a,b]}"}}));
}

TEST(KinematicLocks, FirstLinkWithMassByNameWinsAMasslessLinkBetweenTwo) {
    // Reached from the parent p by the downward step.
    const auto fromParent =
        importUrdf(robot(linkWithMass("p", "2") + link("x") + linkWithMass("q") +
                         fixedJoint("jpx", "p", "x") + fixedJoint("jxq", "x", "q")));
    EXPECT_EQ(outline(fromParent),
              concat({{"p is Physics3D.Bodies.RigidBody", "q is Physics3D.Bodies.RigidBody",
                       "x is Physics3D.Bodies.RigidBody",
                       "jpx is Physics3D.Interactions.Lock {connectors = [p.jpx_mc,x.jpx_mc]}",
                       "jxq is Physics3D.Interactions.Lock {connectors = [x.jxq_mc,q.jxq_mc]}"},
                      negligible("x"),
                      {"p_x_kinematic_lock is Physics.KinematicLock {bodies = [p,x]}"}}));

    // Names swapped: the child p now reaches x by the upward step.
    const auto fromChild =
        importUrdf(robot(linkWithMass("q", "2") + link("x") + linkWithMass("p") +
                         fixedJoint("jqx", "q", "x") + fixedJoint("jxp", "x", "p")));
    EXPECT_EQ(outline(fromChild),
              concat({{"p is Physics3D.Bodies.RigidBody", "q is Physics3D.Bodies.RigidBody",
                       "x is Physics3D.Bodies.RigidBody",
                       "jqx is Physics3D.Interactions.Lock {connectors = [q.jqx_mc,x.jqx_mc]}",
                       "jxp is Physics3D.Interactions.Lock {connectors = [x.jxp_mc,p.jxp_mc]}"},
                      negligible("x"),
                      {"p_x_kinematic_lock is Physics.KinematicLock {bodies = [p,x]}"}}));
}

TEST(KinematicLocks, MasslessRootRidesOnItsChildWithMass) {
    const auto document =
        importUrdf(robot(link("root") + linkWithMass("child") + fixedJoint("j", "root", "child")));
    EXPECT_EQ(
        outline(document),
        concat({{"child is Physics3D.Bodies.RigidBody", "root is Physics3D.Bodies.RigidBody",
                 "j is Physics3D.Interactions.Lock {connectors = [root.j_mc,child.j_mc]}"},
                negligible("root"),
                {"child_root_kinematic_lock is Physics.KinematicLock {bodies = [child,root]}"}}));
}

TEST(KinematicLocks, MasslessPairWithoutMassInReachIsAnchoredOnItsFirstNameEitherWay) {
    // Parent a, child b; a link with mass hangs on a by a revolute joint, out of reach.
    const auto parentFirst =
        importUrdf(robot(link("a") + link("b") + linkWithMass("m") + fixedJoint("j", "a", "b") +
                         joint("r", "continuous", "a", "m")));
    EXPECT_EQ(outline(parentFirst),
              concat({{"a is Physics3D.Bodies.RigidBody", "b is Physics3D.Bodies.RigidBody",
                       "m is Physics3D.Bodies.RigidBody",
                       "j is Physics3D.Interactions.Lock {connectors = [a.j_mc,b.j_mc]}",
                       "r is Physics3D.Interactions.Hinge {connectors = [a.r_mc,m.r_mc]}"},
                      negligible("a"),
                      negligible("b"),
                      {"a_b_kinematic_lock is Physics.KinematicLock {bodies = [a,b]}"}}));

    // Parent b, child a: a is walked first and takes its parent by the upward step.
    const auto childFirst = importUrdf(robot(link("b") + link("a") + fixedJoint("j", "b", "a")));
    EXPECT_EQ(outline(childFirst),
              concat({{"a is Physics3D.Bodies.RigidBody", "b is Physics3D.Bodies.RigidBody",
                       "j is Physics3D.Interactions.Lock {connectors = [b.j_mc,a.j_mc]}"},
                      negligible("a"),
                      negligible("b"),
                      {"a_b_kinematic_lock is Physics.KinematicLock {bodies = [a,b]}"}}));
}

TEST(KinematicLocks, MasslessLinkJoinedOnlyByMovingJointsFormsNoGroup) {
    for (const std::string type : {"revolute", "continuous", "prismatic", "floating", "planar"}) {
        SCOPED_TRACE(type);
        const std::string axisAndLimit =
            R"(<axis xyz="0 0 1"/><limit lower="-1" upper="1" effort="1" velocity="1"/>)";
        const auto document = importUrdf(robot(linkWithMass("base") + link("m") + link("n") +
                                               joint("j1", type, "base", "m", axisAndLimit) +
                                               joint("j2", type, "m", "n", axisAndLimit)));
        const auto model = modelOf(document);
        ASSERT_TRUE(model);
        EXPECT_TRUE(locksOf(*model).empty());
        for (const auto& link : {"base", "m", "n"}) {
            EXPECT_FALSE(findMember(*model, {link, "inertia", "mass"})) << link;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Order within a group, order of groups, order of the model's members

TEST(KinematicLocks, GroupFollowsChildrenWithSubtreesThenTheParent) {
    const auto document =
        importUrdf(robot(linkWithMass("A") + link("p") + link("k1") + link("k2") + link("d") +
                         fixedJoint("jp", "p", "A") + fixedJoint("j1", "A", "k1") +
                         fixedJoint("j2", "A", "k2") + fixedJoint("jd", "k1", "d")));
    const auto lines = outline(document);
    ASSERT_EQ(lines.size(), 5u + 4u + 4u * 4u + 1u);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 9, lines.end()),
              concat({negligible("k1"),
                      negligible("d"),
                      negligible("k2"),
                      negligible("p"),
                      {"A_k1_d_k2_p_kinematic_lock is Physics.KinematicLock {bodies = "
                       "[A,k1,d,k2,p]}"}}));
}

TEST(KinematicLocks, ChildrenAreWalkedInTheOrderOfTheirJointNames) {
    // The joint names put k2 before k1, against the order of the link names.
    const auto document = importUrdf(robot(
        linkWithMass("A") + link("k1") + link("k2") + link("d") + fixedJoint("j2", "A", "k1") +
        fixedJoint("j1", "A", "k2") + fixedJoint("jd", "k1", "d")));
    const auto model = modelOf(document);
    ASSERT_TRUE(model);
    const auto locks = locksOf(*model);
    ASSERT_EQ(locks.size(), 1u);
    EXPECT_EQ(targetPath(*locks[0]), "A_k2_k1_d_kinematic_lock");
    EXPECT_EQ(lockBodies(*locks[0]), (std::vector<std::string>{"A", "k2", "k1", "d"}));
}

TEST(KinematicLocks, LocksComeInByteOrderOfAnchorNamesEachWithItsOwnName) {
    // "B" sorts before "a" byte by byte. The massless anchor "c" is found only in the second
    // pass, after "z" has claimed its group, yet its lock still comes before z's.
    const auto document = importUrdf(
        robot(linkWithMass("a") + linkWithMass("B") + linkWithMass("z") + link("x") + link("y") +
              link("w") + link("c") + link("e") + fixedJoint("ja", "a", "y") +
              joint("jb", "continuous", "a", "B") + joint("jc", "continuous", "a", "c") +
              fixedJoint("jd", "c", "e") + fixedJoint("je", "B", "x") +
              joint("jf", "continuous", "a", "z") + fixedJoint("jg", "z", "w")));
    const auto lines = outline(document);
    ASSERT_EQ(lines.size(), 8u + 7u + 5u * 4u + 4u);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 15, lines.end()),
              concat({negligible("x"),
                      {"B_x_kinematic_lock is Physics.KinematicLock {bodies = [B,x]}"},
                      negligible("y"),
                      {"a_y_kinematic_lock is Physics.KinematicLock {bodies = [a,y]}"},
                      negligible("c"),
                      negligible("e"),
                      {"c_e_kinematic_lock is Physics.KinematicLock {bodies = [c,e]}"},
                      negligible("w"),
                      {"z_w_kinematic_lock is Physics.KinematicLock {bodies = [z,w]}"}}));
}

TEST(KinematicLocks, ModelHoldsBodiesThenJointsThenGroups) {
    const auto document = importUrdf(
        robot(
            linkWithMass("base", "2") + linkWithMass("arm") + link("tool") +
            joint("j1", "revolute", "base", "arm",
                  R"(<axis xyz="0 0 1"/><limit lower="-1" upper="1" effort="10" velocity="1"/>)") +
            fixedJoint("j2", "arm", "tool")),
        3);
    EXPECT_EQ(
        outline(document),
        concat({{"arm is Physics3D.Bodies.RigidBody", "base is Physics3D.Bodies.RigidBody",
                 "tool is Physics3D.Bodies.RigidBody",
                 "j2 is Physics3D.Interactions.Lock {connectors = [arm.j2_mc,tool.j2_mc]}",
                 "j1 is Physics3D.Interactions.Hinge {connectors = [base.j1_mc,arm.j1_mc]}",
                 "j1_range is Physics3D.Interactions.RotationalRange {start = -1.000, end = 1.000, "
                 "connectors = [base.j1_mc,arm.j1_mc]}",
                 "j1_actuator is Physics.Interactions.Interaction1DOF {min_effort = -10.000, "
                 "max_effort = 10.000, connectors = [base.j1_mc,arm.j1_mc]}",
                 "j1.initial_angle = 0.000"},
                negligible("tool"),
                {"arm_tool_kinematic_lock is Physics.KinematicLock {bodies = [arm,tool]}"}}));
}

// ---------------------------------------------------------------------------------------------
// Tokens and texts

TEST(KinematicLocks, NegligibleMassTextsDoNotFollowThePrecision) {
    const std::string urdf =
        robot(linkWithMass("base", "2") + link("tool") + fixedJoint("j", "base", "tool"));
    for (const int precision : {3, 0, 20, -1}) {
        SCOPED_TRACE(precision);
        const auto lines = outline(importUrdf(urdf, precision));
        ASSERT_EQ(lines.size(), 3u + 4u + 1u);
        EXPECT_EQ(std::vector<std::string>(lines.begin() + 3, lines.end() - 1), negligible("tool"));
    }
}

TEST(KinematicLocks, LockAndNegligibleMassCarryTheHostTokenKinds) {
    const auto document = importUrdf(
        robot(linkWithMass("body", "2") + link("fl.hip") + fixedJoint("j", "body", "fl.hip")));
    const auto model = modelOf(document);
    ASSERT_TRUE(model);
    const auto locks = locksOf(*model);
    ASSERT_EQ(locks.size(), 1u);
    const VarAssignment& lock = *locks[0];

    EXPECT_EQ(lock.startToken(), Token::placeholder());
    EXPECT_EQ(
        lock.target(),
        (std::vector<Token>{Token{TokenKind::Identifier, "body_fl.hip_kinematic_lock", 0, 0}}));
    EXPECT_EQ(lock.isToken(), (Token{TokenKind::KeywordIs, "is", 0, 0}));
    EXPECT_EQ(lock.type(),
              (std::vector<Token>{Token{TokenKind::Identifier, "Physics", 0, 0},
                                  Token{TokenKind::Identifier, "KinematicLock", 0, 0}}));
    EXPECT_EQ(lock.endToken(), Token::placeholder());
    EXPECT_TRUE(lock.annotations().empty());
    EXPECT_FALSE(lock.value());
    ASSERT_EQ(lock.members().size(), 1u);

    const VarAssignment& bodies = *lock.members()[0];
    EXPECT_EQ(bodies.target(), (std::vector<Token>{Token{TokenKind::Identifier, "bodies", 0, 0}}));
    EXPECT_EQ(bodies.isToken(), Token::placeholder());
    EXPECT_TRUE(bodies.type().empty());
    EXPECT_TRUE(bodies.members().empty());
    ASSERT_TRUE(bodies.value());
    ASSERT_EQ(bodies.value()->expressionKind(), Expression::Kind::Array);
    const auto& array = static_cast<const Array&>(*bodies.value());
    EXPECT_EQ(array.openToken(), Token::placeholder());
    EXPECT_EQ(array.closeToken(), Token::placeholder());
    std::vector<Token> elements;
    for (const auto& element : array.elements()) {
        ASSERT_TRUE(element);
        ASSERT_EQ(element->expressionKind(), Expression::Kind::Constant);
        elements.push_back(static_cast<const Constant&>(*element).token());
    }
    EXPECT_EQ(elements, (std::vector<Token>{Token{TokenKind::Identifier, "body", 0, 0},
                                            Token{TokenKind::Identifier, "fl.hip", 0, 0}}));

    // The dotted link name stays one segment of the negligible-mass targets.
    const auto mass = findMember(*model, {"fl.hip", "inertia", "mass"});
    ASSERT_TRUE(mass);
    EXPECT_EQ(mass->isToken(), Token::placeholder());
    EXPECT_TRUE(mass->type().empty());
    ASSERT_TRUE(mass->value());
    ASSERT_EQ(mass->value()->expressionKind(), Expression::Kind::Constant);
    EXPECT_EQ(static_cast<const Constant&>(*mass->value()).token(),
              (Token{TokenKind::RealLiteral, kMass, 0, 0}));
    for (const std::string entry : {"e00", "e11", "e22"}) {
        const auto tensor = findMember(*model, {"fl.hip", "inertia", "tensor", entry});
        ASSERT_TRUE(tensor) << entry;
        for (const auto& token : tensor->target()) EXPECT_EQ(token.kind, TokenKind::Identifier);
        EXPECT_EQ(constantToken(*tensor), (Token{TokenKind::RealLiteral, kInertia, 0, 0}));
    }
    EXPECT_FALSE(findMember(*model, {"body", "inertia", "mass"}));
}

TEST(KinematicLocks, RepeatedImportsOnOnePluginGiveTheSameLocks) {
    const std::string urdf =
        robot(linkWithMass("base", "2") + link("tool") + fixedJoint("j", "base", "tool"));
    Plugins::Urdf::UrdfPlugin plugin;
    ErrorReporter reporter;
    const auto first = plugin.parse(urdf, nullptr, reporter);
    const auto second = plugin.parse(urdf, nullptr, reporter);
    EXPECT_EQ(outline(first), outline(second));
    const auto lines = outline(second);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(),
              "base_tool_kinematic_lock is Physics.KinematicLock {bodies = [base,tool]}");
}

// ---------------------------------------------------------------------------------------------
// Large and malformed link graphs

namespace {

std::string chainLinkName(std::size_t i) {
    std::string digits = std::to_string(i);
    return "l" + std::string(6 - digits.size(), '0') + digits;
}

// A link with mass, "base", and `length` massless links below it in a chain of fixed joints,
// named in ascending order down the chain.
std::string massChainUrdf(std::size_t length) {
    std::string body = linkWithMass("base");
    std::string parent = "base";
    for (std::size_t i = 1; i <= length; ++i) {
        const std::string child = chainLinkName(i);
        body += link(child) + fixedJoint("j" + child, parent, child);
        parent = child;
    }
    return robot(body, "chain");
}

// Runs `work` on a thread with a stack of `bytes`, far less than a walk that recursed once per link
// of a long chain would need.
void runOnSmallStack(std::size_t bytes, const std::function<void()>& work) {
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, bytes), 0);
    pthread_t thread;
    const auto run = [](void* argument) -> void* {
        (*static_cast<const std::function<void()>*>(argument))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attributes, run,
                             const_cast<void*>(static_cast<const void*>(&work))),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

}  // namespace

TEST(KinematicLocks, LongChainOfMasslessLinksImportsWithoutExhaustingTheStack) {
    constexpr std::size_t kLength = 100000;
    const std::string urdf = massChainUrdf(kLength);
    DocumentPtr document;
    // The whole import, the release of urdfdom's parsed robot included, on a 1 MiB stack.
    runOnSmallStack(std::size_t{1} << 20, [&] { document = importUrdf(urdf); });
    const auto model = modelOf(document);
    ASSERT_TRUE(model);
    // Bodies, joints, four negligible-mass members per chain link, then the one lock.
    ASSERT_EQ(model->members().size(), (kLength + 1) + kLength + 4 * kLength + 1);
    const auto lock = model->members().back()->toVarAssignment();
    ASSERT_TRUE(lock);
    EXPECT_EQ(typePath(*lock), "Physics.KinematicLock");

    std::vector<std::string> expected{"base"};
    for (std::size_t i = 1; i <= kLength; ++i) expected.push_back(chainLinkName(i));
    EXPECT_EQ(lockBodies(*lock), expected);
}

TEST(KinematicLocks, LinkWithTwoParentJointsIsLockedOnce) {
    const auto document =
        importUrdf(robot(linkWithMass("base") + link("a") + link("b") + link("shared") +
                         fixedJoint("j1", "base", "a") + fixedJoint("j2", "base", "b") +
                         fixedJoint("j3", "a", "shared") + fixedJoint("j4", "b", "shared")));
    const auto model = modelOf(document);
    if (!model) GTEST_SKIP() << "urdfdom refuses a link with two parent joints";
    const auto locks = locksOf(*model);
    ASSERT_EQ(locks.size(), 1u);
    EXPECT_EQ(lockBodies(*locks[0]), (std::vector<std::string>{"base", "a", "shared", "b"}));
}

TEST(KinematicLocks, CycleBelowAValidRootTerminatesAndLocksEachLinkOnce) {
    // a and b are each other's child: no link of the cycle is a root, base is the only one.
    const auto document = importUrdf(robot(
        linkWithMass("base") + link("a") + link("b") + link("c") + fixedJoint("j1", "base", "a") +
        fixedJoint("j2", "a", "b") + fixedJoint("j3", "b", "a") + fixedJoint("j4", "b", "c")));
    const auto model = modelOf(document);
    if (!model) GTEST_SKIP() << "urdfdom refuses a cycle of joints";
    std::map<std::string, int> timesLocked;
    for (const auto& lock : locksOf(*model)) {
        for (const auto& body : lockBodies(*lock)) ++timesLocked[body];
    }
    for (const auto& [link, times] : timesLocked) EXPECT_EQ(times, 1) << link;
    for (const auto& link : {"a", "b", "c"}) {
        int massAssignments = 0;
        for (const auto& node : assignments(*model)) {
            if (segmentsOf(*node) == std::vector<std::string>{link, "inertia", "mass"})
                ++massAssignments;
        }
        EXPECT_LE(massAssignments, 1) << link;
    }
}
