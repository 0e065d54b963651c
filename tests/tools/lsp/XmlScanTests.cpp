// The forgiving reading of XML as it is typed, and the names in xacro expressions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lsp/Symbols.hpp"
#include "lsp/Text.hpp"
#include "lsp/XmlScan.hpp"

namespace {

using namespace corvane::tools::lsp;

std::vector<std::string> tagNames(const XmlScan& scan) {
    std::vector<std::string> names;
    for (const auto& tag : scan.tags()) names.push_back(tag.name);
    return names;
}

TEST(XmlScan, ReadsTagsAttributesAndNesting) {
    // clang-format off
    const std::string text = R"(<?xml version="1.0"?>
<!-- <link name="commented"/> -->
<robot name="r" xmlns:xacro="http://www.ros.org/wiki/xacro">
  <link name='base'><visual><geometry><box size="1 2 3"/></geometry></visual></link>
  <![CDATA[ <joint/> ]]>
</robot>)";
    // clang-format on
    const XmlScan scan(text);
    EXPECT_EQ(tagNames(scan),
              (std::vector<std::string>{"robot", "link", "visual", "geometry", "box"}));
    const XmlTag& box = scan.tags()[4];
    ASSERT_NE(box.attribute("size"), nullptr);
    EXPECT_EQ(box.attribute("size")->value, "1 2 3");
    EXPECT_EQ(text.substr(box.attribute("size")->valueBegin, 5), "1 2 3");
    EXPECT_TRUE(box.selfClosing);
    EXPECT_EQ(scan.tags()[box.parent].name, "geometry");
    EXPECT_EQ(scan.tags()[1].attribute("name")->value, "base");
    // Between </link> and </robot> the robot is around.
    const XmlTag* around = scan.elementAround(text.find("</robot>") - 1);
    ASSERT_NE(around, nullptr);
    EXPECT_EQ(around->name, "robot");
    EXPECT_EQ(scan.tagAt(text.find("box")), &box);
}

// Text half typed: nothing is refused, and what can be read is.
TEST(XmlScan, ReadsTextBeingTyped) {
    for (const std::string text : {"<robot><link name=\"a", "<robot><link name=\"a\" <joint", "<",
                                   "<robot></QQQ></robot>", "<<>>", "<a b=c d></a>"}) {
        const XmlScan scan(text);
        ASSERT_FALSE(scan.tags().empty()) << text;
        for (const auto& tag : scan.tags()) {
            EXPECT_LE(tag.end, text.size()) << text;
            EXPECT_LE(tag.contentEnd, text.size()) << text;
        }
    }
    const XmlScan open("<robot><link name=\"a\" <joint name=\"j\"/></robot>");
    EXPECT_EQ(tagNames(open), (std::vector<std::string>{"robot", "link", "joint"}));
}

struct ExpressionCase {
    std::string text;
    std::vector<std::string> names;
};

TEST(XmlScan, FindsTheNamesThatExpressionsRead) {
    const std::vector<ExpressionCase> cases{
        {"${a}", {"a"}},
        {"${a*2 + b_c}", {"a", "b_c"}},
        {"${math.pi * r}", {"math", "r"}},
        {"${x['key']}", {"x"}},
        {"${'literal' + y}", {"y"}},
        {"$(arg robot_name)_link", {"robot_name"}},
        {"$${not} ${1.5e3}", {"not"}},
        {"${unclosed", {"unclosed"}},
        {"$(find pkg)/x.xacro", {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> names;
        for (const auto& name : namesInExpressions(c.text)) names.push_back(name.name);
        EXPECT_EQ(names, c.names) << c.text;
    }
    const std::string line = "<origin xyz=\"${offset} 0 0\"/>";
    const auto name = nameInExpressionAt(line, line.find("offset") + 2);
    ASSERT_TRUE(name);
    EXPECT_EQ(name->name, "offset");
    EXPECT_EQ(line.substr(name->begin, name->end - name->begin), "offset");
    EXPECT_FALSE(nameInExpressionAt(line, line.find("origin")));
}

TEST(XmlScan, ReadsMacroParameters) {
    const auto parameters = macroParameters("  prefix parent:=base  *origin reflect=1 **blocks");
    ASSERT_EQ(parameters.size(), 5u);
    EXPECT_EQ(parameters[0].name, "prefix");
    EXPECT_FALSE(parameters[0].hasDefault);
    EXPECT_EQ(parameters[1].name, "parent");
    EXPECT_EQ(parameters[1].defaultValue, "base");
    EXPECT_EQ(parameters[2].name, "*origin");
    EXPECT_EQ(parameters[3].defaultValue, "1");
    EXPECT_EQ(parameters[4].name, "**blocks");
}

// Positions count UTF-16 code units, as clients do: é is one, 𝜋 (four bytes) two.
TEST(XmlScan, PositionsCountUtf16CodeUnits) {
    const std::string text = "ab\n\xc3\xa9x\r\n\xf0\x9d\x9c\x8bz";
    const TextLines lines(text);
    EXPECT_EQ(lines.lineCount(), 3);
    EXPECT_EQ(lines.position(text.find('x')), (Position{1, 1}));
    EXPECT_EQ(lines.position(text.find('z')), (Position{2, 2}));
    EXPECT_EQ(lines.offset({2, 2}), text.find('z'));
    EXPECT_EQ(lines.offset({1, 99}), text.find('\r'));
    EXPECT_EQ(lines.line(1), "\xc3\xa9x");
    EXPECT_EQ(lines.offset({7, 0}), text.size());
}

}  // namespace
