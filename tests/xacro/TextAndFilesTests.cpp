// What the expander keeps of a file's text (CDATA, comments), which files an include pattern
// names, how a malformed included file is reported, and which texts are xacro by their content.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "Glob.hpp"
#include "corvane/xacro/Expander.hpp"
#include "corvane/xacro/Recognition.hpp"

namespace corvane::xacro {
namespace {

namespace fs = std::filesystem;

class XacroText : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("corvane-xacro-text-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    fs::path write(const std::string& name, const std::string& text) const {
        fs::create_directories((folder_ / name).parent_path());
        std::ofstream(folder_ / name) << text;
        return folder_ / name;
    }
    static std::string robot(const std::string& body) {
        return "<robot name='r' xmlns:xacro='http://www.ros.org/wiki/xacro'>" + body + "</robot>";
    }
    // The expansion of BODY without its declaration and root tags.
    std::string expanded(const std::string& body) const {
        const std::string urdf = expandFile(write("top.xacro", robot(body)), {}).urdf;
        const auto start = urdf.find("<robot name=\"r\">") + 16;
        return urdf.substr(start, urdf.rfind("</robot>") - start);
    }
    fs::path folder_;
};

// clang-format off
TEST_F(XacroText, CdataIsCopiedAsWrittenAndNeverSubstituted) {
    EXPECT_EQ(expanded("<xacro:property name='p' value='1'/>"
                       "<link name='${p}'><![CDATA[ ${p} $(arg x) & <b> ]]></link>"),
              "\n    <link name=\"1\"><![CDATA[ ${p} $(arg x) & <b> ]]></link>\n");
}

TEST_F(XacroText, ACommentInAMacroBodyAppearsAtEachCallAsWritten) {
    EXPECT_EQ(expanded("<xacro:macro name='m' params='n'><!-- part ${n} --><link name='l${n}'/>"
                       "</xacro:macro><xacro:m n='1'/><xacro:m n='2'/>"),
              "\n    <!-- part ${n} -->\n    <link name=\"l1\"/>\n"
              "    <!-- part ${n} -->\n    <link name=\"l2\"/>\n");
}

TEST_F(XacroText, CommentsRightAboveAXacroElementGoWithIt) {
    // each comment at most one line break from the next node is dropped with the element below
    EXPECT_EQ(expanded("\n<!-- kept: a blank line follows -->\n\n"
                       "<!-- about the macro -->\n<!-- and this too -->\n"
                       "<xacro:macro name='m' params=''><a/></xacro:macro>\n"
                       "<!-- about the call --><xacro:m/>\n"
                       "<!-- about the condition -->\n<xacro:if value='1'><b/></xacro:if>\n"
                       "<!-- about the include -->\n<xacro:include filename='none*.xacro'/>\n"
                       "<!-- about a link: kept -->\n<link name='c'/>\n"
                       "<!-- text between: kept -->\nwords\n<xacro:m/>"),
              "\n    <!-- kept: a blank line follows -->\n    <a/>\n    <b/>\n"
              "    <!-- about a link: kept -->\n    <link name=\"c\"/>\n"
              "    <!-- text between: kept -->\nwords\n<a/>");
}
// clang-format on

TEST_F(XacroText, MalformedXmlInAnIncludedFileIsReportedAtItsOwnLine) {
    write("parts/arm.xacro", "<robot>\n<link name='a'>\n  <visual>\n</link>\n</robot>\n");
    write("middle.xacro", robot("<xacro:macro name='m' params=''>\n"
                                "<xacro:include filename='parts/arm.xacro'/>\n</xacro:macro>"));
    const fs::path top =
        write("top.xacro", robot("\n<xacro:include filename='middle.xacro'/>\n<xacro:m/>"));
    try {
        expandFile(top, {});
        FAIL() << "a malformed included file expanded";
    } catch (const ExpansionError& error) {
        EXPECT_STREQ(error.what(), "malformed XML: element 'visual' is not closed by its end tag");
        EXPECT_EQ(error.where().file, (folder_ / "parts/arm.xacro").string());
        EXPECT_EQ(error.where().line, 3);
        const std::string report = error.report();
        EXPECT_NE(
            report.find("middle.xacro:2: note: in file '" + (folder_ / "parts/arm.xacro").string() +
                        "' included here\n" + (folder_ / "top.xacro").string() +
                        ":3: note: in macro 'm' called here\n"),
            std::string::npos)
            << report;
        EXPECT_EQ(report.find("XML_ERROR"), std::string::npos) << report;
    }
    // the top file's own faults read alike
    try {
        expandText("<robot>\n<!-- unclosed\n</robot>", folder_ / "text.xacro", {});
        FAIL() << "an unclosed comment expanded";
    } catch (const ExpansionError& error) {
        EXPECT_STREQ(error.what(), "malformed XML: a comment is not closed by -->");
        EXPECT_EQ(error.where().line, 2);
    }
}

// What Python's glob finds below FOLDER for each pattern, sorted; nothing without python3.
std::optional<std::vector<std::vector<std::string>>> pythonGlobs(
    const fs::path& folder, const std::vector<std::string>& patterns) {
    std::string command = "cd '" + folder.string() +
                          "' && python3 -c 'import glob, sys\n"
                          "for p in sys.argv[1:]: print(\"\\n\".join(sorted(glob.glob(p))) + "
                          "\"\\n--\")'";
    for (const std::string& pattern : patterns) command += " '" + pattern + "'";
    std::FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
    if (!pipe) return std::nullopt;
    std::string out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    if (::pclose(pipe) != 0) return std::nullopt;
    std::vector<std::vector<std::string>> found(1);
    for (std::size_t from = 0; from < out.size();) {
        const auto end = out.find('\n', from);
        const std::string line = out.substr(from, end - from);
        if (line == "--")
            found.emplace_back();
        else if (!line.empty())
            found.back().push_back(line);
        from = end + 1;
    }
    found.pop_back();
    return found;
}

TEST_F(XacroText, IncludePatternsMatchAsPythonsGlobInSortedOrder) {
    for (const char* name :
         {"a1.xacro", "a2.xacro", "b1.xacro", "B1.xacro", "ab.xacro", "a-.xacro", "a!.xacro",
          "a].xacro", ".hidden.xacro", "x[1].xacro", "z.urdf", "é.xacro", "sub/c1.xacro",
          "sub/.d.xacro", "other/c2.xacro", "other/deep/c3.xacro"})
        write(name, "<robot/>");
    const std::vector<std::string> patterns = {
        "*.xacro",      "a?.xacro",   "[ab]*",    "[!a]*",       "[a-b]1.xacro", "[b-a]*",
        "[!b-a]*",      "a[-]*",      "a[!-]*",   "a[]]*",       "a[!]]*",       "x[1].xacro",
        "x[[]1].xacro", "[",          "a[",       "?.xacro",     "*/c*.xacro",   "*/*",
        "*/.*",         ".*",         "*/deep/*", "s*/c?.xacro", "none*",        "[A-Z]*",
        "a[--1]*",      "**/*.xacro", "sub/*",    "a[!--1]*"};
    const auto python = pythonGlobs(folder_, patterns);
    if (!python)
        GTEST_SKIP() << "no python3: the include patterns are not compared with Python's glob";
    ASSERT_EQ(python->size(), patterns.size());
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        SCOPED_TRACE(patterns[i]);
        std::vector<std::string> ours;
        for (const std::string& path : globMatches(folder_, patterns[i]))
            ours.push_back(fs::path(path).lexically_relative(folder_).string());
        EXPECT_EQ(ours, (*python)[i]);
    }
}

TEST(XacroRecognition, AFileIsXacroWhenItsRootDeclaresTheNamespaceAndUsesIt) {
    const std::string declared = "<robot name='r' xmlns:xacro='http://ros.org/wiki/xacro'>";
    const struct {
        std::string text;
        bool xacro;
    } cases[] = {
        {declared + "<xacro:arg name='n' default=''/><link name='${n}a'/></robot>", true},
        {declared + "<link name='a'><xacro:insert_block name='b'/></link></robot>", true},
        {"<robot xmlns:x='http://wiki.ros.org/xacro'><x:property name='p'/></robot>", true},
        {"<robot xmlns:xacro='https://www.ros.org/wiki/xacro/'><xacro:if value='1'/></robot>",
         true},
        // made by xacro: the declaration is left, no element of the namespace
        {declared + "<link name='a'/><!-- <xacro:property name='p'/> --></robot>", false},
        // an element of the prefix without the declaration on the root
        {"<robot><link name='a' xmlns:xacro='http://ros.org/wiki/xacro'><xacro:property "
         "name='p'/></link></robot>",
         false},
        {"<robot xmlns:xacro='http://example.com/xacro'><xacro:property name='p'/></robot>", false},
        {"<robot name='${x}'><link name='xacro'/></robot>", false},
        {declared + "<xacro:arg name='n'/>", false},  // not XML: read and reported as URDF
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(isXacroDocument(c.text), c.xacro) << c.text;
}

}  // namespace
}  // namespace corvane::xacro
