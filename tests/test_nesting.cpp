// The guard in front of urdfdom: documents nested too deep are refused before they reach it, and
// the count never misses an element that the XML parser enters, whatever markup surrounds it. The
// parser's own element tree (it keeps what it read up to an error) is the reference throughout.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "NestingGuard.hpp"
#include "ParserShape.hpp"
#include "TestSupport.hpp"

using namespace corvane::testing;
using corvane::Plugins::Urdf::DocumentShape;
using corvane::Plugins::Urdf::kMaxElementDepth;
using corvane::Plugins::Urdf::maxElementDepth;
using corvane::Plugins::Urdf::measureDocument;
using corvane::Plugins::Urdf::parserInput;
using corvane::Plugins::Urdf::withinParserLimits;

namespace {

std::string repeated(const std::string& piece, std::size_t times) {
    std::string text;
    text.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) text += piece;
    return text;
}

// `levels` nested unknown elements inside a link: urdfdom ignores them, the parser recurses.
std::string robotNestedInside(std::size_t levels) {
    return "<robot name=\"deep\"><link name=\"a\">" + repeated("<x>", levels) +
           repeated("</x>", levels) + "</link></robot>";
}

// The element tree TinyXML builds; only for texts shallow enough to parse safely.
DocumentShape parserShape(const std::string& text) {
    return parsedShape(parserInput(text));
}

std::size_t parserDepth(const std::string& text) {
    return parserShape(text).depth;
}

DocumentShape guardShape(const std::string& text) {
    return measureDocument(std::string_view(parserInput(text).c_str()));
}

std::size_t guardDepth(const std::string& text) {
    return guardShape(text).depth;
}

}  // namespace

TEST(NestingGuard, RefusesFiftyThousandNestedElementsWithAWarning) {
    const std::string text = robotNestedInside(50000);
    ASSERT_GT(text.size(), 350000u);
    LogCapture log;
    EXPECT_FALSE(importUrdf(text));
    const auto entries = log.entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].level, spdlog::level::warn);
    EXPECT_EQ(entries[0].message,
              "Refusing URDF document: elements nest 50002 levels deep, more than the 256 allowed");
}

TEST(NestingGuard, AcceptsExactlyTheLimitAndRefusesOneLevelMore) {
    // robot and link are two of the levels.
    EXPECT_EQ(maxElementDepth(robotNestedInside(kMaxElementDepth - 2)), kMaxElementDepth);
    EXPECT_TRUE(importUrdf(robotNestedInside(kMaxElementDepth - 2)));
    LogCapture log;
    EXPECT_FALSE(withinParserLimits(robotNestedInside(kMaxElementDepth - 1)));
    EXPECT_FALSE(importUrdf(robotNestedInside(kMaxElementDepth - 1)));
}

TEST(NestingGuard, RefusalLeavesThePluginReadyForTheNextImport) {
    corvane::Plugins::Urdf::UrdfPlugin plugin;
    corvane::ErrorReporter reporter;
    const auto import = std::make_shared<corvane::Import>();
    LogCapture log;
    EXPECT_FALSE(plugin.parse(robotNestedInside(1000), import, reporter));
    // clang-format off
    const auto document = plugin.parse(R"(<robot name="next">
      <link name="base"/><link name="arm"/>
      <joint name="j" type="fixed"><parent link="base"/><child link="arm"/></joint>
    </robot>)", import, reporter);
    // clang-format on
    const auto model = modelOf(document);
    ASSERT_TRUE(model);
    EXPECT_EQ(model->name().lexeme, "next");
    EXPECT_TRUE(findMember(*model, {"base"}));
    EXPECT_TRUE(findMember(*model, {"j"}));
    EXPECT_FALSE(findMember(*model, {"a"}));
    EXPECT_TRUE(reporter.errors().empty());
}

TEST(NestingGuard, MarkupThatHoldsNoElementsIsNotCounted) {
    const std::string many = repeated("<a>", 300);
    const std::vector<std::string> texts = {
        "<robot><!--" + many + "--></robot>",
        "<robot><![CDATA[" + many + "]]></robot>",
        "<?xml version=\"1.0\"?><?pi " + repeated("<a", 300) + "?><robot/>",
        "<!DOCTYPE robot " + repeated("<!a", 300) + "><robot/>",
        "<robot name=\"" + many + "\" x='" + many + "'/>",
        "<?xml version='" + many + "' encoding=\"" + many + "\"?><robot/>",
        "<robot>" + repeated("&lt;a&gt;", 300) + "</robot>",
    };
    for (const auto& text : texts) {
        EXPECT_EQ(guardDepth(text), 1u) << text.substr(0, 40);
        EXPECT_EQ(parserDepth(text), 1u) << text.substr(0, 40);
    }
}

// Each prefix makes the parser read the 300 "<a>" that follow as nested elements while hiding
// them behind something that looks like a comment, a quote or a declaration to a simpler scan.
TEST(NestingGuard, ElementsHiddenFromASimpleScanAreCounted) {
    const std::vector<std::pair<std::string, std::string>> tricks = {
        {"quoted > in the XML declaration", "<?xml version='>' encoding='<!--'?>"},
        {"character reference spanning a comment start", "<r>&#x<!--x1;"},
        {"decimal reference spanning a comment start", "<r>&#<!--#1;"},
        {"reference swallowing an attribute's quote", "<r x=\"&#x\"><!--x1;\">"},
        {"stray < before a comment start", "<r><<!-->"},
        {"vertical tab before an attribute value", "<r x=\v'><!--'>"},
        {"form feed between attributes", "<r\fx='1'\f>"},
        {"UTF-8 lead byte swallowing a <", "<?xml version='1.0'?><r>\xE0\x80<!--"},
        {"UTF-8 lead byte swallowing a quote", "<?xml version='1.0'?><r x=\"\xE0\"><!--\">"},
        {"byte-order mark making the text UTF-8", "\xEF\xBB\xBF<r>\xE0\x80<!--"},
        {"encoding named through a reference", "<?xml encoding='&#x55;TF-8'?><r>\xE0\x80<!--"},
        {"DEL as an element name", "<r><\x7f>"},
        {"byte-order mark inside a start tag", "<?xml?><\xEF\xBB\xBFr\xEF\xBB\xBF>"},
    };
    for (const auto& [name, prefix] : tricks) {
        const std::string text = prefix + repeated("<a>", 300) + "-->";
        EXPECT_GE(parserDepth(text), 300u) << name;
        EXPECT_GE(guardDepth(text), parserDepth(text)) << name;
        EXPECT_GT(guardDepth(text), kMaxElementDepth) << name;
    }
}

TEST(NestingGuard, TextTheParserDoesNotReachIsNotCounted) {
    const std::string many = repeated("<a>", 300);
    EXPECT_EQ(guardDepth("<robot/>junk" + many), 1u);
    EXPECT_EQ(guardDepth("<robot x='" + many), 1u);
    EXPECT_EQ(guardDepth("<robot x='1' y>" + many), 1u);
    EXPECT_EQ(guardDepth("<?xml foo='>' ?>" + many), 0u);
}

TEST(NestingGuard, EveryCorpusFilePassesAndIsCountedAsTheParserReadsIt) {
    CORVANE_SKIP_WITHOUT_CORPUS();
    for (const auto* folder : {"valid", "refused"}) {
        for (const auto& path : corpusFiles(folder)) {
            const std::string text = readFile(path);
            const DocumentShape guarded = guardShape(text);
            const DocumentShape parsed = parserShape(text);
            EXPECT_EQ(guarded.depth, parsed.depth) << path.filename();
            EXPECT_EQ(guarded.linkElements, parsed.linkElements) << path.filename();
            EXPECT_TRUE(withinParserLimits(text)) << path.filename();
        }
    }
}

TEST(NestingGuard, CountsOnlyElementsNamedLink) {
    const std::string links = repeated("<link name='a'/>", 3);
    EXPECT_EQ(guardShape("<robot>" + links + "<!--<link/>--><joint><parent link='x'/></joint>" +
                         "<links/><Link/><linkx/></robot>")
                  .linkElements,
              3u);
    EXPECT_EQ(guardShape("<robot><gazebo><link><link/></link></gazebo></robot>").linkElements, 2u);
}

TEST(ParserInput, TextAfterANulByteIsIgnoredWithAWarning) {
    LogCapture log;
    const std::string text =
        std::string("<robot name=\"r\"><link name=\"a\"/></robot>") + '\0' + "<link name=\"b\"/>";
    const auto model = modelOf(importUrdf(text));
    ASSERT_TRUE(model);
    EXPECT_TRUE(findMember(*model, {"a"}));
    const auto entries = log.entries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].message,
              "URDF text holds a NUL byte at offset 40: the 16 bytes after it are ignored");
}

TEST(ParserInput, TrailingNulBytesAreDroppedSilently) {
    LogCapture log;
    EXPECT_TRUE(importUrdf(std::string("<robot name=\"r\"><link name=\"a\"/></robot>\n") +
                           std::string(8, '\0')));
    EXPECT_TRUE(log.entries().empty());
}

TEST(ParserInput, PadsTheTextWithNulBytes) {
    const std::string input = parserInput("<r>\xF0");
    EXPECT_EQ(std::string_view(input.c_str()), "<r>\xF0");
    EXPECT_GE(input.size(), 4u + 4u);
    EXPECT_TRUE(std::all_of(input.begin() + 4, input.end(), [](char c) { return c == '\0'; }));
}
