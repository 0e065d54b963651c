// The checks the xacro fuzz targets run on every input, and the regression tests on every input
// they found: an expression is either evaluated or refused with EvalError, and prints either way;
// a document is either expanded into XML with one origin per element or refused with an
// ExpansionError that names a file. Anything else that escapes is a fault. Header-only, so that
// the fuzz targets, which build no test library, can use it too.
#pragma once

#include <stdlib.h>
#include <tinyxml2.h>
#include <unistd.h>

#include <cstddef>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "Expression.hpp"
#include "corvane/xacro/Expander.hpp"

namespace corvane::testing {

namespace xacro = corvane::xacro;

// The names a fuzzed expression can look up: numbers, strings, a list, a map as load_yaml makes
// it, and a dotted name as an include with a namespace leaves behind.
inline std::optional<xacro::Value> fuzzExpressionName(const std::string& name) {
    using xacro::Value;
    if (name == "width") return Value{0.25};
    if (name == "count") return Value{std::int64_t{3}};
    if (name == "big") return Value{std::int64_t{9'000'000'000'000'000'000}};
    if (name == "side") return Value{std::string("left")};
    if (name == "empty") return Value{std::string()};
    if (name == "flag") return Value{true};
    if (name == "nothing") return Value{};
    if (name == "arm.length") return Value{0.5};
    if (name == "joints")
        return xacro::makeList({Value{std::string("shoulder")}, Value{std::string("elbow")},
                                Value{std::int64_t{7}}, Value{1.5}});
    if (name == "limits") {
        auto inner = std::make_shared<xacro::Dict>();
        inner->items.emplace_back(Value{std::string("lower")}, Value{-1.57});
        inner->items.emplace_back(Value{std::string("upper")}, Value{1.57});
        auto limits = std::make_shared<xacro::Dict>();
        limits->items.emplace_back(Value{std::string("arm")}, Value{inner});
        limits->items.emplace_back(Value{std::int64_t{2}}, xacro::makeTuple({Value{1.0}}));
        limits->items.emplace_back(Value{std::string("names")}, *fuzzExpressionName("joints"));
        return Value{limits};
    }
    return std::nullopt;
}

// What the expander's functions would answer: load_yaml gives the map above.
inline std::optional<xacro::Value> fuzzExpressionCall(const std::string& name,
                                                      const xacro::Arguments& args) {
    if ((name == "xacro.load_yaml" || name == "load_yaml") && args.positional.size() == 1)
        return fuzzExpressionName("limits");
    return std::nullopt;
}

// TEXT without the addresses of objects (" at 0x55d0c0ffee00"), which differ between two
// evaluations that make the same lambda or iterator.
inline std::string withoutAddresses(std::string text) {
    for (auto at = text.find(" at 0x"); at != std::string::npos; at = text.find(" at 0x", at + 1)) {
        const auto end = text.find_first_not_of("0123456789abcdef", at + 6);
        text.erase(at + 6, (end == std::string::npos ? text.size() : end) - (at + 6));
    }
    return text;
}

// An empty string when TEXT evaluates, twice alike, to a value that prints, or is refused with
// EvalError; otherwise what went wrong.
inline std::string expressionProblem(const std::string& text) {
    try {
        const xacro::Value first = xacro::evaluate(text, fuzzExpressionName, fuzzExpressionCall);
        const xacro::Value second = xacro::evaluate(text, fuzzExpressionName, fuzzExpressionCall);
        const std::string shown = withoutAddresses(xacro::strOf(first));
        if (shown != withoutAddresses(xacro::strOf(second)))
            return "evaluated twice to '" + shown + "' and another";
        xacro::reprOf(first);
        xacro::truthOf(first);
    } catch (const xacro::EvalError&) {
    } catch (const std::exception& error) {
        return std::string("an exception other than EvalError: ") + error.what();
    }
    return "";
}

// A package of its own for fuzzed documents: a fresh folder in the temporary folder, named for
// the process, holding a file with a macro and properties to include, a YAML file to load and a
// package.xml. The document under test is written there as input.xacro; nothing is written
// anywhere else. The folder is removed with the object.
class XacroFuzzPackage {
  public:
    static constexpr std::string_view packageName = "fuzz_pkg";

    XacroFuzzPackage() {
        std::string pattern = (std::filesystem::temp_directory_path() /
                               ("corvane-xacro-fuzz-" + std::to_string(::getpid()) + ".XXXXXX"))
                                  .string();
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        folder_ = pattern;
        write("package.xml", "<package format='3'><name>fuzz_pkg</name></package>\n");
        write("part.xacro", partText);
        write("values.yaml", yamlText);
    }
    ~XacroFuzzPackage() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    XacroFuzzPackage(const XacroFuzzPackage&) = delete;
    XacroFuzzPackage& operator=(const XacroFuzzPackage&) = delete;

    const std::filesystem::path& folder() const { return folder_; }

    // An empty string when DOCUMENT expands into XML with one origin per element, or is refused
    // with an ExpansionError that names a file; otherwise what went wrong.
    std::string expansionProblem(std::string_view document) const {
        const std::filesystem::path input = folder_ / "input.xacro";
        write("input.xacro", document);
        xacro::ExpandOptions options;
        options.args = {{"side", "left"}, {"count", "2"}};
        const std::filesystem::path folder = folder_;
        options.findPackage = [folder](std::string_view name) {
            return name == packageName ? std::optional(folder) : std::nullopt;
        };
        try {
            return outputProblem(xacro::expandFile(input, options));
        } catch (const xacro::ExpansionError& error) {
            if (error.where().file.empty()) return "an error that names no file: " + error.report();
            error.report();
        } catch (const std::exception& error) {
            return std::string("an exception other than ExpansionError: ") + error.what();
        }
        return "";
    }

  private:
    static constexpr const char* partText = R"xml(<?xml version="1.0"?>
<robot xmlns:xacro="http://www.ros.org/wiki/xacro">
  <xacro:property name="part_length" value="${0.25 * 2}"/>
  <xacro:property name="part_block"><box size="1 2 3"/></xacro:property>
  <xacro:arg name="part_arg" default="from_part"/>
  <xacro:macro name="part_link" params="name *shape length:=0.1 **extras">
    <link name="${name}_$(arg part_arg)">
      <visual><origin xyz="0 0 ${length / 2}"/><geometry><xacro:insert_block name="shape"/></geometry></visual>
      <xacro:insert_block name="extras"/>
    </link>
  </xacro:macro>
</robot>
)xml";
    static constexpr const char* yamlText =
        R"yaml(arm: {length: 0.5, joints: [shoulder, elbow, wrist]}
limits:
  lower: -1.57
  upper: 1.57
angle: !degrees 90
turn: !radians pi / 2
name: !!str 12
empty: ~
flag: true
list: [1, 2.5, three, [4]]
)yaml";

    void write(const std::string& name, std::string_view text) const {
        std::ofstream out(folder_ / name, std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }

    static std::size_t elementCount(const tinyxml2::XMLNode& node) {
        std::size_t count = 0;
        for (const auto* child = node.FirstChildElement(); child;
             child = child->NextSiblingElement())
            count += 1 + elementCount(*child);
        return count;
    }

    static std::string outputProblem(const xacro::Expansion& expansion) {
        tinyxml2::XMLDocument output;
        const auto read = output.Parse(expansion.urdf.c_str(), expansion.urdf.size());
        // Macros nest the output deeper than the XML reader reads back: beyond this check.
        if (read == tinyxml2::XML_ELEMENT_DEPTH_EXCEEDED) return "";
        if (read != tinyxml2::XML_SUCCESS)
            return std::string("the expansion is not XML: ") + output.ErrorStr();
        const std::size_t elements = elementCount(output);
        if (elements != expansion.origins.size())
            return std::to_string(elements) + " elements but " +
                   std::to_string(expansion.origins.size()) + " origins";
        return "";
    }

    std::filesystem::path folder_;
};

}  // namespace corvane::testing
