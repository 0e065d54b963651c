// corvane-urdf as a user runs it: exit status, what reaches standard output and standard error,
// and the files it leaves behind.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <urdf_model/model.h>

#include <filesystem>
#include <iomanip>
#include <locale>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "ParsedUrdf.hpp"
#include "ScratchDir.hpp"
#include "TestSupport.hpp"
#include "ToolRun.hpp"

namespace {

namespace fs = std::filesystem;
// Parsed JSON is read with at(): a missing key or index throws and fails the test, where
// operator[] on a const value would read past the end.
using Json = nlohmann::json;
using corvane::testing::corpusFiles;
using corvane::testing::linesOf;
using corvane::testing::readFile;
using corvane::testing::runTool;
using corvane::testing::ScratchDir;
using corvane::testing::ToolRun;
using corvane::testing::writeFile;

const fs::path armExample = fs::path(CORVANE_SOURCE_DIR) / "examples" / "arm_robot.urdf";

std::string refusalLine(const std::string& name) {
    return "error: " + name + ": not a valid URDF robot description\n";
}

// The refusal of a text that is no well-formed XML names the line where the XML parser stopped.
std::string malformedXmlLine(const std::string& name, int line, const std::string& cause) {
    return "error: " + name + ":" + std::to_string(line) +
           ": not a valid URDF robot description: malformed XML: " + cause + "\n";
}

// Real literals as the default precision writes them.
std::string fixed10(double value) {
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << std::fixed << std::setprecision(10) << value;
    return text.str();
}

// ---------------------------------------------------------------------------------------------
// Over the corpus

struct Expected {
    std::vector<std::string> target;
    std::string lexeme;
};

// The centre-of-mass frame, mass and tensor members a link's inertial data calls for, in order.
std::vector<Expected> massMembersOf(const urdf::Inertial& inertial) {
    const auto& position = inertial.origin.position;
    const auto& rotation = inertial.origin.rotation;
    const std::vector<std::string> frame{"kinematics", "local_cm_transform"};
    auto framePath = [&frame](const std::string& part, const std::string& axis) {
        std::vector<std::string> path = frame;
        path.push_back(part);
        path.push_back(axis);
        return path;
    };
    auto tensor = [](const std::string& entry) {
        return std::vector<std::string>{"inertia", "tensor", entry};
    };
    return {
        {framePath("position", "x"), fixed10(position.x)},
        {framePath("position", "y"), fixed10(position.y)},
        {framePath("position", "z"), fixed10(position.z)},
        {framePath("rotation", "x"), fixed10(rotation.x)},
        {framePath("rotation", "y"), fixed10(rotation.y)},
        {framePath("rotation", "z"), fixed10(rotation.z)},
        {framePath("rotation", "w"), fixed10(rotation.w)},
        {{"inertia", "mass"}, fixed10(inertial.mass)},
        {tensor("e00"), fixed10(inertial.ixx)},
        {tensor("e11"), fixed10(inertial.iyy)},
        {tensor("e22"), fixed10(inertial.izz)},
        {tensor("e01"), fixed10(inertial.ixy)},
        {tensor("e10"), fixed10(inertial.ixy)},
        {tensor("e02"), fixed10(inertial.ixz)},
        {tensor("e20"), fixed10(inertial.ixz)},
        {tensor("e12"), fixed10(inertial.iyz)},
        {tensor("e21"), fixed10(inertial.iyz)},
    };
}

void expectBody(const Json& body, const urdf::Link& link) {
    SCOPED_TRACE("link " + link.name);
    EXPECT_EQ(body.at("target"), Json::array({link.name}));
    EXPECT_EQ(body.at("is"), true);
    EXPECT_EQ(body.at("type"), Json::array({"Physics3D", "Bodies", "RigidBody"}));
    const Json& members = body.at("members");
    if (!link.inertial) {
        for (const auto& member : members) {
            EXPECT_NE(member.at("target"), Json::array({"inertia", "mass"}));
        }
        return;
    }
    const auto expected = massMembersOf(*link.inertial);
    ASSERT_GE(members.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(members.at(i).at("target"), Json(expected[i].target)) << "member " << i;
        EXPECT_EQ(members.at(i).at("value").at("token").at("kind"), 20) << "member " << i;
        EXPECT_EQ(members.at(i).at("value").at("token").at("lexeme"), expected[i].lexeme)
            << "member " << i;
    }
}

TEST(ToolCorpus, ValidFilesGiveEveryLinkItsBodyWithItsMassMembers) {
    CORVANE_SKIP_WITHOUT_CORPUS();
    for (const auto& file : corpusFiles("valid")) {
        SCOPED_TRACE(file.filename().string());
        const corvane::Plugins::Urdf::ParsedUrdf robot(readFile(file));
        ASSERT_TRUE(robot);
        // read as urdfdom read it: a few keep xacro elements, which would be expanded
        const ToolRun run = runTool({"-f", "json", "--no-xacro", file.string()});
        ASSERT_EQ(run.status, 0) << run.err;
        const Json json = Json::parse(run.out);
        EXPECT_EQ(json.at("document"), "urdf");
        ASSERT_EQ(json.at("nodes").size(), 1u);
        const Json& model = json.at("nodes").at(0);
        EXPECT_EQ(model.at("node"), "ModelDeclaration");
        EXPECT_EQ(model.at("name"), robot->name_);
        EXPECT_EQ(model.at("type"), Json::array({"Robotics", "Robots", "Robot"}));
        // Bodies come first, in link-name order (links_ is a map ordered by name).
        ASSERT_GE(model.at("members").size(), robot->links_.size());
        std::size_t index = 0;
        for (const auto& [name, link] : robot->links_) {
            expectBody(model.at("members").at(index++), *link);
        }
    }
}

TEST(ToolCorpus, RefusedFilesExitOneWithTheErrorLineAndNoOutput) {
    CORVANE_SKIP_WITHOUT_CORPUS();
    for (const auto& file : corpusFiles("refused")) {
        SCOPED_TRACE(file.filename().string());
        const ToolRun run = runTool({"--no-xacro", file.string()});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        // urdfdom's own diagnostics come first, on standard error too.
        const auto lines = linesOf(run.err);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back() + "\n", refusalLine(file.string()));

        const ToolRun quiet = runTool({"-q", "-f", "json", "--no-xacro", file.string()});
        EXPECT_EQ(quiet.status, 1);
        EXPECT_EQ(quiet.out, "");
        EXPECT_EQ(quiet.err, refusalLine(file.string()));
    }
}

// ---------------------------------------------------------------------------------------------
// Input

TEST(ToolInput, UnreadableInputsAreIoErrorsNamingTheFileAndCause) {
    const ScratchDir scratch;
    const fs::path missing = scratch / "missing.urdf";
    ToolRun run = runTool({missing.string()});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "error: " + missing.string() + ": cannot open: No such file or directory\n");

    run = runTool({scratch.path().string()});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "error: " + scratch.path().string() + ": cannot read: Is a directory\n");
}

TEST(ToolInput, DashReadsStandardInput) {
    const ToolRun fromFile = runTool({armExample.string()});
    const ToolRun fromStdin = runTool({"-"}, readFile(armExample));
    EXPECT_EQ(fromStdin.status, 0) << fromStdin.err;
    EXPECT_EQ(fromStdin.out, fromFile.out);

    const ToolRun refused = runTool({"-q", "-"}, "<robot name='x'><link name='a'>");
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, malformedXmlLine("<stdin>", 1, "Error reading Element value."));
}

// An unclosed comment runs to the end of the text: the refusal names the line the text ends on,
// whether or not a line break ends it.
TEST(ToolInput, MalformedXmlRefusalNamesTheLineWhereTheTextEnds) {
    const ScratchDir scratch;
    for (const std::string ending : {"\n", ""}) {
        SCOPED_TRACE(ending.empty() ? "no line break at the end" : "a line break at the end");
        const fs::path file = scratch / "comment.urdf";
        writeFile(file, "<robot name='x'>\n<!-- c" + ending);
        const ToolRun run = runTool({"-q", file.string()});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, malformedXmlLine(file.string(), 2, "Error reading Element value."));
    }
}

// ---------------------------------------------------------------------------------------------
// Command line

TEST(ToolUsage, BadCommandLinesExitTwoWithOneLineOnStandardError) {
    const std::vector<std::vector<std::string>> commandLines{
        {},
        {"-f", "xml", armExample.string()},
        {"-p", "abc", armExample.string()},
        {"-p", "-1", armExample.string()},
        {"--import", "A..B", armExample.string()},
        {"--no-such-option", armExample.string()},
        {armExample.string(), armExample.string()},
    };
    for (const auto& arguments : commandLines) {
        SCOPED_TRACE(::testing::PrintToString(arguments));
        const ToolRun run = runTool(arguments);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(linesOf(run.err).size(), 1u) << run.err;
        EXPECT_EQ(run.err.rfind("error: ", 0), 0u) << run.err;
    }
}

TEST(ToolUsage, HelpGoesToStandardOutputAndSucceeds) {
    const ToolRun run = runTool({"--help"});
    EXPECT_EQ(run.status, 0);
    EXPECT_NE(run.out.find("Usage: corvane-urdf"), std::string::npos);
    EXPECT_EQ(run.err, "");
}

TEST(ToolOptions, ImportPathNamesTheModelAndPrecisionSetsTheDecimals) {
    const ToolRun run =
        runTool({"-f", "json", "--import", "Robots.Arms.MyArm", "-p", "3", armExample.string()});
    ASSERT_EQ(run.status, 0) << run.err;
    const Json model = Json::parse(run.out).at("nodes").at(0);
    EXPECT_EQ(model.at("name"), "MyArm");
    EXPECT_EQ(model.at("type"), Json::array({"Robotics", "Robots", "Robot"}));
    const Json& arm = model.at("members").at(0);
    ASSERT_EQ(arm.at("target"), Json::array({"arm"}));
    EXPECT_EQ(arm.at("members").at(7).at("target"), Json::array({"inertia", "mass"}));
    EXPECT_EQ(arm.at("members").at(7).at("value").at("token").at("lexeme"), "1.000");
}

TEST(ToolDiagnostics, PluginLogGoesToStandardErrorNamingTheFile) {
    const ScratchDir scratch;
    const fs::path file = scratch / "floating.urdf";
    // clang-format off
    writeFile(file, R"(<robot name="r">
      <link name="a"><inertial><mass value="1"/><inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial></link>
      <link name="b"><inertial><mass value="1"/><inertia ixx="1" ixy="0" ixz="0" iyy="1" iyz="0" izz="1"/></inertial></link>
      <joint name="float" type="floating"><parent link="a"/><child link="b"/></joint>
    </robot>)");
    // clang-format on
    const ToolRun run = runTool({"-f", "json", file.string()});
    EXPECT_EQ(run.status, 0);
    EXPECT_NO_THROW(Json::parse(run.out)) << "log lines must not reach the output";
    EXPECT_EQ(
        run.err,
        file.string() + ": error: Skipping unsupported joint type FloatingJoint for joint float\n");

    const ToolRun quiet = runTool({"-q", "-f", "json", file.string()});
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out, run.out);
    EXPECT_EQ(quiet.err, "");
}

TEST(ToolJson, NamesThatAreNotUtf8FailWithoutOutputButStayPrintableAsText) {
    const ScratchDir scratch;
    const fs::path file = scratch / "latin1.urdf";
    writeFile(file, "<robot name=\"caf\xe9\"><link name=\"a\"/></robot>");
    const ToolRun json = runTool({"-f", "json", file.string()});
    EXPECT_EQ(json.status, 1);
    EXPECT_EQ(json.out, "");
    EXPECT_EQ(json.err.rfind("error: " + file.string() + ": cannot write JSON: ", 0), 0u)
        << json.err;

    const ToolRun text = runTool({file.string()});
    EXPECT_EQ(text.status, 0);
    const auto lines = linesOf(text.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), "model 'caf\xe9' is Robotics.Robots.Robot");
}

// ---------------------------------------------------------------------------------------------
// Output files

TEST(ToolOutput, WritesTheDocumentToTheFileAndNothingElse) {
    const ScratchDir scratch;
    const fs::path out = scratch / "arm.json";
    const ToolRun run = runTool({"-f", "json", "-o", out.string(), armExample.string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(readFile(out), runTool({"-f", "json", armExample.string()}).out);
    EXPECT_EQ(scratch.entries(), std::vector<std::string>{"arm.json"}) << "no temporary left";
    struct stat info {};
    ASSERT_EQ(::stat(out.c_str(), &info), 0);
    EXPECT_NE(info.st_mode & S_IRUSR, 0u);
}

TEST(ToolOutput, FailedRunLeavesNoFileAndKeepsAnExistingOne) {
    const ScratchDir scratch;
    const fs::path bad = scratch / "bad.urdf";
    writeFile(bad, "<robot name='x'><link name='a'>");

    const ToolRun refused = runTool({"-q", "-o", (scratch / "new.txt").string(), bad.string()});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, malformedXmlLine(bad.string(), 1, "Error reading Element value."));
    EXPECT_EQ(scratch.entries(), std::vector<std::string>{"bad.urdf"});

    const fs::path existing = scratch / "old.txt";
    writeFile(existing, "previous result\n");
    EXPECT_EQ(runTool({"-q", "-o", existing.string(), bad.string()}).status, 1);
    EXPECT_EQ(readFile(existing), "previous result\n");
    EXPECT_EQ(scratch.entries(), (std::vector<std::string>{"bad.urdf", "old.txt"}));
}

TEST(ToolOutput, DeviceIsWrittenDirectlyAndNeverReplaced) {
    const ToolRun run = runTool({"-o", "/dev/null", armExample.string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
}

TEST(ToolOutput, UnwritableDestinationIsAnIoError) {
    const ScratchDir scratch;
    const fs::path out = scratch / "no-such-folder" / "arm.txt";
    const ToolRun run = runTool({"-o", out.string(), armExample.string()});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "error: " + out.string() + ": cannot write: No such file or directory\n");

    const ToolRun intoFolder = runTool({"-o", scratch.path().string(), armExample.string()});
    EXPECT_EQ(intoFolder.status, 2);
    EXPECT_EQ(intoFolder.err,
              "error: " + scratch.path().string() + ": cannot write: Is a directory\n");
    EXPECT_TRUE(scratch.entries().empty());
}

// ---------------------------------------------------------------------------------------------
// Host text

// Leaf assignments (no members) of a JSON node list, counted through the nesting.
std::size_t leafCount(const Json& nodes) {
    std::size_t count = 0;
    for (const auto& node : nodes) {
        count += node.at("members").empty() ? 1 : leafCount(node.at("members"));
    }
    return count;
}

TEST(ToolText, ArmExampleIsWellFormedHostText) {
    const ToolRun run = runTool({armExample.string()});
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = linesOf(run.out);
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), "model arm_robot is Robotics.Robots.Robot");
    EXPECT_EQ(lines.back(), "end arm_robot;");

    std::size_t depth = 1;
    std::size_t leaves = 0;
    for (std::size_t i = 1; i + 1 < lines.size(); ++i) {
        SCOPED_TRACE(lines[i]);
        const std::string& line = lines[i];
        const bool closes = line.find_first_not_of(' ') != std::string::npos &&
                            line.substr(line.find_first_not_of(' ')) == "}";
        if (closes) {
            ASSERT_GT(depth, 1u) << "unbalanced brace";
            --depth;
        }
        EXPECT_EQ(line.find_first_not_of(' '), 4 * depth) << "indentation";
        if (line.ends_with(" {")) {
            ++depth;
        } else if (!closes) {
            EXPECT_TRUE(line.ends_with(";"));
            ++leaves;
        }
    }
    EXPECT_EQ(depth, 1u);
    EXPECT_NE(run.out.find("\n    arm is Physics3D.Bodies.RigidBody {\n"), std::string::npos);
    EXPECT_NE(run.out.find("\n    base is Physics3D.Bodies.RigidBody {\n"), std::string::npos);

    const Json json = Json::parse(runTool({"-f", "json", armExample.string()}).out);
    EXPECT_EQ(leaves, leafCount(json.at("nodes").at(0).at("members")));
}

}  // namespace
