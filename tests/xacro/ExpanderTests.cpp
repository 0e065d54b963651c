// The xacro expander against the cases of ../shared/xacro (read at test time): feature and error
// cases, real robots, and hostile files that must end in an error.
#include <gtest/gtest.h>
#include <tinyxml2.h>

#include <algorithm>
#include <charconv>
#include <chrono>
#include <fstream>
#include <set>
#include <sstream>

#include "XacroCases.hpp"
#include "corvane/xacro/Expander.hpp"

namespace corvane::xacro {
namespace {

namespace fs = std::filesystem;
using corvane::testing::packageFinderBelow;
using corvane::testing::readXacroCases;
using corvane::testing::xacroCaseArgs;

fs::path xacroDir() {
    return fs::path(CORVANE_SHARED_DIR) / "xacro";
}

#define SKIP_WITHOUT_SHARED()          \
    if (!fs::is_directory(xacroDir())) \
    GTEST_SKIP() << "no ../shared/xacro beside this checkout: xacro case tests skipped"

std::optional<double> numberOf(const std::string& text) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    if (result.ec != std::errc() || result.ptr != end) return std::nullopt;
    return value;
}

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string word; in >> word;) out.push_back(word);
    return out;
}

// Texts are equal when their words are, words that both read as numbers by value.
bool sameText(const std::string& a, const std::string& b) {
    const auto left = words(a);
    const auto right = words(b);
    if (left.size() != right.size()) return false;
    for (std::size_t i = 0; i < left.size(); ++i) {
        if (left[i] == right[i]) continue;
        const auto x = numberOf(left[i]);
        const auto y = numberOf(right[i]);
        if (!x || !y || std::abs(*x - *y) > 1e-9 * std::max(1.0, std::abs(*y))) return false;
    }
    return true;
}

// The first difference between two elements, or "" when they are the same document.
std::string difference(const tinyxml2::XMLElement& got, const tinyxml2::XMLElement& want,
                       bool comments, const std::string& path) {
    const std::string here = path + "/" + want.Name();
    if (std::string_view(got.Name()) != want.Name())
        return here + ": element " + got.Name() + " instead of " + want.Name();
    std::map<std::string, std::string> gotAttributes, wantAttributes;
    for (const auto* a = got.FirstAttribute(); a; a = a->Next())
        gotAttributes[a->Name()] = a->Value();
    for (const auto* a = want.FirstAttribute(); a; a = a->Next())
        wantAttributes[a->Name()] = a->Value();
    gotAttributes.erase("xmlns:xacro");
    wantAttributes.erase("xmlns:xacro");
    for (const auto& [name, value] : wantAttributes) {
        const auto it = gotAttributes.find(name);
        if (it == gotAttributes.end()) return here + ": attribute " + name + " missing";
        if (!sameText(it->second, value))
            return here + "@" + name + ": '" + it->second + "' instead of '" + value + "'";
    }
    if (gotAttributes.size() != wantAttributes.size()) return here + ": extra attributes";
    const auto childrenOf = [comments](const tinyxml2::XMLElement& e) {
        std::vector<const tinyxml2::XMLNode*> nodes;
        for (const auto* n = e.FirstChild(); n; n = n->NextSibling()) {
            if (n->ToElement() || (comments && n->ToComment()))
                nodes.push_back(n);
            else if (n->ToText() && !words(n->Value()).empty())
                nodes.push_back(n);
        }
        return nodes;
    };
    const auto gotChildren = childrenOf(got);
    const auto wantChildren = childrenOf(want);
    for (std::size_t i = 0; i < std::min(gotChildren.size(), wantChildren.size()); ++i) {
        const auto* g = gotChildren[i];
        const auto* w = wantChildren[i];
        if (w->ToElement() && g->ToElement()) {
            const std::string inner = difference(*g->ToElement(), *w->ToElement(), comments, here);
            if (!inner.empty()) return inner;
        } else if ((w->ToText() && g->ToText()) || (w->ToComment() && g->ToComment())) {
            if (!sameText(g->Value(), w->Value()))
                return here + ": text '" + g->Value() + "' instead of '" + w->Value() + "'";
        } else {
            return here + ": node " + std::to_string(i) + " differs in kind";
        }
    }
    if (gotChildren.size() != wantChildren.size())
        return here + ": " + std::to_string(gotChildren.size()) + " children instead of " +
               std::to_string(wantChildren.size());
    return "";
}

std::string compareWithExpected(const std::string& urdf, const fs::path& expected, bool comments) {
    tinyxml2::XMLDocument got;
    tinyxml2::XMLDocument want;
    if (got.Parse(urdf.c_str()) != tinyxml2::XML_SUCCESS) return "the expansion is not XML";
    if (want.LoadFile(expected.string().c_str()) != tinyxml2::XML_SUCCESS)
        return "cannot read " + expected.string();
    if (!got.RootElement() || !want.RootElement()) return "no root element";
    return difference(*got.RootElement(), *want.RootElement(), comments, "");
}

// Feature cases this expander does not yet expand as the reference does, with the reason.
const std::map<std::string, std::string> knownFeatureFailures = {};

TEST(XacroFeatureCases, EveryCaseExpandsAsExpectedOrFailsNamingTheFault) {
    SKIP_WITHOUT_SHARED();
    const fs::path dir = xacroDir() / "features";
    const auto cases = readXacroCases(dir / "CASES.tsv");
    ASSERT_FALSE(cases.empty());
    for (const auto& row : cases) {
        SCOPED_TRACE(row.at("case"));
        ExpandOptions options;
        options.args = xacroCaseArgs(row.at("args"));
        options.findPackage = packageFinderBelow(dir / row.at("package_path"));
        const fs::path file = dir / row.at("file");
        if (row.at("compare") == "error") {
            try {
                expandFile(file, options);
                ADD_FAILURE() << "the expansion should fail";
            } catch (const ExpansionError& error) {
                EXPECT_NE(error.report().find(row.at("stderr_key")), std::string::npos)
                    << error.report();
                EXPECT_NE(error.where().file.find(".xacro"), std::string::npos);
            }
            continue;
        }
        std::string failure;
        try {
            const Expansion expansion = expandFile(file, options);
            // a case that prints a message names it in stderr_key
            if (!row.at("stderr_key").empty()) {
                const auto& messages = expansion.messages;
                EXPECT_TRUE(std::any_of(messages.begin(), messages.end(),
                                        [&](const auto& m) {
                                            return m.text.find(row.at("stderr_key")) !=
                                                       std::string::npos &&
                                                   m.where.file == file.string() &&
                                                   m.where.line > 0;
                                        }))
                    << "no message '" << row.at("stderr_key") << "'";
            }
            failure =
                compareWithExpected(expansion.urdf, dir / "expected" / (row.at("case") + ".urdf"),
                                    row.at("compare") == "xml+comments");
        } catch (const ExpansionError& error) {
            failure = error.report();
        }
        if (knownFeatureFailures.count(row.at("case")))
            EXPECT_NE(failure, "") << "this case now passes: take it off the known failures";
        else
            EXPECT_EQ(failure, "");
    }
}

// Robots this expander does not yet expand as the reference does (their comments included),
// with the reason.
const std::map<std::string, std::string> knownRobotFailures = {};

TEST(XacroRobots, RealRobotsExpandToTheExpectedDocument) {
    SKIP_WITHOUT_SHARED();
    const auto cases = readXacroCases(xacroDir() / "CASES.tsv");
    ASSERT_FALSE(cases.empty());
    std::size_t passed = 0;
    std::string fixed;
    std::string failedText;
    for (const auto& row : cases) {
        const std::string name = row.at("case");
        ExpandOptions options;
        options.args = xacroCaseArgs(row.at("args"));
        options.findPackage = packageFinderBelow(xacroDir() / row.at("package_path"));
        std::string failure;
        try {
            const Expansion expansion =
                expandFile(xacroDir() / "packages" / row.at("file"), options);
            // The reference ran in ../shared/xacro with relative package paths.
            std::string urdf = expansion.urdf;
            const std::string prefix = xacroDir().string() + "/";
            for (auto at = urdf.find(prefix); at != std::string::npos; at = urdf.find(prefix, at))
                urdf.erase(at, prefix.size());
            failure = compareWithExpected(urdf, xacroDir() / "expected" / (name + ".urdf"), true);
        } catch (const ExpansionError& error) {
            failure = error.report();
        }
        const bool known = knownRobotFailures.count(name) != 0;
        if (failure.empty()) {
            ++passed;
            if (known) fixed += " " + name;
        } else if (!known) {
            failedText += name + ": " + failure.substr(0, 300) + "\n";
        }
    }
    std::cout << passed << " of " << cases.size() << " robots expand as expected\n";
    EXPECT_EQ(failedText, "");
    EXPECT_EQ(fixed, "") << "these robots now pass: take them off the known failures";
}

constexpr auto hangBound = std::chrono::seconds(30);

// Hostile files: each must end in an ExpansionError, quickly.
class XacroHostile : public ::testing::Test {
  protected:
    void expectError(const std::string& name, const std::string& text, const std::string& key) {
        fs::create_directories(folder());
        const fs::path file = folder() / name;
        std::ofstream(file) << text;
        const auto start = std::chrono::steady_clock::now();
        try {
            expandFile(file, {});
            ADD_FAILURE() << name << " expanded without an error";
        } catch (const ExpansionError& error) {
            EXPECT_NE(std::string(error.what()).find(key), std::string::npos) << error.report();
        }
        // A bound against a hang, far above the time taken (the macro bomb, the slowest, takes
        // 0.3 s in a release build and 3.5 s with the sanitizers on a busy machine).
        EXPECT_LT(std::chrono::steady_clock::now() - start, hangBound) << name;
        fs::remove_all(folder());
    }
    void writeScratch(const std::string& name, const std::string& text) const {
        fs::create_directories(folder());
        std::ofstream(folder() / name) << text;
    }
    static fs::path folder() {
        return fs::temp_directory_path() / ("corvane-xacro-hostile-" + std::to_string(::getpid()));
    }
    static std::string robot(const std::string& body) {
        return "<robot name='r' xmlns:xacro='http://www.ros.org/wiki/xacro'>" + body + "</robot>";
    }
};

TEST_F(XacroHostile, IncludeCycle) {
    expectError("self.xacro", robot("<xacro:include filename='self.xacro'/>"), "include cycle");
}

TEST_F(XacroHostile, UnboundedRecursion) {
    expectError("rec.xacro",
                robot("<xacro:macro name='m' params=''><xacro:m/></xacro:macro><xacro:m/>"),
                "nested deeper");
}

TEST_F(XacroHostile, MacroBombHitsTheOutputLimit) {
    std::string body = "<xacro:macro name='m0' params=''><link name='x'/></xacro:macro>";
    for (int level = 1; level <= 10; ++level) {
        body += "<xacro:macro name='m" + std::to_string(level) + "' params=''>";
        for (int i = 0; i < 10; ++i) body += "<xacro:m" + std::to_string(level - 1) + "/>";
        body += "</xacro:macro>";
    }
    expectError("bomb.xacro", robot(body + "<xacro:m10/>"), "elements");
}

TEST_F(XacroHostile, HugeExponent) {
    expectError("pow.xacro", robot("<link name='${10**10**10}'/>"), "too large");
}

TEST_F(XacroHostile, DeepNesting) {
    std::string body;
    for (int i = 0; i < 5000; ++i) body += "<a>";
    for (int i = 0; i < 5000; ++i) body += "</a>";
    expectError("deep.xacro", robot(body), "");
}

TEST_F(XacroHostile, WhatIsBesideTheRootOrExpandsToNoSingleRoot) {
    expectError("text.xacro", robot("") + " QQQ </robot>", "text outside the root element");
    expectError("second.xacro", robot("") + "<link name='QQQ'/>", "a second root element 'link'");
    expectError("macro.xacro", "<xacro:macro name='m' params=''/>", "not one root element");
    expectError("text-root.xacro", "<xacro:if value='1'>QQQ</xacro:if>", "not one root element");
    expectError("two-roots.xacro",
                "<xacro:if value='1'><link name='a'/><link name='b'/></xacro:if>",
                "not one root element");
}

TEST_F(XacroHostile, ElementAndAttributeNamesThatXmlCannotHold) {
    expectError("element.xacro", robot("<xacro:element xacro:name='${\"\"}'/>"),
                "invalid element name");
    expectError("element2.xacro", robot("<xacro:element xacro:name='1 QQQ'/>"),
                "invalid element name '1 QQQ'");
    expectError("attribute.xacro",
                robot("<link name='a'><xacro:attribute name='x y' value='1'/></link>"),
                "invalid attribute name 'x y'");
}

TEST_F(XacroHostile, UndefinedArgument) {
    expectError("arg.xacro", robot("<link name='$(arg nothing)'/>"), "nothing");
}

TEST_F(XacroHostile, MacroBombWithoutOutputHitsTheCallLimit) {
    std::string body =
        "<xacro:macro name='m0' params=''><xacro:property name='p' value='1'/>"
        "</xacro:macro>";
    for (int level = 1; level <= 10; ++level) {
        body += "<xacro:macro name='m" + std::to_string(level) + "' params=''>";
        for (int i = 0; i < 10; ++i) body += "<xacro:m" + std::to_string(level - 1) + "/>";
        body += "</xacro:macro>";
    }
    expectError("quiet-bomb.xacro", robot(body + "<xacro:m10/>"), "macro calls in all");
}

TEST_F(XacroHostile, DoublingPropertiesHitTheTextLimit) {
    std::string body = "<xacro:property name='p0' value='xxxxxxxxxxxxxxxx'/>";
    for (int level = 1; level <= 40; ++level)
        body += "<xacro:property name='p" + std::to_string(level) + "' value='${p" +
                std::to_string(level - 1) + " + p" + std::to_string(level - 1) + "}'/>";
    expectError("double.xacro", robot(body + "<link name='${p40}'/>"), "text longer");
}

TEST_F(XacroHostile, YamlAliasBombHitsTheValueLimit) {
    std::string yaml = "a0: &a0 [x, x, x, x, x, x, x, x, x, x]\n";
    for (int level = 1; level <= 9; ++level)
        yaml += "a" + std::to_string(level) + ": &a" + std::to_string(level) + " [" + [&] {
            std::string refs;
            for (int i = 0; i < 10; ++i) refs += (i ? ", *a" : "*a") + std::to_string(level - 1);
            return refs;
        }() + "]\n";
    writeScratch("bomb.yaml", yaml);
    expectError("yaml.xacro", robot("<link name='${len(xacro.load_yaml(\"bomb.yaml\"))}'/>"),
                "YAML file too large");
}

TEST_F(XacroHostile, DeeplyNestedExpressionInAFile) {
    expectError(
        "expr.xacro",
        robot("<link name='${" + std::string(5000, '(') + "1" + std::string(5000, ')') + "}'/>"),
        "nested too deeply");
}

TEST_F(XacroHostile, HugeFileIsRefusedBeforeReading) {
    writeScratch("huge.xacro", robot("<!--" + std::string(33u << 20, ' ') + "-->"));
    expectError("top.xacro", robot("<xacro:include filename='huge.xacro'/>"), "MiB");
}

TEST_F(XacroHostile, IncludeCycleThroughTwoFiles) {
    writeScratch("b.xacro", robot("<xacro:include filename='a.xacro'/>"));
    expectError("a.xacro", robot("<xacro:include filename='b.xacro'/>"), "include cycle");
}

TEST_F(XacroHostile, IncludeNameTooLongForTheSystem) {
    expectError("long.xacro", robot("<xacro:include filename='" + std::string(5000, 'n') + "'/>"),
                "No such file");
}

// Small files written at test time, for behaviours no shared case shows alone.
class XacroInline : public ::testing::Test {
  protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() /
                  ("corvane-xacro-inline-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(folder_);
    }
    void TearDown() override { fs::remove_all(folder_); }
    fs::path write(const std::string& name, const std::string& body) const {
        std::ofstream(folder_ / name)
            << "<robot name='r' xmlns:xacro='http://www.ros.org/wiki/xacro'>" << body << "</robot>";
        return folder_ / name;
    }
    Expansion expand(const std::string& body, const ExpandOptions& options = {}) const {
        return expandFile(write("top.xacro", body), options);
    }
    // The attribute NAME of the first element TAG of an expansion.
    static std::string attribute(const Expansion& expansion, const char* tag, const char* name) {
        tinyxml2::XMLDocument document;
        document.Parse(expansion.urdf.c_str());
        const auto* element = document.RootElement()->FirstChildElement(tag);
        const char* value = element ? element->Attribute(name) : nullptr;
        return value ? value : "(none)";
    }
    ExpansionError failure(const std::string& body, const ExpandOptions& options = {}) const {
        try {
            expand(body, options);
        } catch (const ExpansionError& error) {
            return error;
        }
        ADD_FAILURE() << "expanded without an error";
        return ExpansionError("", {});
    }
    fs::path folder_;
};

TEST_F(XacroInline, XacroFunctionsReadArgumentsAndFiles) {
    ExpandOptions options;
    options.args["side"] = "left";
    const Expansion expansion = expand(
        "<xacro:arg name='mode' default='fast'/>"
        "<link name=\"${xacro.arg('side')}_${xacro.arg('mode')}\""
        " words=\"${xacro.tokenize('a, b;c  d')}\""
        " kept=\"${xacro.tokenize('a,,b', sep=',', skip_empty=False)}\""
        " file=\"${xacro.abs_filename('m/x.stl')}\""
        " dot=\"${xacro.dotify({'k': 1}).k}\"/>",
        options);
    EXPECT_EQ(attribute(expansion, "link", "name"), "left_fast");
    EXPECT_EQ(attribute(expansion, "link", "words"), "['a', 'b', 'c', 'd']");
    EXPECT_EQ(attribute(expansion, "link", "kept"), "['a', '', 'b']");
    EXPECT_EQ(attribute(expansion, "link", "file"), (folder_ / "m" / "x.stl").string());
    EXPECT_EQ(attribute(expansion, "link", "dot"), "1");
}

TEST_F(XacroInline, MessagesAreReturnedWithWhereTheyWerePrinted) {
    const Expansion expansion = expand(
        "<xacro:macro name='m' params=''>\n"
        "  <xacro:property name='w' value=\"${xacro.warning('low', 2)}\" lazy_eval='false'/>\n"
        "</xacro:macro>\n"
        "<xacro:property name='i' value=\"${xacro.message('hello')}\" lazy_eval='false'/>\n"
        "<xacro:m/>");
    ASSERT_EQ(expansion.messages.size(), 2u);
    EXPECT_EQ(expansion.messages[0].text, "hello");
    EXPECT_EQ(expansion.messages[0].level, ExpansionMessage::Level::Info);
    EXPECT_EQ(expansion.messages[1].text, "low 2");
    EXPECT_EQ(expansion.messages[1].level, ExpansionMessage::Level::Warning);
    EXPECT_EQ(expansion.messages[1].where.line, 2);
    ASSERT_EQ(expansion.messages[1].where.chain.size(), 1u);
    EXPECT_EQ(expansion.messages[1].where.chain[0].line, 5);
}

TEST_F(XacroInline, XacroErrorAndFatalStopTheExpansion) {
    EXPECT_STREQ(failure("<link name=\"${xacro.error('bad', 'arm')}\"/>").what(),
                 "bad arm in expression 'xacro.error('bad', 'arm')'");
    EXPECT_NE(std::string(failure("<link name=\"${xacro.fatal('stop')}\"/>").what()).find("stop"),
              std::string::npos);
}

TEST_F(XacroInline, ErrorsNameTheThingTheFileTheLineAndTheCalls) {
    const ExpansionError error = failure(
        "<xacro:macro name='inner' params=''>\n<link name='${1/0}'/>\n</xacro:macro>\n"
        "<xacro:macro name='outer' params=''>\n<xacro:inner/>\n</xacro:macro>\n"
        "<xacro:outer/>");
    EXPECT_STREQ(error.what(), "division by zero in expression '1/0'");
    EXPECT_EQ(error.where().line, 2);
    ASSERT_EQ(error.where().chain.size(), 2u);
    EXPECT_EQ(error.where().chain[0].name, "inner");
    EXPECT_EQ(error.where().chain[0].line, 5);
    EXPECT_EQ(error.where().chain[1].name, "outer");
    EXPECT_EQ(error.where().chain[1].line, 7);
    EXPECT_NE(error.report().find("top.xacro:5: note: in macro 'inner' called here"),
              std::string::npos)
        << error.report();

    EXPECT_NE(std::string(failure("<xacro:nothing_QQQ/>").what()).find("nothing_QQQ"),
              std::string::npos);
    EXPECT_NE(
        std::string(failure("<xacro:macro name='m' params='a'/><xacro:m a='1' b='2'/>").what())
            .find("unknown parameter 'b'"),
        std::string::npos);
    EXPECT_NE(std::string(failure("<link name='${2**2000.5}'/>").what()).find("too large"),
              std::string::npos);
    EXPECT_NE(std::string(failure("<link name=\"${'a' + 1}\"/>").what()).find("'str' and 'int'"),
              std::string::npos);
    EXPECT_NE(std::string(failure("<xacro:property name='__x' value='1'/>").what())
                  .find("invalid property name '__x'"),
              std::string::npos);
    EXPECT_NE(std::string(failure("<xacro:if value='maybe'><a/></xacro:if>").what()).find("maybe"),
              std::string::npos);
}

// A condition is a text true/True or false/False, else the integer the text reads as; a value
// that is no text by Python's truth; anything else names the condition as written.
TEST_F(XacroInline, ConditionsReadTextsAndValuesAsTheReferenceDoes) {
    const std::pair<const char*, bool> cases[] = {{"true", true},
                                                  {"True", true},
                                                  {"false", false},
                                                  {"False", false},
                                                  {"1", true},
                                                  {"0", false},
                                                  {"2", true},
                                                  {"-3", true},
                                                  {"${2}", true},
                                                  {"${0}", false},
                                                  {"${[1]}", true},
                                                  {"${[]}", false},
                                                  {"${None}", false},
                                                  {"${'True'}", true},
                                                  {"${'0'}", false},
                                                  {"${0.0}", false},
                                                  {"${1 == 1.0 == True}", true},
                                                  {"${python.range(0)}", false},
                                                  {"${lambda: 0}", true}};
    for (const auto& [value, kept] : cases)
        for (const std::string tag : {"xacro:if", "xacro:unless"}) {
            const Expansion expansion =
                expand("<" + tag + " value=\"" + value + "\"><link name='QQQ'/></" + tag + ">");
            EXPECT_EQ(attribute(expansion, "link", "name") == "QQQ", kept == (tag == "xacro:if"))
                << tag << " value=" << value;
        }
    EXPECT_STREQ(failure("<xacro:if value=\"${'abc'}\"><a/></xacro:if>").what(),
                 "invalid condition value '${'abc'}': 'abc' is neither true, false nor an integer");
    EXPECT_STREQ(failure("<xacro:unless value='1.0.0'><a/></xacro:unless>").what(),
                 "invalid condition value '1.0.0': '1.0.0' is neither true, false nor an integer");
}

// A property may hold a function; sorted and range without "python." work and warn, once.
TEST_F(XacroInline, PropertiesHoldFunctionsAndDeprecatedNamesWarnOnce) {
    const Expansion expansion = expand(
        "<xacro:property name='square' value='${lambda v: v * v}'/>"
        "<xacro:property name='names' value='${[str(i) for i in range(3)]}'/>"
        "<link name=\"${square(3)}_${'_'.join(names)}_${sorted([2, 1])}_${sorted([3])}\"/>");
    EXPECT_EQ(attribute(expansion, "link", "name"), "9_0_1_2_[1, 2]_[3]");
    ASSERT_EQ(expansion.messages.size(), 2u);
    EXPECT_EQ(expansion.messages[0].text,
              "using 'range' without 'python.' is deprecated: write python.range");
    EXPECT_EQ(expansion.messages[1].text,
              "using 'sorted' without 'python.' is deprecated: write python.sorted");
    EXPECT_EQ(expansion.messages[1].level, ExpansionMessage::Level::Warning);
}

TEST_F(XacroInline, MissingIncludeListsEveryPlaceTried) {
    fs::create_directories(folder_ / "sub");
    write("sub/part.xacro", "<xacro:include filename='gone_QQQ.xacro'/>");
    const ExpansionError error = failure("<xacro:include filename='sub/part.xacro'/>");
    const std::string what = error.what();
    EXPECT_NE(what.find((folder_ / "sub" / "gone_QQQ.xacro").string()), std::string::npos) << what;
    EXPECT_NE(what.find((folder_ / "gone_QQQ.xacro").string()), std::string::npos) << what;
    EXPECT_EQ(error.where().file, (folder_ / "sub" / "part.xacro").string());
}

TEST_F(XacroInline, GlobsOfManyStarsMatchInLinearTime) {
    const std::string name(200, 'a');
    write(name + ".xacro", "<link name='globbed'/>");
    std::string noMatch;
    for (int i = 0; i < 15; ++i) noMatch += "*a";
    const auto start = std::chrono::steady_clock::now();
    const Expansion expansion = expand("<xacro:include filename='" + noMatch + "*b.xacro'/>" +
                                       "<xacro:include filename='*a?a*.xacro'/>");
    EXPECT_LT(std::chrono::steady_clock::now() - start, hangBound);
    EXPECT_EQ(attribute(expansion, "link", "name"), "globbed") << expansion.urdf;
    EXPECT_EQ(expansion.urdf.find("globbed"), expansion.urdf.rfind("globbed")) << expansion.urdf;
}

TEST_F(XacroInline, PropertiesEvaluateWhereTheyAreDefined) {
    // 'late' names a property defined after it; the macro body sees the caller's 'side'
    const Expansion expansion = expand(
        "<xacro:property name='late' value='${base * 2}'/>"
        "<xacro:property name='base' value='3'/>"
        "<xacro:macro name='m' params='prefix=p_'><link name='${prefix}${side}_${late}'/>"
        "</xacro:macro>"
        "<xacro:macro name='outer' params='side'><xacro:m/></xacro:macro>"
        "<xacro:outer side='left'/>");
    EXPECT_EQ(attribute(expansion, "link", "name"), "p_left_6");
}

TEST_F(XacroInline, WholeValueExpandsSubstitutionsOnce) {
    // the argument's value is the text "$(arg b)"; expanding it again would ask for b
    const Expansion expansion =
        expand("<xacro:arg name='a' default='$$(arg b)'/><link name='$(arg a)'/>");
    EXPECT_EQ(attribute(expansion, "link", "name"), "$(arg b)");
}

// A caller that analyses a robot again after an edit watches the files one run read, and may
// hand in an editor's unsaved text in place of a file.
TEST_F(XacroInline, FilesReadAreListedAndGivenTextsStandInForThem) {
    std::ofstream(folder_ / "values.yaml") << "width: 2\n";
    write("part.xacro", "<xacro:macro name='part'><link name='on_disk'/></xacro:macro>");
    const fs::path top =
        write("top.xacro",
              "<xacro:include filename='part.xacro'/>"
              "<xacro:property name='v' value=\"${xacro.load_yaml('values.yaml')}\"/>"
              "<xacro:part/><link name='w${v.width}'/>");
    const auto key = [](const fs::path& file) { return fs::weakly_canonical(file); };
    const Expansion read = expandFile(top, {});
    EXPECT_EQ(read.files, (std::vector<fs::path>{key(top), key(folder_ / "part.xacro"),
                                                 key(folder_ / "values.yaml")}));

    ExpandOptions options;
    options.fileTexts = [&](const fs::path& file) -> std::optional<std::string> {
        if (file == key(folder_ / "part.xacro"))
            return "<robot xmlns:xacro='http://www.ros.org/wiki/xacro'>"
                   "<xacro:macro name='part'><link name='unsaved'/></xacro:macro></robot>";
        if (file == key(folder_ / "values.yaml")) return std::string("width: 3\n");
        return std::nullopt;
    };
    const Expansion edited = expandFile(top, options);
    EXPECT_NE(edited.urdf.find("name=\"unsaved\""), std::string::npos) << edited.urdf;
    EXPECT_NE(edited.urdf.find("name=\"w3\""), std::string::npos) << edited.urdf;
    EXPECT_EQ(edited.files, read.files);

    // A file that exists only as a given text can be included; a failure lists what was read,
    // the file that failed included.
    options.fileTexts = [&](const fs::path& file) -> std::optional<std::string> {
        if (file == key(folder_ / "new.xacro"))
            return std::string("<robot><link name='a'></robot>");
        return std::nullopt;
    };
    try {
        expandFile(write("top.xacro", "<xacro:include filename='new.xacro'/>"), options);
        ADD_FAILURE() << "a malformed include expanded";
    } catch (const ExpansionError& error) {
        EXPECT_EQ(error.files(), (std::vector<fs::path>{key(top), key(folder_ / "new.xacro")}));
    }
}

}  // namespace
}  // namespace corvane::xacro
