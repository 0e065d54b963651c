// The link-tree check in front of urdfdom: it names exactly the tree problems urdfdom refuses after
// linking its tree, never one urdfdom accepts, and with it a long refused chain no longer reaches
// urdfdom, which would release it one nested call per link.
#include <console_bridge/console.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <tinyxml.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "LinkTreeCheck.hpp"
#include "NestingGuard.hpp"
#include "ParsedUrdf.hpp"
#include "TestSupport.hpp"
#include "UrdfText.hpp"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/lsan_interface.h>
#define CORVANE_PAUSE_LEAK_CHECKS() __lsan_disable()
#define CORVANE_RESUME_LEAK_CHECKS() __lsan_enable()
#else
#define CORVANE_PAUSE_LEAK_CHECKS()
#define CORVANE_RESUME_LEAK_CHECKS()
#endif

using namespace corvane::testing;
using corvane::Plugins::Urdf::isKeptTree;
using corvane::Plugins::Urdf::kLinksCheckedBeforeUrdfdom;
using corvane::Plugins::Urdf::LinkTreeFacts;
using corvane::Plugins::Urdf::linkTreeFactsOf;
using corvane::Plugins::Urdf::linkTreeProblem;
using corvane::Plugins::Urdf::measureDocument;
using corvane::Plugins::Urdf::parserInput;

namespace {

// True when urdfdom accepts `text`. urdfdom leaks the links of a cycle it refuses; that leak is
// its own, so leak checking is paused while it reads.
bool urdfdomAccepts(const std::string& text) {
    CORVANE_PAUSE_LEAK_CHECKS();
    const corvane::Plugins::Urdf::ParsedUrdf model(text);
    CORVANE_RESUME_LEAK_CHECKS();
    return static_cast<bool>(model);
}

// A chain of `links` links joined by fixed joints, root first. The names ascend from the root: the
// order in which urdfdom, refusing the chain, releases it one nested call per link.
std::string chainOfLinks(std::size_t links, const std::string& extra) {
    std::string body;
    body.reserve(links * 110);
    for (std::size_t i = 0; i < links; ++i) body += link("l" + std::to_string(1000000 + i));
    for (std::size_t i = 1; i < links; ++i) {
        body += fixedJoint("j" + std::to_string(i), "l" + std::to_string(1000000 + i - 1),
                           "l" + std::to_string(1000000 + i));
    }
    return robot(body + extra);
}

// Runs `work` on a thread with a stack of `bytes`, as a host may run its imports.
void runOnStackOf(std::size_t bytes, const std::function<void()>& work) {
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, bytes), 0);
    pthread_t thread;
    auto* task = new std::function<void()>(work);
    ASSERT_EQ(pthread_create(
                  &thread, &attributes,
                  [](void* argument) -> void* {
                      auto* job = static_cast<std::function<void()>*>(argument);
                      (*job)();
                      delete job;
                      return nullptr;
                  },
                  task),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
}

// The facts as "link names | joint:parent>child ...", for readable comparisons.
std::string describe(const LinkTreeFacts& facts) {
    std::string text;
    for (const auto name : facts.links) text.append(name).append(" ");
    text += "|";
    for (const auto& joint : facts.joints) {
        text.append(" ").append(joint.name).append(":").append(joint.parent).append(">");
        text.append(joint.child);
    }
    return facts.unnamedJoint ? text + " (unnamed joint)" : text;
}

// What the scan made of a text (its facts are views into the text, so only their description and
// verdicts are kept) and what the parser's document holds.
struct ScannedAndParsed {
    bool plain = false;
    bool kept = false;
    std::string scannedText;
    std::string parsedText;
};

// The facts of `text` as the nesting scan reads them and as the XML parser's document holds them.
ScannedAndParsed readBothWays(const std::string& text) {
    const std::string input = parserInput(text);
    ScannedAndParsed result;
    LinkTreeFacts scanned;
    measureDocument(std::string_view(input.c_str()), &scanned);
    result.plain = scanned.plain;
    result.kept = isKeptTree(scanned);
    result.scannedText = describe(scanned);
    TiXmlDocument document;
    document.Parse(input.c_str());
    EXPECT_FALSE(document.Error()) << document.ErrorDesc();
    result.parsedText = describe(linkTreeFactsOf(document));
    return result;
}

class LinkTree : public ::testing::Test {
  protected:
    void SetUp() override { console_bridge::setLogLevel(console_bridge::CONSOLE_BRIDGE_LOG_NONE); }
};

}  // namespace

TEST_F(LinkTree, NamesTheProblemsUrdfdomRefusesAfterLinking) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {robot(link("a") + fixedJoint("j", "a", "QQQ")),
         "joint j names the child link QQQ, which is not defined"},
        {robot(link("a") + fixedJoint("j", "QQQ", "a")),
         "joint j names the parent link QQQ, which is not defined"},
        {robot(link("a") + link("b") + fixedJoint("j", "", "b")),
         "joint j lacks a parent or a child link"},
        {robot(link("a") + link("b") +
               "<joint name=\"j\" type=\"fixed\"><child link=\"b\"/></joint>"),
         "joint j lacks a parent or a child link"},
        {robot(link("a") + link("b") + link("c") + fixedJoint("j", "a", "b")),
         "links a and c are both roots"},
        {robot(link("a") + link("b") + fixedJoint("j", "a", "b") + fixedJoint("k", "b", "a")),
         "no link is the root: the joints form a cycle"},
        {robot(link("a") + fixedJoint("j", "a", "a")),
         "no link is the root: the joints form a cycle"},
        {robot(link("a") + link("b") + fixedJoint("k", "a", "QQQ") + fixedJoint("j", "a", "ZZZ")),
         "joint j names the child link ZZZ, which is not defined"},
    };
    for (const auto& [text, problem] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(linkTreeProblem(text.c_str()), std::optional<std::string>(problem));
        EXPECT_FALSE(urdfdomAccepts(text));
    }
}

TEST_F(LinkTree, AcceptsWhatUrdfdomAcceptsAndLeavesEarlyRefusalsToIt) {
    const std::vector<std::string> accepted = {
        robot(link("a")),
        robot(link("a") + link("b") + fixedJoint("j", "a", "b")),
        robot("<link/>"),
        // No tree, but urdfdom accepts them: a cycle hanging off a root, a link with two parents.
        robot(link("r") + link("a") + link("b") + fixedJoint("j0", "r", "a") +
              fixedJoint("j1", "a", "b") + fixedJoint("j2", "b", "a")),
        robot(link("r") + link("a") + link("b") + link("c") + fixedJoint("ja", "r", "a") +
              fixedJoint("jb", "r", "b") + fixedJoint("jc1", "a", "c") +
              fixedJoint("jc2", "b", "c")),
    };
    for (const auto& text : accepted) {
        SCOPED_TRACE(text);
        EXPECT_EQ(linkTreeProblem(text.c_str()), std::nullopt);
        EXPECT_TRUE(urdfdomAccepts(text));
    }
    // urdfdom refuses these before it links anything.
    const std::vector<std::string> refusedEarly = {
        "<robot name=\"r\">",
        "<robot/>",
        robot(""),
        robot(link("a") + link("a")),
        robot(link("a") + link("b") + fixedJoint("j", "a", "b") + fixedJoint("j", "a", "b")),
        robot(link("a") + link("b") + "<joint type=\"fixed\"><parent link=\"a\"/></joint>"),
    };
    for (const auto& text : refusedEarly) {
        SCOPED_TRACE(text);
        EXPECT_EQ(linkTreeProblem(text.c_str()), std::nullopt);
        EXPECT_FALSE(urdfdomAccepts(text));
    }
}

TEST_F(LinkTree, NeverRefusesACorpusFileUrdfdomAccepts) {
    CORVANE_SKIP_WITHOUT_CORPUS();
    for (const auto* folder : {"valid", "refused"}) {
        for (const auto& path : corpusFiles(folder)) {
            const std::string text = readFile(path);
            if (linkTreeProblem(text.c_str())) {
                EXPECT_FALSE(urdfdomAccepts(text)) << path;
            }
            if (std::string(folder) == "valid") {
                EXPECT_EQ(linkTreeProblem(text.c_str()), std::nullopt) << path;
            }
        }
    }
}

// Without the check, urdfdom would link this chain, find a second root, and release the chain one
// nested call per link: beyond the 1 MiB stack of this thread from about 17,000 links.
TEST_F(LinkTree, LongChainUrdfdomWouldRefuseIsRefusedFirst) {
    const std::string text = chainOfLinks(30000, link("second_root"));
    LogCapture log;
    corvane::DocumentPtr document;
    runOnStackOf(std::size_t{1} << 20, [&] { document = importUrdf(text); });
    EXPECT_FALSE(document);
    const auto entries = log.entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].level, spdlog::level::warn);
    EXPECT_EQ(entries[0].message,
              "Refusing URDF document with 30001 links: links l1000000 and second_root are both "
              "roots");
}

TEST_F(LinkTree, SmallDescriptionsAreLeftToUrdfdom) {
    const std::string text = chainOfLinks(kLinksCheckedBeforeUrdfdom - 1, link("second_root"));
    LogCapture log;
    EXPECT_FALSE(importUrdf(text));
    EXPECT_TRUE(log.entries().empty());
}

TEST_F(LinkTree, ScanReadsTheRobotTheWayTheParserDoes) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {robot(link("a") + link("b") + fixedJoint("j", "a", "b")), "a b | j:a>b"},
        // Only the first top-level robot counts, and only its own children.
        {"<?xml version='1.0'?><!-- <robot> --><other><robot><link name='x'/></robot></other>" +
             robot(link("a") + "<gazebo><link name='g'/></gazebo>") + robot(link("z")),
         "a |"},
        {"<robot/>" + robot(link("a")), "|"},
        // Markup inside comments, CDATA, processing instructions and attribute values is text.
        {robot("<!-- <link name='c'/> --><![CDATA[<link name='d'/>]]><?pi <link name='e'/>?>" +
               link("a") + "<link name='f' note='<link name=\"g\"/>'></link>"),
         "a f |"},
        // A joint's first parent and child elements, directly inside it, give its links.
        {robot(link("a") + link("b") + link("c") +
               "<joint type='fixed' name='j'><origin xyz='0 0 0'><parent link='c'/></origin>"
               "<child link='b' extra='1'/><parent link='a'/><parent link='c'/>"
               "<child link='c'/></joint>" +
               "<joint name='k'><parent/></joint><joint><child link='a'/></joint>"),
         "a b c | j:a>b k:> :>a (unnamed joint)"},
    };
    for (const auto& [text, expected] : cases) {
        SCOPED_TRACE(text);
        const ScannedAndParsed read = readBothWays(text);
        EXPECT_TRUE(read.plain);
        EXPECT_EQ(read.scannedText, expected);
        EXPECT_EQ(read.parsedText, expected);
    }
}

TEST_F(LinkTree, NamesThatMayReadOtherwiseAreNotPlain) {
    for (const std::string name : {"a&amp;b", "&#97;", "a b", "caf\xC3\xA9", "tab\t"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(readBothWays(robot(link(name))).plain);
        EXPECT_FALSE(readBothWays(robot(link("a") + fixedJoint("j", name, "a"))).plain);
    }
    EXPECT_FALSE(readBothWays(robot("<link name=a/>")).plain);
    EXPECT_TRUE(readBothWays(robot(link("base_link.1-x:y"))).plain);
}

// Large descriptions whose names are not plain are settled on the full parse: names that agree
// only once their character references are read are a tree urdfdom keeps, and a problem that
// only shows once they are read is still refused.
TEST_F(LinkTree, LargeTreesWithCharacterReferencesAreReadLikeTheParser) {
    const std::string kept =
        chainOfLinks(1500, link("x&#38;y") + fixedJoint("jx", "l1000000", "x&amp;y"));
    EXPECT_EQ(linkTreeProblem(kept.c_str()), std::nullopt);
    EXPECT_TRUE(importUrdf(kept));

    const std::string refused =
        chainOfLinks(1500, link("x") + fixedJoint("jx", "&#108;1000000", "y"));
    LogCapture log;
    EXPECT_FALSE(importUrdf(refused));
    ASSERT_EQ(log.entries().size(), 1u);
    EXPECT_EQ(log.entries()[0].message,
              "Refusing URDF document with 1501 links: joint jx names the child link y, which "
              "is not defined");
}

TEST_F(LinkTree, ScanReadsEveryCorpusRobotLikeTheParser) {
    CORVANE_SKIP_WITHOUT_CORPUS();
    for (const auto& path : corpusFiles("valid")) {
        SCOPED_TRACE(path.filename().string());
        const ScannedAndParsed read = readBothWays(readFile(path));
        if (read.plain) {
            EXPECT_EQ(read.scannedText, read.parsedText);
        }
        EXPECT_EQ(read.kept, read.plain);
    }
}

// A link without a name is read as the empty name; a joint that names no child is still one
// urdfdom refuses, so the check must not take the nameless link for its child.
TEST_F(LinkTree, NamelessLinkIsNoJointsMissingChild) {
    const std::string text = robot("<link/>" + link("a") + fixedJoint("j", "a", ""));
    const std::string input = parserInput(text);
    LinkTreeFacts facts;
    measureDocument(std::string_view(input.c_str()), &facts);
    EXPECT_TRUE(facts.plain);
    EXPECT_FALSE(isKeptTree(facts));
    EXPECT_EQ(linkTreeProblem(text.c_str()), "joint j lacks a parent or a child link");
    EXPECT_FALSE(urdfdomAccepts(text));
}
